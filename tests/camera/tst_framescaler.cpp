#include "framescaler.h"

#include <QRandomGenerator>
#include <QtTest>

// The preview scaler must give exactly Qt's nearest-pixel result: a shifted
// column would show as a seam in the preview and differ from what the
// snapshot and the virtual camera see.
class tst_FrameScaler : public QObject
{
    Q_OBJECT

private:
    static QImage randomPicture(int width, int height, quint32 seed)
    {
        QRandomGenerator random(seed);
        QImage picture(width, height, QImage::Format_RGB888);
        for (int y = 0; y < height; ++y) {
            uchar* row = picture.scanLine(y);
            for (int x = 0; x < width * 3; ++x) {
                row[x] = uchar(random.bounded(256));
            }
        }
        return picture;
    }

private slots:
    void sameAsQt_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<QSize>("target");
        QTest::newRow("camera to preview") << QSize(1280, 720) << QSize(800, 530);
        QTest::newRow("camera to virtual camera") << QSize(1280, 720) << QSize(640, 480);
        QTest::newRow("exact halving") << QSize(1280, 960) << QSize(640, 480);
        QTest::newRow("upscale") << QSize(320, 240) << QSize(800, 530);
        QTest::newRow("odd sizes") << QSize(1279, 719) << QSize(801, 529);
        QTest::newRow("full hd") << QSize(1920, 1080) << QSize(800, 530);
        QTest::newRow("identity") << QSize(800, 530) << QSize(800, 530);
        QTest::newRow("single pixel") << QSize(1, 1) << QSize(7, 5);
        QRandomGenerator random(42);
        for (int i = 0; i < 40; ++i) {
            const QSize source(1 + random.bounded(1500), 1 + random.bounded(900));
            const QSize target(1 + random.bounded(1000), 1 + random.bounded(700));
            QTest::addRow("random %d", i) << source << target;
        }
    }

    void sameAsQt()
    {
        QFETCH(QSize, source);
        QFETCH(QSize, target);
        const QImage picture = randomPicture(source.width(), source.height(), 7);
        const QImage expected =
            picture.scaled(target, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const QImage actual = scaleNearest(picture, target.width(), target.height());
        QCOMPARE(actual.format(), QImage::Format_RGB888);
        QCOMPARE(actual.size(), target);
        QVERIFY(actual == expected);
    }

    void wrappedBufferWithPaddedRows()
    {
        // The capture library's rows start on multiples of 4 bytes, so a
        // width of 5 pixels (15 bytes) carries one byte of padding per row.
        const int width = 5, height = 3, stride = 16;
        QByteArray bytes(stride * height, char(0xEE));
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width * 3; ++x) {
                bytes[y * stride + x] = char(y * 50 + x);
            }
        }
        const QImage wrapped(reinterpret_cast<const uchar*>(bytes.constData()), width, height,
                             stride, QImage::Format_RGB888);
        const QImage actual = scaleNearest(wrapped, 10, 6);
        QVERIFY(actual == wrapped.scaled(10, 6, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        QCOMPARE(actual.pixelColor(9, 5), QColor(2 * 50 + 12, 2 * 50 + 13, 2 * 50 + 14));
    }

    void otherFormatsFallBackToQt()
    {
        QImage picture(64, 48, QImage::Format_ARGB32);
        picture.fill(QColor(10, 20, 30, 40));
        const QImage actual = scaleNearest(picture, 32, 24);
        QCOMPARE(actual.format(), QImage::Format_ARGB32);
        QVERIFY(actual == picture.scaled(32, 24, Qt::IgnoreAspectRatio, Qt::FastTransformation));
        QVERIFY(scaleNearest(QImage(), 10, 10).isNull());
    }
};

QTEST_APPLESS_MAIN(tst_FrameScaler)
#include "tst_framescaler.moc"
