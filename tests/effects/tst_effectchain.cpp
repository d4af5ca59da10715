#include "referencefilters.h"
#include "tonefilters.h"
#include "vorn_settingai.h"

#include <QApplication>
#include <QSlider>
#include <QtTest>

// The effect chain of the effect page over preview pictures, compared with
// the plain conversion-filter-conversion path.
class tst_EffectChain : public QObject
{
    Q_OBJECT

private:
    static void set(Vorn_settingAI& page, int row, int value)
    {
        QSlider* slider = page.findChild<QSlider*>(QStringLiteral("slider_%1").arg(row));
        QVERIFY(slider);
        slider->setValue(value);
    }

    // The effects as the plain path computes them, always in the fixed
    // order warm, cool, blur, smoothing.
    static QImage literalChain(QImage image, int warm, int cool, int vague, int smooth)
    {
        if (warm) {
            image = warmTone(warm, image);
        }
        if (cool) {
            image = coolTone(cool, image);
        }
        if (vague) {
            image = reference::blur(image, vague);
        }
        if (smooth) {
            image = reference::smooth(image, smooth);
        }
        return image;
    }

private slots:
    void allOffLeavesThePictureUntouched()
    {
        Vorn_settingAI page(nullptr);
        QImage picture = reference::randomPicture(800, 530, QImage::Format_RGB888, 1);
        const QImage before = picture.copy();
        const uchar* bits = picture.constBits();
        const QImage result = page.applyEffects(picture);
        // Not even copied.
        QCOMPARE(picture.constBits(), bits);
        QCOMPARE(result.constBits(), bits);
        QCOMPARE(picture, before);

        // Switched on and off again: still nothing.
        set(page, 0, 40);
        set(page, 2, 5);
        set(page, 0, 0);
        set(page, 2, 0);
        page.applyEffects(picture);
        QCOMPARE(picture.constBits(), bits);
    }

