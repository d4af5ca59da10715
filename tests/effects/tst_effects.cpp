// The preview effects: the tone filters and the picture/matrix conversions
// against plain per-pixel versions, the effect page's chain and its typed
// values, and the effects in the real main window, where only the preview
// shows them.
#include "dialogseam.h"
#include "mainwindowinspector.h"
#include "referencefilters.h"
#include "scripteddialogs.h"
#include "sharedframeprobe.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "tonefilters.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingai.h"

#include <QLineEdit>
#include <QSlider>
#include <QTemporaryDir>
#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(QImage::Format)

namespace {

using reference::samePixels;

QImage randomRgb(int width, int height, quint32 seed)
{
    return reference::randomPicture(width, height, QImage::Format_RGB888, seed);
}

// The effects as the plain path computes them, always warm, cool, blur,
// smoothing.
QImage plainChain(QImage image, int warm, int cool, int vague, int smooth)
{
    image = warm ? reference::warmTone(warm, image) : image;
    image = cool ? reference::coolTone(cool, image) : image;
    image = vague ? reference::blur(image, vague) : image;
    return smooth ? reference::smooth(image, smooth) : image;
}

QSlider* slider(QWidget& page, int row)
{
    return page.findChild<QSlider*>(QStringLiteral("slider_%1").arg(row));
}

QLineEdit* edit(QWidget& page, int row)
{
    return page.findChild<QLineEdit*>(QStringLiteral("Edit_%1").arg(row));
}

// As the user does it: a value typed into the row's line edit, then Return.
void type(QWidget& page, int row, const QString& text)
{
    edit(page, row)->setFocus();
    edit(page, row)->selectAll();
    QTest::keyClicks(edit(page, row), text);
    QTest::keyClick(edit(page, row), Qt::Key_Return);
}

// Enabled last to first, so a chain that followed the order of enabling
// would differ from the plain one.
void setAll(Vorn_settingAI& page, int warm, int cool, int vague, int smooth)
{
    const int values[] = {warm, cool, vague, smooth};
    for (int row = 3; row >= 0; --row) {
        slider(page, row)->setValue(values[row]);
    }
}

} // namespace

