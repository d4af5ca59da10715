#include "capturedevice.h"
#include "framedecoder.h"
#include "framehandoff.h"
#include "rgbconverter.h"
#include "rgbframe.h"
#include "v4l2formatprobe.h"
#include "v4l2source.h"

#include <QDir>
#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include <linux/videodev2.h>

#include <memory>
#include <thread>

namespace {

struct Rgb
{
    int r, g, b;
};

// Four flat quadrants: JPEG keeps flat areas close to exact, so the
// decoded bytes can be checked against what went in.
const Rgb kQuadrants[4] = {{220, 30, 30}, {30, 200, 40}, {30, 40, 210}, {128, 128, 128}};

Rgb expectedAt(int x, int y, int w, int h)
{
    return kQuadrants[(y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0)];
}

// Encodes one picture of the quadrants as a camera would send it.
AVPacket* encodeQuadrants(int w, int h, AVPixelFormat format, AVCodecParameters* params)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    enc->width = w;
    enc->height = h;
    enc->pix_fmt = format;
    enc->time_base = {1, 30};
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    enc->global_quality = FF_QP2LAMBDA * 2;
    if (avcodec_open2(enc, codec, nullptr) < 0) {
        avcodec_free_context(&enc);
        return nullptr;
    }
    AVFrame* f = av_frame_alloc();
    f->format = format;
    f->width = w;
    f->height = h;
    av_frame_get_buffer(f, 0);
    const bool chroma422 = format == AV_PIX_FMT_YUVJ422P;
    const int cw = (w + 1) / 2, ch = chroma422 ? h : (h + 1) / 2;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb c = expectedAt(x, y, w, h);
            f->data[0][y * f->linesize[0] + x] = uint8_t(0.299 * c.r + 0.587 * c.g + 0.114 * c.b);
        }
    }
    for (int y = 0; y < ch; ++y) {
        for (int x = 0; x < cw; ++x) {
            const Rgb c = expectedAt(x * 2, chroma422 ? y : y * 2, w, h);
            f->data[1][y * f->linesize[1] + x] =
                uint8_t(128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b);
            f->data[2][y * f->linesize[2] + x] =
                uint8_t(128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b);
        }
    }
    AVPacket* packet = av_packet_alloc();
    const bool ok = avcodec_send_frame(enc, f) >= 0 && avcodec_receive_packet(enc, packet) >= 0;
    avcodec_parameters_from_context(params, enc);
    av_frame_free(&f);
    avcodec_free_context(&enc);
    if (!ok) {
        av_packet_free(&packet);
    }
    return packet;
}

// Largest channel error over the picture, away from the quadrant edges
// where JPEG blocks and chroma subsampling mix the colours.
int worstError(const RgbFrame& frame)
{
    int worst = 0;
    const int w = frame.width(), h = frame.height();
    for (int y = 0; y < h; ++y) {
        if (std::abs(y - h / 2) < 10) {
            continue;
        }
        const uint8_t* row = frame.data() + y * frame.stride();
        for (int x = 0; x < w; ++x) {
            if (std::abs(x - w / 2) < 10) {
                continue;
            }
            const Rgb c = expectedAt(x, y, w, h);
            const int e = std::max({std::abs(row[3 * x] - c.r), std::abs(row[3 * x + 1] - c.g),
                                    std::abs(row[3 * x + 2] - c.b)});
            worst = std::max(worst, e);
        }
    }
    return worst;
}

} // namespace