    void eachEffectAndAllTogetherMatchThePlainPath_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("warm");
        QTest::addColumn<int>("cool");
        QTest::addColumn<int>("vague");
        QTest::addColumn<int>("smooth");
        const QSize preview(800, 530);
        // 101 x 67: rows of 303 bytes padded to 304, smaller than the kernel.
        const QSize odd(101, 67);
        QTest::newRow("warm") << preview << 100 << 0 << 0 << 0;
        QTest::newRow("cool") << preview << 0 << 1 << 0 << 0;
        QTest::newRow("blur sigma 1") << preview << 0 << 0 << 1 << 0;
        QTest::newRow("blur sigma 50") << preview << 0 << 0 << 50 << 0;
        QTest::newRow("smooth sigma 1") << preview << 0 << 0 << 0 << 1;
        QTest::newRow("smooth sigma 255") << preview << 0 << 0 << 0 << 255;
        QTest::newRow("all four") << preview << 30 << 60 << 7 << 120;
        QTest::newRow("all four, odd size") << odd << 100 << 100 << 50 << 255;
        QTest::newRow("blur and smooth, odd size") << odd << 0 << 0 << 3 << 9;
        QTest::newRow("one pixel") << QSize(1, 1) << 5 << 5 << 5 << 5;
    }

    void eachEffectAndAllTogetherMatchThePlainPath()
    {
        QFETCH(QSize, size);
        QFETCH(int, warm);
        QFETCH(int, cool);
        QFETCH(int, vague);
        QFETCH(int, smooth);
        Vorn_settingAI page(nullptr);
        set(page, 0, warm);
        set(page, 1, cool);
        set(page, 2, vague);
        set(page, 3, smooth);
        for (const quint32 seed : {1u, 2u}) {
            const QImage source = seed == 1 ? reference::randomPicture(size.width(), size.height(),
                                                                       QImage::Format_RGB888, seed)
                                            : reference::scenePicture(size.width(), size.height());
            QImage picture = source;
            const QImage result = page.applyEffects(picture);
            const QImage expected = literalChain(source, warm, cool, vague, smooth);
            QCOMPARE(picture.format(), QImage::Format_RGB888);
            QVERIFY(reference::samePixels(picture, expected));
            QVERIFY(reference::samePixels(result, expected));
            // The caller's other references to the source see no change.
            QVERIFY(reference::samePixels(
                source, seed == 1 ? reference::randomPicture(size.width(), size.height(),
                                                             QImage::Format_RGB888, seed)
                                  : reference::scenePicture(size.width(), size.height())));
        }
    }

    void blurKernelIsFixed()
    {
        // With a large sigma a kernel derived from sigma would reach much
        // further than 59 pixels and give a different picture.
        Vorn_settingAI page(nullptr);
        set(page, 2, 50);
        const QImage source = reference::scenePicture(300, 200);
        QImage picture = source;
        page.applyEffects(picture);
        cv::Mat wide;
        cv::GaussianBlur(QImageToMat(source), wide, cv::Size(0, 0), 50.0);
        QVERIFY(!reference::samePixels(picture, MatToQImage(wide)));
        QVERIFY(reference::samePixels(picture, reference::blur(source, 50)));
    }

    void orderDoesNotFollowTheOrderOfEnabling()
    {
        const QImage source = reference::scenePicture(200, 120);
        Vorn_settingAI forward(nullptr);
        set(forward, 0, 80);
        set(forward, 1, 40);
        set(forward, 2, 4);
        set(forward, 3, 60);
        Vorn_settingAI backward(nullptr);
        set(backward, 3, 60);
        set(backward, 2, 4);
        set(backward, 1, 40);
        set(backward, 0, 80);
        QImage a = source;
        QImage b = source;
        forward.applyEffects(a);
        backward.applyEffects(b);
        QVERIFY(reference::samePixels(a, b));
        QVERIFY(reference::samePixels(a, literalChain(source, 80, 40, 4, 60)));
        // The order is visible: smoothing before the tones gives another
        // picture, so the comparison above does tell the orders apart.
        const QImage smoothFirst =
            coolTone(40, warmTone(80, reference::smooth(reference::blur(source, 4), 60)));
        QVERIFY(!reference::samePixels(a, smoothFirst));
    }

    void earlierResultsStayIntact()
    {
        // The filters reuse their output pictures from frame to frame; a
        // result that the caller still holds must not be overwritten.
        Vorn_settingAI page(nullptr);
        set(page, 2, 3);
        set(page, 3, 30);
        QImage first = reference::randomPicture(160, 90, QImage::Format_RGB888, 5);
        const QImage kept = page.applyEffects(first);
        const QImage keptCopy = kept.copy();
        for (int frame = 0; frame < 3; ++frame) {
            QImage next = reference::randomPicture(160, 90, QImage::Format_RGB888, 6 + frame);
            const QImage expected = literalChain(next, 0, 0, 3, 30);
            page.applyEffects(next);
            QVERIFY(reference::samePixels(next, expected));
        }
        QVERIFY(reference::samePixels(kept, keptCopy));
        QVERIFY(reference::samePixels(first, keptCopy));

        // A picture over memory the page does not own is read, never kept.
        QImage owner = reference::randomPicture(160, 90, QImage::Format_RGB888, 11);
        const QImage expected = literalChain(owner, 0, 0, 3, 30);
        {
            QImage wrapped(owner.bits(), 160, 90, owner.bytesPerLine(), QImage::Format_RGB888);
            page.applyEffects(wrapped);
            QVERIFY(reference::samePixels(wrapped, expected));
        }
        owner.fill(Qt::black);
        QImage again = reference::randomPicture(160, 90, QImage::Format_RGB888, 12);
        QVERIFY(reference::samePixels(
            page.applyEffects(again),
            literalChain(reference::randomPicture(160, 90, QImage::Format_RGB888, 12), 0, 0, 3,
                         30)));
        QVERIFY(owner.pixel(0, 0) == qRgb(0, 0, 0));
    }

    void lentMemoryIsNeverWritten_data()
    {
        QTest::addColumn<int>("warm");
        QTest::addColumn<int>("cool");
        QTest::addColumn<int>("vague");
        QTest::addColumn<int>("smooth");
        QTest::newRow("warm") << 70 << 0 << 0 << 0;
        QTest::newRow("cool") << 0 << 70 << 0 << 0;
        QTest::newRow("all four") << 70 << 70 << 4 << 50;
    }

    void lentMemoryIsNeverWritten()
    {
        // The main window could hand over a picture over the capture
        // library's buffer, which receivers after it (the virtual camera)
        // must still see unfiltered; and a picture shared with a caller's
        // other reference must stay as it was for that reference.
        QFETCH(int, warm);
        QFETCH(int, cool);
        QFETCH(int, vague);
        QFETCH(int, smooth);
        Vorn_settingAI page(nullptr);
        set(page, 0, warm);
        set(page, 1, cool);
        set(page, 2, vague);
        set(page, 3, smooth);
        // 101 pixels wide: rows of 303 bytes with one byte of padding.
        QImage owner = reference::scenePicture(101, 67);
        const QImage original = owner.copy();
        const QImage expected = literalChain(original, warm, cool, vague, smooth);
        for (int frame = 0; frame < 2; ++frame) {
            QImage wrapped(owner.bits(), owner.width(), owner.height(), owner.bytesPerLine(),
                           QImage::Format_RGB888);
            const QImage result = page.applyEffects(wrapped);
            QVERIFY(reference::samePixels(wrapped, expected));
            QVERIFY(reference::samePixels(result, expected));
            QVERIFY(wrapped.constBits() != owner.constBits());
            QVERIFY(reference::samePixels(owner, original));
        }

        const QImage shared = owner;
        QImage picture = shared;
        page.applyEffects(picture);
        QVERIFY(reference::samePixels(picture, expected));
        QVERIFY(reference::samePixels(shared, original));
    }

    void otherFormatsFollowThePlainPath()
    {
        Vorn_settingAI page(nullptr);
        set(page, 2, 2);
        // Indexed8 is blurred as one channel of indices, as the plain path does.
        const QImage indexed = reference::randomPicture(64, 40, QImage::Format_Indexed8, 3);
        QImage picture = indexed;
        page.applyEffects(picture);
        QVERIFY(reference::samePixels(picture, reference::blur(indexed, 2)));
        QCOMPARE(picture.format(), QImage::Format_Indexed8);

        const QImage argb = reference::randomPicture(64, 40, QImage::Format_ARGB32, 4);
        picture = argb;
        page.applyEffects(picture);
        QCOMPARE(picture.format(), QImage::Format_ARGB32);
        QVERIFY(reference::samePixels(picture, reference::blur(argb, 2)));

        // Blur and smoothing have no conversion for this format: the
        // picture passes unchanged instead of failing inside OpenCV.
        const QImage rgb16 = reference::randomPicture(64, 40, QImage::Format_RGB16, 5);
        set(page, 3, 20);
        picture = rgb16;
        page.applyEffects(picture);
        QCOMPARE(picture, rgb16);

        // The bilateral filter takes no four-channel matrix: the smoothing
        // step leaves such a picture as the blur made it.
        set(page, 2, 0);
        picture = argb;
        page.applyEffects(picture);
        QCOMPARE(picture, argb);

        // A tone turns any picture into RGB888 first.
        set(page, 3, 0);
        set(page, 0, 10);
        picture = rgb16;
        page.applyEffects(picture);
        QCOMPARE(picture.format(), QImage::Format_RGB888);
        QVERIFY(reference::samePixels(picture, reference::warmTone(10, rgb16)));

        QImage null;
        set(page, 2, 3);
        set(page, 3, 3);
        QVERIFY(page.applyEffects(null).isNull());
    }
};

QTEST_MAIN(tst_EffectChain)
#include "tst_effectchain.moc"