class tst_Effects : public QObject
{
    Q_OBJECT

private slots:
    void tonesMatchThePlainPath_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<int>("amount");
        for (const int amount :
             {std::numeric_limits<int>::min(), -40, 1, 255, std::numeric_limits<int>::max()}) {
            QTest::addRow("RGB888 %d", amount) << QImage::Format_RGB888 << amount;
        }
        QTest::newRow("ARGB32") << QImage::Format_ARGB32 << 70;
        QTest::newRow("Indexed8") << QImage::Format_Indexed8 << 70;
        QTest::newRow("RGB16") << QImage::Format_RGB16 << 70;
    }

    void tonesMatchThePlainPath()
    {
        QFETCH(QImage::Format, format);
        QFETCH(int, amount);
        // Odd widths: row padding and the last column count.
        for (const QSize size : {QSize(1, 1), QSize(33, 17)}) {
            const QImage source = reference::randomPicture(size.width(), size.height(), format, 3);
            QVERIFY(samePixels(warmTone(amount, source), reference::warmTone(amount, source)));
            QVERIFY(samePixels(coolTone(amount, source), reference::coolTone(amount, source)));
        }
        QVERIFY(warmTone(amount, QImage()).isNull());
    }

    void conversionsKeepTheBytes()
    {
        // 5 pixels wide: rows of 15 bytes padded to 16.
        const QImage picture = randomRgb(5, 3, 1);
        const cv::Mat bgr = QImageToMat(picture);
        QCOMPARE(bgr.type(), CV_8UC3);
        QVERIFY(bgr.data != picture.constBits());
        QCOMPARE(bgr.at<cv::Vec3b>(2, 4)[0], uchar(qBlue(picture.pixel(4, 2))));
        QVERIFY(samePixels(MatToQImage(bgr), picture));
        // A region of interest has rows further apart than its width, and
        // the picture made from it owns its pixels.
        cv::Mat big(6, 9, CV_8UC3);
        cv::randu(big, 0, 256);
        const QImage fromRoi = MatToQImage(big(cv::Rect(2, 1, 5, 4)));
        const cv::Vec3b corner = big.at<cv::Vec3b>(4, 6);
        big.setTo(cv::Scalar(0, 0, 0));
        QCOMPARE(fromRoi.pixel(4, 3), qRgb(corner[2], corner[1], corner[0]));
        QVERIFY(QImageToMat(QImage(8, 8, QImage::Format_RGB16)).empty());
        QVERIFY(QImageToMat(QImage()).empty());
        QVERIFY(MatToQImage(cv::Mat(4, 4, CV_16UC3, cv::Scalar::all(1))).isNull());
        QVERIFY(MatToQImage(cv::Mat()).isNull());
    }

    void chainMatchesThePlainPath_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<int>>("strengths");
        // A kernel derived from sigma would reach far past 59 pixels here.
        QTest::newRow("blur sigma 50") << QSize(300, 200) << QList<int>{0, 0, 50, 0};
        QTest::newRow("smooth") << QSize(800, 530) << QList<int>{0, 0, 0, 255};
        QTest::newRow("all four, odd size") << QSize(101, 67) << QList<int>{30, 60, 7, 120};
        QTest::newRow("one pixel") << QSize(1, 1) << QList<int>{5, 5, 5, 5};
    }

    void chainMatchesThePlainPath()
    {
        QFETCH(QSize, size);
        QFETCH(QList<int>, strengths);
        Vorn_settingAI page;
        setAll(page, strengths[0], strengths[1], strengths[2], strengths[3]);
        const QImage source = reference::scenePicture(size.width(), size.height());
        const QImage expected =
            plainChain(source, strengths[0], strengths[1], strengths[2], strengths[3]);
        QImage picture = source;
        const QImage result = page.applyEffects(picture);
        QVERIFY(samePixels(picture, expected));
        QVERIFY(samePixels(result, expected));
        // Other references to the source see no change.
        QVERIFY(samePixels(source, reference::scenePicture(size.width(), size.height())));
    }

    void earlierResultsStayIntact()
    {
        // The steps reuse their output pictures from frame to frame; a
        // result the caller still holds must not be overwritten.
        Vorn_settingAI page;
        setAll(page, 0, 0, 3, 30);
        QImage first = randomRgb(160, 90, 5);
        const QImage kept = page.applyEffects(first);
        const QImage keptCopy = kept.copy();
        for (quint32 seed = 6; seed < 9; ++seed) {
            QImage next = randomRgb(160, 90, seed);
            page.applyEffects(next);
            QVERIFY(samePixels(next, plainChain(randomRgb(160, 90, seed), 0, 0, 3, 30)));
        }
        QVERIFY(samePixels(kept, keptCopy));
        QVERIFY(samePixels(first, keptCopy));
    }

    void lentMemoryIsNeverWritten_data()
    {
        QTest::addColumn<QList<int>>("strengths");
        QTest::newRow("warm") << QList<int>{70, 0, 0, 0};
        QTest::newRow("cool") << QList<int>{0, 70, 0, 0};
        QTest::newRow("all four") << QList<int>{70, 70, 4, 50};
    }

    void lentMemoryIsNeverWritten()
    {
        // A picture over the capture library's buffer, which receivers after
        // the window (the virtual camera) must still see unfiltered, and a
        // picture shared with another reference.
        QFETCH(QList<int>, strengths);
        Vorn_settingAI page;
        setAll(page, strengths[0], strengths[1], strengths[2], strengths[3]);
        QImage owner = reference::scenePicture(101, 67);
        const QImage original = owner.copy();
        const QImage expected =
            plainChain(original, strengths[0], strengths[1], strengths[2], strengths[3]);
        for (int frame = 0; frame < 2; ++frame) {
            QImage lent(owner.bits(), owner.width(), owner.height(), owner.bytesPerLine(),
                        QImage::Format_RGB888);
            QVERIFY(samePixels(page.applyEffects(lent), expected));
            QVERIFY(samePixels(lent, expected));
            QVERIFY(samePixels(owner, original));
        }
        const QImage shared = owner;
        QImage picture = shared;
        page.applyEffects(picture);
        QVERIFY(samePixels(picture, expected));
        QVERIFY(samePixels(shared, original));
    }

    void otherFormatsFollowThePlainPath()
    {
        Vorn_settingAI page;
        setAll(page, 0, 0, 2, 0);
        const QImage indexed = reference::randomPicture(64, 40, QImage::Format_Indexed8, 3);
        QImage picture = indexed;
        page.applyEffects(picture);
        QVERIFY(samePixels(picture, reference::blur(indexed, 2)));
        // No conversion for this format: passed unchanged, not failing
        // inside OpenCV.
        const QImage rgb16 = reference::randomPicture(64, 40, QImage::Format_RGB16, 5);
        setAll(page, 0, 0, 2, 20);
        picture = rgb16;
        page.applyEffects(picture);
        QCOMPARE(picture, rgb16);
        QImage null;
        QVERIFY(page.applyEffects(null).isNull());
    }

    void typedValuesGoThroughTheSlider()
    {
        Vorn_settingAI page;
        page.show();
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        const struct
        {
            int row;
            const char* typed;
            int value;
            const char* shown;
        } rows[] = {{3, "300", 255, "255"},
                    {2, "17", 17, "17"},
                    {2, "abc", 0, "0"},
                    {1, "99999999999", 100, "100"},
                    {1, "-4", 0, "0"}};
        for (const auto& r : rows) {
            type(page, r.row, QString::fromLatin1(r.typed));
            QCOMPARE(slider(page, r.row)->value(), r.value);
            QCOMPARE(edit(page, r.row)->text(), QString::fromLatin1(r.shown));
        }
        // Text without Return changes nothing.
        edit(page, 2)->setText(QStringLiteral("20"));
        QCOMPARE(slider(page, 2)->value(), 0);
    }

    void onlyThePreviewShowsTheEffects()
    {
        SimulatedDeviceCatalog catalog;
        DeviceCatalog::setInstance(&catalog);
        SimulatedHub::instance().reset();
        SimulatedHub::instance().plugCamera();
        ScriptedDialogs user;
        QTemporaryDir dir;
        {
            Vorn_Cam window;
            window.show();
            MainWindowInspector inspect(window);
            QTest::mouseClick(inspect.ui()->bt_AI, Qt::LeftButton);
            const int strengths[] = {30, 100, 6, 80};
            for (int row = 0; row < 4; ++row) {
                type(*inspect.settingAI(), row, QString::number(strengths[row]));
            }
            // Receivers after the window's own, as the frame sharing is.
            QImage delivered;
            QImage previewed;
            const auto keep = [](QImage& into) {
                return [&into](uint8_t* buffer, int width, int height) {
                    into =
                        QImage(buffer, width, height, (width * 3 + 3) & ~3, QImage::Format_RGB888)
                            .copy();
                };
            };
            connect(inspect.captureLib(), &Vorn_FFmpeglib::frameBuffer, this, keep(delivered));
            connect(inspect.captureLib(), &Vorn_FFmpeglib::previewBuffer, this, keep(previewed));
            inspect.ui()->pushButton_preview->setChecked(true);
            QTRY_VERIFY_WITH_TIMEOUT(!delivered.isNull(), 30000);

            // Frames come on this thread: between two events the label, the
            // snapshot source and the delivered frame are of one emission.
            const QImage frame = inspect.lastFrame().copy();
            const QImage shown = inspect.ui()
                                     ->label_cameraview->pixmap(Qt::ReturnByValue)
                                     .toImage()
                                     .convertToFormat(QImage::Format_RGB888);
            QVERIFY(samePixels(delivered, frame));
            // The preview's picture came shrunk to the label from the worker.
            QCOMPARE(previewed.size(), frame.size().scaled(800, 530, Qt::KeepAspectRatio));
            // The effects touch the picture, not the black bars around it.
            QVERIFY(samePixels(shown, SharedFrameProbe::letterboxed(
                                          plainChain(previewed, 30, 100, 6, 80), {800, 530})));

            user.fileName = dir.filePath(QStringLiteral("snapshot.png"));
            inspect.ui()->bt_shot->click();
            QVERIFY(
                samePixels(QImage(user.fileName).convertToFormat(QImage::Format_RGB888), frame));

            // With every effect off the picture goes straight to the screen's
            // format: the same pixels, the same black bars.
            for (int row = 0; row < 4; ++row) {
                type(*inspect.settingAI(), row, QStringLiteral("0"));
            }
            const qint64 before = previewed.cacheKey();
            QTRY_VERIFY(previewed.cacheKey() != before);
            QVERIFY(samePixels(inspect.ui()
                                   ->label_cameraview->pixmap(Qt::ReturnByValue)
                                   .toImage()
                                   .convertToFormat(QImage::Format_RGB888),
                               SharedFrameProbe::letterboxed(previewed, {800, 530})));
        }
        SimulatedHub::instance().reset();
        DeviceCatalog::setInstance(nullptr);
    }
};

QTEST_MAIN(tst_Effects)
#include "tst_effects.moc"
