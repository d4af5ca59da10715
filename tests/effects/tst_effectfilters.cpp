#include "frameconversion.h"
#include "referencefilters.h"
#include "tonefilters.h"

#include <QtTest>

#include <limits>

Q_DECLARE_METATYPE(QImage::Format)

// Conversions between pictures and matrices, and the two tone filters
// against their per-pixel reference.
class tst_EffectFilters : public QObject
{
    Q_OBJECT

private slots:
    void rgb888BecomesBgrCopyAndLeavesSourceAlone()
    {
        // 5 pixels wide: rows are padded to 16 bytes, so strides matter.
        const QImage source = reference::randomPicture(5, 3, QImage::Format_RGB888, 1);
        const QImage before = source.copy();
        const uchar* bits = source.constBits();
        const cv::Mat mat = QImageToMat(source);
        QCOMPARE(mat.type(), CV_8UC3);
        QCOMPARE(mat.cols, 5);
        QCOMPARE(mat.rows, 3);
        QVERIFY(mat.data != bits);
        for (int y = 0; y < 3; ++y) {
            for (int x = 0; x < 5; ++x) {
                const QRgb p = source.pixel(x, y);
                const cv::Vec3b bgr = mat.at<cv::Vec3b>(y, x);
                QCOMPARE(int(bgr[0]), qBlue(p));
                QCOMPARE(int(bgr[1]), qGreen(p));
                QCOMPARE(int(bgr[2]), qRed(p));
            }
        }
        QCOMPARE(source.constBits(), bits);
        QVERIFY(reference::samePixels(source, before));
    }