class tst_CaptureDecode : public QObject
{
    Q_OBJECT

private slots:
    void mjpegDecodesToAlignedRgb_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("format");
        QTest::newRow("720p 4:2:2") << 1280 << 720 << int(AV_PIX_FMT_YUVJ422P);
        QTest::newRow("720p 4:2:0") << 1280 << 720 << int(AV_PIX_FMT_YUVJ420P);
        QTest::newRow("odd width") << 321 << 240 << int(AV_PIX_FMT_YUVJ420P);
    }

    void mjpegDecodesToAlignedRgb()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, format);
        AVCodecParameters* params = avcodec_parameters_alloc();
        AVPacket* packet = encodeQuadrants(width, height, AVPixelFormat(format), params);
        QVERIFY(packet);

        FrameDecoder decoder;
        QVERIFY(decoder.open(params));
        const AVFrame* frame = decoder.decode(packet);
        QVERIFY(frame);
        QCOMPARE(frame->width, width);

        RgbConverter converter;
        RgbFrame rgb;
        QVERIFY(converter.convert(frame, width, height, rgb));
        QCOMPARE(rgb.width(), width);
        QCOMPARE(rgb.height(), height);
        QCOMPARE(rgb.stride() % 4, 0);
        QVERIFY(rgb.stride() >= width * 3);
        QVERIFY(rgb.stride() - width * 3 < 4);
        QVERIFY2(worstError(rgb) <= 12, qPrintable(QString::number(worstError(rgb))));

        // The same bytes as a QImage wrapped without a stride, as the main
        // window wraps the buffer.
        const QImage wrapped(rgb.data(), width, height, QImage::Format_RGB888);
        const QColor c = wrapped.pixelColor(width / 4, height / 4);
        QVERIFY(std::abs(c.red() - 220) <= 12 && std::abs(c.green() - 30) <= 12);

        // A different requested size is scaled to, keeping the picture.
        QVERIFY(converter.convert(frame, 640, 360, rgb));
        QCOMPARE(rgb.width(), 640);
        QVERIFY2(worstError(rgb) <= 14, qPrintable(QString::number(worstError(rgb))));

        av_packet_free(&packet);
        avcodec_parameters_free(&params);
    }

    void rawYuyvFromTheFallbackDecodes()
    {
        const int w = 64, h = 32;
        QByteArray bytes(w * h * 2, 0);
        for (int i = 0; i < w * h / 2; ++i) {
            // Y0 U Y1 V: mid grey with a strong red tint.
            bytes[4 * i] = char(120);
            bytes[4 * i + 1] = char(128);
            bytes[4 * i + 2] = char(120);
            bytes[4 * i + 3] = char(200);
        }
        AVCodecParameters* params = avcodec_parameters_alloc();
        params->codec_type = AVMEDIA_TYPE_VIDEO;
        params->codec_id = AV_CODEC_ID_RAWVIDEO;
        params->format = AV_PIX_FMT_YUYV422;
        params->width = w;
        params->height = h;
        FrameDecoder decoder;
        QVERIFY(decoder.open(params));
        AVPacket* packet = av_packet_alloc();
        QCOMPARE(av_new_packet(packet, bytes.size()), 0);
        memcpy(packet->data, bytes.constData(), bytes.size());
        const AVFrame* frame = decoder.decode(packet);
        QVERIFY(frame);
        RgbConverter converter;
        RgbFrame rgb;
        QVERIFY(converter.convert(frame, w, h, rgb));
        const uint8_t* px = rgb.data() + 10 * rgb.stride() + 3 * 10;
        QVERIFY2(px[0] > px[1] + 60 && px[0] > px[2] + 60,
                 qPrintable(QStringLiteral("%1 %2 %3").arg(px[0]).arg(px[1]).arg(px[2])));
        av_packet_free(&packet);
        avcodec_parameters_free(&params);
    }

    void damagedPacketGivesNoFrame()
    {
        AVCodecParameters* params = avcodec_parameters_alloc();
        AVPacket* packet = encodeQuadrants(64, 64, AV_PIX_FMT_YUVJ420P, params);
        QVERIFY(packet);
        FrameDecoder decoder;
        QVERIFY(decoder.open(params));
        AVPacket* junk = av_packet_alloc();
        QCOMPARE(av_new_packet(junk, 100), 0);
        memset(junk->data, 0x5a, 100);
        QVERIFY(!decoder.decode(junk));
        // The next good picture decodes as if nothing had happened.
        QVERIFY(decoder.decode(packet));
        av_packet_free(&junk);
        av_packet_free(&packet);
        avcodec_parameters_free(&params);
    }

    void newestFrameWinsWhenTheGuiIsBusy()
    {
        QObject context;
        QList<int> delivered;
        QList<QThread*> threads;
        FrameHandoff handoff(&context, [&](uint8_t* buffer, int w, int) {
            delivered.append(buffer[0] + 256 * w);
            threads.append(QThread::currentThread());
        });
        // The GUI thread is busy (not running its loop) while the worker
        // publishes ten frames.
        std::thread worker([&] {
            RgbFrame frame;
            for (int i = 1; i <= 10; ++i) {
                frame.resize(4, 2);
                frame.data()[0] = uint8_t(i);
                handoff.publish(frame);
            }
        });
        worker.join();
        QVERIFY(delivered.isEmpty());
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(delivered, QList<int>{10 + 256 * 4});
        QCOMPARE(threads.value(0), QThread::currentThread());

        // Cleared frames are not delivered.
        RgbFrame another;
        QVERIFY(another.resize(4, 2));
        another.data()[0] = 99;
        handoff.publish(another);
        handoff.clear();
        QCoreApplication::processEvents();
        QCOMPARE(delivered.size(), 1);
    }

    void videoSizeText()
    {
        int w = 1, h = 1;
        QVERIFY(parseVideoSize("1280x720", w, h));
        QCOMPARE(w, 1280);
        QCOMPARE(h, 720);
        QVERIFY(parseVideoSize(" 640 X 480 ", w, h));
        QCOMPARE(h, 480);
        for (const char* bad : {"", "1280", "x720", "-1x5", "1280x720x3", "99999x720", "0x0"}) {
            QVERIFY2(!parseVideoSize(bad, w, h), bad);
        }
        QCOMPARE(w, 640);
    }

    void nameAndOrdinalPickTheDevice()
    {
        const VideoInputList inputs = {
            VideoInputInfo("Cam", "/dev/video0", true),
            VideoInputInfo("Cam", "/dev/video2", false), // not USB: never counted
            VideoInputInfo("Other", "/dev/video4", true),
            VideoInputInfo("Cam", "/dev/video6", true),
        };
        QCOMPARE(findCaptureInput(inputs, "Cam", 0), 0);
        QCOMPARE(findCaptureInput(inputs, "Cam", 1), 3);
        QCOMPARE(findCaptureInput(inputs, "Cam", 2), -1);
        QCOMPARE(findCaptureInput(inputs, "Cam", -1), -1);
        QCOMPARE(findCaptureInput(inputs, "cam", 0), -1);
        QCOMPARE(findCaptureInput(inputs, "Other", 0), 2);
    }

    void v4l2ModeChoice()
    {
        const uint32_t mjpg = V4L2_PIX_FMT_MJPEG, yuyv = V4L2_PIX_FMT_YUYV;
        V4l2Mode m;
        // MJPEG at the requested size and rate when offered.
        QVERIFY(chooseV4l2Mode({{yuyv, 1280, 720, 10},
                                {mjpg, 1280, 720, 15},
                                {mjpg, 1280, 720, 30},
                                {mjpg, 1920, 1080, 30}},
                               1280, 720, 30, m));
        QCOMPARE(m.fourcc, mjpg);
        QCOMPARE(m.fps, 30.0);
        // Only YUYV at the size: that, at its rate nearest 30.
        QVERIFY(chooseV4l2Mode({{yuyv, 1280, 720, 5}, {yuyv, 1280, 720, 10}, {mjpg, 640, 480, 30}},
                               1280, 720, 30, m));
        QCOMPARE(m.fourcc, yuyv);
        QCOMPARE(m.fps, 10.0);
        // No such size: the nearest one.
        QVERIFY(
            chooseV4l2Mode({{yuyv, 640, 480, 30}, {yuyv, 1024, 768, 30}, {yuyv, 1920, 1080, 30}},
                           1280, 720, 30, m));
        QCOMPARE(m.width, 1024);
        // Formats the capture cannot take are skipped.
        QVERIFY(!chooseV4l2Mode({{V4L2_PIX_FMT_H264, 1280, 720, 30}}, 1280, 720, 30, m));
        QVERIFY(!chooseV4l2Mode({}, 1280, 720, 30, m));
    }

    void realV4l2CameraStreams()
    {
        const QStringList nodes =
            QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System);
        if (nodes.isEmpty()) {
            QSKIP("no /dev/video* node on this machine: the V4L2 path needs a real camera");
        }
        int tried = 0;
        for (const QString& node : nodes) {
            const QString path = QStringLiteral("/dev/") + node;
            if (enumerateV4l2Modes(path).isEmpty()) {
                continue; // metadata or output node
            }
            ++tried;
            V4l2Source source(path);
            QVERIFY2(source.open(1280, 720, 30), qPrintable(path));
            FrameDecoder decoder;
            QVERIFY(decoder.open(source.codecParameters()));
            AVPacket* packet = av_packet_alloc();
            const AVFrame* frame = nullptr;
            for (int i = 0; i < 100 && !frame; ++i) {
                if (source.read(packet) == FrameSource::ReadResult::Packet) {
                    frame = decoder.decode(packet);
                }
            }
            QVERIFY2(frame, qPrintable(path));
            RgbConverter converter;
            RgbFrame rgb;
            QVERIFY(converter.convert(frame, 1280, 720, rgb));
            av_packet_free(&packet);
        }
        if (tried == 0) {
            QSKIP("no /dev/video* node is a capture device");
        }
    }
};

QTEST_GUILESS_MAIN(tst_CaptureDecode)
#include "tst_capturedecode.moc"