    void wideFormatsShareThePicturesBytes_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<int>("type");
        QTest::newRow("RGB32") << QImage::Format_RGB32 << CV_8UC4;
        QTest::newRow("ARGB32") << QImage::Format_ARGB32 << CV_8UC4;
        QTest::newRow("ARGB32 premultiplied") << QImage::Format_ARGB32_Premultiplied << CV_8UC4;
        QTest::newRow("Indexed8") << QImage::Format_Indexed8 << CV_8UC1;
    }

    void wideFormatsShareThePicturesBytes()
    {
        QFETCH(QImage::Format, format);
        QFETCH(int, type);
        const QImage source = reference::randomPicture(7, 4, format, 2);
        const cv::Mat mat = QImageToMat(source);
        QCOMPARE(mat.type(), type);
        QCOMPARE(mat.cols, 7);
        QCOMPARE(mat.rows, 4);
        QCOMPARE(mat.data, source.constBits());
        QCOMPARE(int(mat.step[0]), source.bytesPerLine());
        if (format != QImage::Format_Indexed8) {
            // Memory order B, G, R, A.
            const QRgb p = source.pixel(3, 2);
            const cv::Vec4b bgra = mat.at<cv::Vec4b>(2, 3);
            QCOMPARE(int(bgra[0]), qBlue(p));
            QCOMPARE(int(bgra[2]), qRed(p));
        }
    }

    void otherPicturesGiveAnEmptyMatrix_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::newRow("RGB16") << QImage::Format_RGB16;
        QTest::newRow("Grayscale8") << QImage::Format_Grayscale8;
        QTest::newRow("Mono") << QImage::Format_Mono;
        QTest::newRow("RGBA8888") << QImage::Format_RGBA8888;
        QTest::newRow("BGR30") << QImage::Format_BGR30;
    }

    void otherPicturesGiveAnEmptyMatrix()
    {
        QFETCH(QImage::Format, format);
        QVERIFY(QImageToMat(QImage(8, 8, format)).empty());
    }

    void nullPictureGivesAnEmptyMatrix()
    {
        QVERIFY(QImageToMat(QImage()).empty());
        QVERIFY(QImageToMat(QImage(0, 0, QImage::Format_RGB888)).empty());
    }

    void matricesBecomeOwningPictures()
    {
        cv::Mat big(6, 9, CV_8UC3);
        cv::randu(big, 0, 256);
        // A region of interest: rows are further apart than its width.
        const cv::Mat roi = big(cv::Rect(2, 1, 5, 4));
        QImage rgb = MatToQImage(roi);
        QCOMPARE(rgb.format(), QImage::Format_RGB888);
        QCOMPARE(rgb.size(), QSize(5, 4));
        const cv::Vec3b bgr = roi.at<cv::Vec3b>(3, 4);
        QCOMPARE(rgb.pixel(4, 3), qRgb(bgr[2], bgr[1], bgr[0]));

        cv::Mat grey(4, 5, CV_8UC1);
        cv::randu(grey, 0, 256);
        const QImage indexed = MatToQImage(grey(cv::Rect(1, 1, 3, 2)));
        QCOMPARE(indexed.format(), QImage::Format_Indexed8);
        QCOMPARE(indexed.colorCount(), 256);
        for (int i = 0; i < 256; ++i) {
            QCOMPARE(indexed.color(i), qRgb(i, i, i));
        }
        const int index = grey.at<uchar>(2, 3);
        QCOMPARE(indexed.pixelIndex(2, 1), index);

        cv::Mat bgra(3, 3, CV_8UC4, cv::Scalar(10, 20, 30, 40));
        const QImage argb = MatToQImage(bgra);
        QCOMPARE(argb.format(), QImage::Format_ARGB32);
        QCOMPARE(argb.pixel(1, 1), qRgba(30, 20, 10, 40));

        // Every result owns its pixels: the matrices may go away or change.
        big.setTo(cv::Scalar(0, 0, 0));
        grey.setTo(0);
        bgra.setTo(cv::Scalar(0, 0, 0, 0));
        QCOMPARE(rgb.pixel(4, 3), qRgb(bgr[2], bgr[1], bgr[0]));
        QCOMPARE(argb.pixel(1, 1), qRgba(30, 20, 10, 40));
        QCOMPARE(indexed.pixelIndex(2, 1), index);
    }

    void otherMatricesGiveANullPicture_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("8UC2") << CV_8UC2;
        QTest::newRow("8SC3") << CV_8SC3;
        QTest::newRow("16UC3") << CV_16UC3;
        QTest::newRow("16UC1") << CV_16UC1;
        QTest::newRow("32FC1") << CV_32FC1;
        QTest::newRow("32FC4") << CV_32FC4;
    }

    void otherMatricesGiveANullPicture()
    {
        QFETCH(int, type);
        QVERIFY(MatToQImage(cv::Mat(4, 4, type, cv::Scalar::all(1))).isNull());
    }

    void emptyMatrixGivesANullPicture()
    {
        QVERIFY(MatToQImage(cv::Mat()).isNull());
        QVERIFY(MatToQImage(cv::Mat(0, 0, CV_8UC3)).isNull());
    }

    void roundTripsKeepTheBytes()
    {
        for (const QSize size : {QSize(1, 1), QSize(37, 11), QSize(800, 530)}) {
            cv::Mat mat(size.height(), size.width(), CV_8UC3);
            cv::randu(mat, 0, 256);
            const cv::Mat back = QImageToMat(MatToQImage(mat));
            QCOMPARE(back.type(), CV_8UC3);
            QCOMPARE(cv::norm(mat, back, cv::NORM_INF), 0.0);

            const QImage picture =
                reference::randomPicture(size.width(), size.height(), QImage::Format_RGB888, 3);
            QVERIFY(reference::samePixels(MatToQImage(QImageToMat(picture)), picture));

            cv::Mat grey(size.height(), size.width(), CV_8UC1);
            cv::randu(grey, 0, 256);
            QCOMPARE(cv::norm(grey, QImageToMat(MatToQImage(grey)), cv::NORM_INF), 0.0);
        }
    }

    void toneAmountsOnOnePixel()
    {
        QImage pixel(1, 1, QImage::Format_RGB888);
        pixel.setPixel(0, 0, qRgb(200, 120, 30));
        const QImage warm = warmTone(100, pixel);
        QCOMPARE(warm.format(), QImage::Format_RGB888);
        QCOMPARE(warm.pixel(0, 0), qRgb(255, 220, 30));
        QCOMPARE(coolTone(100, pixel).pixel(0, 0), qRgb(200, 120, 130));
        QCOMPARE(pixel.pixel(0, 0), qRgb(200, 120, 30));
    }

    void shiftTableClampsAtBothEnds()
    {
        const ChannelTable up = shiftTable(1);
        QCOMPARE(int(up[0]), 1);
        QCOMPARE(int(up[254]), 255);
        QCOMPARE(int(up[255]), 255);
        const ChannelTable down = shiftTable(-1);
        QCOMPARE(int(down[0]), 0);
        QCOMPARE(int(down[1]), 0);
        QCOMPARE(int(down[255]), 254);
        const ChannelTable none = shiftTable(0);
        for (int v = 0; v < 256; ++v) {
            QCOMPARE(int(none[size_t(v)]), v);
        }
        QCOMPARE(int(shiftTable(std::numeric_limits<int>::max())[255]), 255);
        QCOMPARE(int(shiftTable(std::numeric_limits<int>::min())[255]), 0);
    }

    void tonesMatchTheReference_data()
    {
        QTest::addColumn<QImage::Format>("format");
        QTest::addColumn<int>("amount");
        const int amounts[] = {std::numeric_limits<int>::min(), -256, -40, 0, 1, 50, 100, 255, 256,
                               std::numeric_limits<int>::max()};
        for (const int amount : amounts) {
            QTest::addRow("RGB888 %d", amount) << QImage::Format_RGB888 << amount;
        }
        QTest::newRow("RGB32") << QImage::Format_RGB32 << 70;
        QTest::newRow("ARGB32") << QImage::Format_ARGB32 << 70;
        QTest::newRow("ARGB32 premultiplied") << QImage::Format_ARGB32_Premultiplied << 70;
        QTest::newRow("Indexed8") << QImage::Format_Indexed8 << 70;
        QTest::newRow("RGB16") << QImage::Format_RGB16 << 70;
        QTest::newRow("Grayscale8") << QImage::Format_Grayscale8 << 70;
    }

    void tonesMatchTheReference()
    {
        QFETCH(QImage::Format, format);
        QFETCH(int, amount);
        // Odd sizes, so that row padding and the last column are exercised.
        for (const QSize size : {QSize(1, 1), QSize(33, 17), QSize(256, 3)}) {
            const QImage source = reference::randomPicture(size.width(), size.height(), format,
                                                           quint32(size.width()) + quint32(amount));
            QVERIFY(reference::samePixels(warmTone(amount, source),
                                          reference::warmTone(amount, source)));
            QVERIFY(reference::samePixels(coolTone(amount, source),
                                          reference::coolTone(amount, source)));
        }
    }

    void everyChannelValueAtTheEdges()
    {
        // One row holding every byte value in every channel.
        QImage ramp(256, 1, QImage::Format_RGB888);
        for (int v = 0; v < 256; ++v) {
            ramp.setPixel(v, 0, qRgb(v, 255 - v, v));
        }
        for (const int amount : {1, 100, 254, 255}) {
            const QImage warm = warmTone(amount, ramp);
            QVERIFY(reference::samePixels(warm, reference::warmTone(amount, ramp)));
            QCOMPARE(qRed(warm.pixel(255, 0)), 255);
            QCOMPARE(qRed(warm.pixel(0, 0)), amount);
            QVERIFY(
                reference::samePixels(coolTone(amount, ramp), reference::coolTone(amount, ramp)));
        }
    }

    void nullSourceGivesANullPicture()
    {
        QVERIFY(warmTone(10, QImage()).isNull());
        QVERIFY(coolTone(10, QImage()).isNull());
    }

    void bothTonesInOnePass()
    {
        const QImage source = reference::randomPicture(41, 23, QImage::Format_RGB888, 9);
        const QImage expected = coolTone(90, warmTone(35, source));
        QImage target(source.size(), QImage::Format_RGB888);
        QVERIFY(shiftChannels(source, target, 35, 90));
        QVERIFY(reference::samePixels(target, expected));
        QVERIFY(reference::samePixels(source,
                                      reference::randomPicture(41, 23, QImage::Format_RGB888, 9)));

        // A target sharing the source's pixels is detached, not written
        // through.
        QImage shared = source;
        QVERIFY(shiftChannels(source, shared, 35, 90));
        QVERIFY(reference::samePixels(shared, expected));
        QVERIFY(reference::samePixels(source,
                                      reference::randomPicture(41, 23, QImage::Format_RGB888, 9)));

        // Pictures that do not fit are refused and the target stays.
        QImage other = reference::randomPicture(8, 8, QImage::Format_RGB32, 4);
        QImage wrongFormat(8, 8, QImage::Format_RGB888);
        wrongFormat.fill(Qt::red);
        const QImage before = wrongFormat.copy();
        QVERIFY(!shiftChannels(other, wrongFormat, 35, 90));
        QCOMPARE(wrongFormat, before);
        QImage small(40, 23, QImage::Format_RGB888);
        QVERIFY(!shiftChannels(source, small, 35, 90));
        QImage argbTarget(source.size(), QImage::Format_ARGB32);
        QVERIFY(!shiftChannels(source, argbTarget, 35, 90));
        QVERIFY(!shiftChannels(QImage(), small, 35, 90));
    }
};

QTEST_GUILESS_MAIN(tst_EffectFilters)
#include "tst_effectfilters.moc"
