// The capture path from MJPEG to the GUI thread, with simulated cameras.

#include "capturedevice.h"
#include "dshowoptionlisting.h"
#include "framedecoder.h"
#include "framehandoff.h"
#include "picturedifference.h"
#include "rgbconverter.h"
#include "rgbframe.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "v4l2formatprobe.h"
#include "vorn_ffmpeglib.h"

#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <linux/videodev2.h>

#include <climits>
#include <thread>

namespace {

struct Rgb
{
    int r, g, b;
};

// Four flat quadrants: JPEG keeps flat areas close to exact, so the decoded
// bytes can be checked against what went in.
const Rgb kQuadrants[4] = {{220, 30, 30}, {30, 200, 40}, {30, 40, 210}, {128, 128, 128}};

Rgb expectedAt(int x, int y, int w, int h)
{
    return kQuadrants[(y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0)];
}

// One picture of the quadrants, encoded as a camera sends it.
AVPacket* encodeQuadrants(int w, int h, AVPixelFormat format, AVCodecParameters* params)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* enc = avcodec_alloc_context3(codec);
    enc->width = w, enc->height = h, enc->pix_fmt = format, enc->time_base = {1, 30};
    enc->flags |= AV_CODEC_FLAG_QSCALE, enc->global_quality = FF_QP2LAMBDA * 2;
    AVFrame* f = av_frame_alloc();
    f->format = format, f->width = w, f->height = h;
    av_frame_get_buffer(f, 0);
    const bool chroma422 = format == AV_PIX_FMT_YUVJ422P;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const Rgb c = expectedAt(x, y, w, h);
            f->data[0][y * f->linesize[0] + x] = uint8_t(0.299 * c.r + 0.587 * c.g + 0.114 * c.b);
            if (x % 2 == 0 && (chroma422 || y % 2 == 0)) {
                const int cy = chroma422 ? y : y / 2;
                f->data[1][cy * f->linesize[1] + x / 2] =
                    uint8_t(128 - 0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b);
                f->data[2][cy * f->linesize[2] + x / 2] =
                    uint8_t(128 + 0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b);
            }
        }
    }
    AVPacket* packet = av_packet_alloc();
    const bool ok = avcodec_open2(enc, codec, nullptr) >= 0 && avcodec_send_frame(enc, f) >= 0 &&
                    avcodec_receive_packet(enc, packet) >= 0;
    avcodec_parameters_from_context(params, enc);
    av_frame_free(&f);
    avcodec_free_context(&enc);
    if (!ok) {
        av_packet_free(&packet);
    }
    return packet;
}

// Largest channel error, away from the quadrant edges where JPEG blocks and
// chroma subsampling mix the colours.
int worstError(const RgbFrame& frame)
{
    int worst = 0;
    const int w = frame.width(), h = frame.height();
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = frame.data() + y * frame.stride();
        for (int x = 0; x < w && std::abs(y - h / 2) >= 10; ++x) {
            const Rgb c = expectedAt(x, y, w, h);
            if (std::abs(x - w / 2) >= 10) {
                worst = std::max({worst, std::abs(row[3 * x] - c.r), std::abs(row[3 * x + 1] - c.g),
                                  std::abs(row[3 * x + 2] - c.b)});
            }
        }
    }
    return worst;
}

// The nice value of this process's thread of that name, or of its main
// thread for an empty name; INT_MIN when there is none.
int niceOfThread(const QByteArray& name)
{
    const QString self = QStringLiteral("/proc/self/task/");
    const QString mainId = QString::number(QCoreApplication::applicationPid());
    for (const QString& id : QDir(self).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(self + id + QStringLiteral("/comm"));
        QFile stat(self + id + QStringLiteral("/stat"));
        const bool wanted =
            name.isEmpty() ? id == mainId
                           : comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name;
        if (wanted && stat.open(QIODevice::ReadOnly)) {
            // The fields after the name, which may hold spaces, start with
            // the state; the nice value is the 19th field in all.
            const QByteArray fields = stat.readAll();
            return fields.mid(fields.lastIndexOf(')') + 2).split(' ').value(16).toInt();
        }
    }
    return INT_MIN;
}

} // namespace

class tst_Capture : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;

private slots:
    void initTestCase() { DeviceCatalog::setInstance(&catalog); }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }

    void mjpegDecodesToAlignedRgb_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("format");
        QTest::newRow("4:2:2") << 1280 << int(AV_PIX_FMT_YUVJ422P);
        QTest::newRow("4:2:0, odd width") << 321 << int(AV_PIX_FMT_YUVJ420P);
    }

    void mjpegDecodesToAlignedRgb()
    {
        QFETCH(int, width);
        QFETCH(int, format);
        const int height = 240;
        AVCodecParameters* params = avcodec_parameters_alloc();
        AVPacket* packet = encodeQuadrants(width, height, AVPixelFormat(format), params);
        QVERIFY(packet);
        FrameDecoder decoder;
        QVERIFY(decoder.open(params));
        AVPacket* junk = av_packet_alloc();
        QCOMPARE(av_new_packet(junk, 100), 0);
        memset(junk->data, 0x5a, 100);
        QVERIFY(!decoder.decode(junk)); // damaged: no frame, and no harm done
        const AVFrame* frame = decoder.decode(packet);
        QVERIFY(frame);

        RgbConverter converter;
        RgbFrame rgb;
        QVERIFY(converter.convert(frame, width, height, rgb));
        QCOMPARE(rgb.width(), width);
        // Rows padded to four bytes, as the window's QImage wraps them.
        QCOMPARE(rgb.stride() % 4, 0);
        QVERIFY(rgb.stride() >= width * 3 && rgb.stride() - width * 3 < 4);
        QVERIFY2(worstError(rgb) <= 12, qPrintable(QString::number(worstError(rgb))));
        // Another requested size is scaled to, keeping the picture.
        QVERIFY(converter.convert(frame, 640, 360, rgb));
        QCOMPARE(rgb.height(), 360);
        QVERIFY2(worstError(rgb) <= 14, qPrintable(QString::number(worstError(rgb))));
        av_packet_free(&junk);
        av_packet_free(&packet);
        avcodec_parameters_free(&params);
    }

    void newestFrameWinsWhenTheGuiIsBusy()
    {
        QObject context; // on the GUI thread, which runs no loop while ten frames come
        QList<int> delivered;
        FrameHandoff handoff(&context, [&](FrameHandoff::Picture& picture) {
            delivered.append(picture.rgb.data()[0]);
        });
        std::thread worker([&] {
            FrameHandoff::Picture frame;
            for (int i = 1; i <= 10; ++i) {
                frame.rgb.resize(4, 2);
                frame.rgb.data()[0] = uint8_t(i);
                handoff.publish(frame);
            }
        });
        worker.join();
        QVERIFY(delivered.isEmpty());
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        QCOMPARE(delivered, QList<int>{10});
        FrameHandoff::Picture another; // cleared: not delivered
        QVERIFY(another.rgb.resize(4, 2));
        handoff.publish(another);
        handoff.clear();
        QCoreApplication::processEvents();
        QCOMPARE(delivered.size(), 1);
    }

    void deviceAndModeChoice()
    {
        int w = 1, h = 1;
        QVERIFY(parseVideoSize(" 640 X 480 ", w, h) && w == 640 && h == 480);
        QVERIFY(!parseVideoSize("x720", w, h) && !parseVideoSize("99999x720", w, h));
        // Only USB cameras count towards the ordinal; names match exactly.
        const VideoInputList inputs = {{"Cam", "/dev/video0", true},
                                       {"Cam", "/dev/video2", false},
                                       {"cam", "/dev/video4", true},
                                       {"Cam", "/dev/video6", true}};
        QCOMPARE(findCaptureInput(inputs, "Cam", 1), 3);
        QVERIFY(findCaptureInput(inputs, "Cam", 2) < 0 && findCaptureInput(inputs, "Cam", -1) < 0);
        // The nearest rate, then the nearest size; never a format the capture
        // cannot take.
        const uint32_t mjpg = V4L2_PIX_FMT_MJPEG, yuyv = V4L2_PIX_FMT_YUYV;
        V4l2Mode m;
        QVERIFY(chooseV4l2Mode({{yuyv, 1280, 720, 5}, {yuyv, 1280, 720, 10}, {mjpg, 640, 480, 30}},
                               1280, 720, 30, m));
        QVERIFY(m.fourcc == yuyv && m.fps == 10.0);
        QVERIFY(
            chooseV4l2Mode({{yuyv, 640, 480, 30}, {yuyv, 1024, 768, 30}, {yuyv, 1920, 1080, 30}},
                           1280, 720, 30, m));
        QCOMPARE(m.width, 1024);
        QVERIFY(!chooseV4l2Mode({{V4L2_PIX_FMT_HEVC, 1280, 720, 30}}, 1280, 720, 30, m));
        // Modes as lumora-ctl and the profile write them, read back; rates
        // to a hundredth (a 1/60 s interval is 60.0002 fps), MJPEG first.
        using F = CaptureMode::Format;
        QCOMPARE(CaptureMode::fromString(" 1920x1080@29.97/NV12 "),
                 CaptureMode(1920, 1080, 29.97, F::Nv12));
        QCOMPARE(CaptureMode(1280, 720, 7.5).toString(), QString("1280x720@7.5"));
        for (const char* bad : {"1920x1080@", "1920x1080@0", "1920x1080/rgb", "8000x720@30",
                                "1920x1080@30/", "x1080@30"})
            QVERIFY2(CaptureMode::fromString(bad).isNull(), bad);
        const QList<CaptureMode> offered = {{1920, 1080, 60.0002, F::Yuyv},
                                            {1920, 1080, 60.0002, F::Mjpeg},
                                            {1280, 720, 30, F::Mjpeg}};
        QCOMPARE(CaptureMode::find(offered, CaptureMode::fromString("1920x1080@60")), offered[1]);
        QCOMPARE(CaptureMode::find(offered, CaptureMode::fromString("1920x1080@60/yuyv")),
                 offered[0]);
        QVERIFY(CaptureMode::find(offered, CaptureMode::fromString("1920x1080@30")).isNull());
        QCOMPARE(CaptureMode::nearest(offered, {1024, 768, 30}), offered[2]);
        QCOMPARE(CaptureMode::sorted(offered + offered).first(), offered[1]);
        // The dshow input's listing, as its log writes it: the ends of each
        // entry's ranges, in the formats the capture decodes.
        const QByteArray listing =
            "DirectShow video device options (from video devices)\n"
            " Pin \"Capture\" (alternative pin name \"0\")\n"
            "  vcodec=mjpeg  min s=1920x1080 fps=30 max s=1920x1080 fps=60\n"
            "[dshow @ 0000020e8dd59ba0]   pixel_format=yuyv422  min s=640x480 fps=29.97 max "
            "s=640x480 fps=29.97 (tv, bt470bg/bt709/unknown, topleft)\r\n"
            "  pixel_format=bgr24  min s=640x480 fps=30 max s=640x480 fps=30\n"
            "  unknown compression type 0x32595559  min s=640x480 fps=30 max s=640x480 fps=30\n"
            "  pixel_format=nv12  min s=8x8 fps=30 max s=1280x720 fps=1e+07\n"
            "  vcodec=h264  min s=1280x720 fps=30 max s=1280";
        QCOMPARE(DshowOptionListing::modes(listing),
                 (QList<CaptureMode>{{1920, 1080, 60, F::Mjpeg},
                                     {1920, 1080, 30, F::Mjpeg},
                                     {640, 480, 29.97, F::Yuyv},
                                     {1280, 720, 30, F::Nv12}}));
    }

    void captureFromStartToUnplug()
    {
        SimulatedCameraConfig small;
        small.width = 640, small.height = 480;
        auto first = hub.plugCamera(small);
        auto second = hub.plugCamera();
        const std::string name = small.description.toStdString();
        Vorn_FFmpeglib lib;
        QSize last;
        bool onGuiThreadAndAligned = true;
        connect(&lib, &Vorn_FFmpeglib::frameBuffer, this, [&](uint8_t* buffer, int w, int h) {
            onGuiThreadAndAligned = onGuiThreadAndAligned && QThread::currentThread() == thread() &&
                                    reinterpret_cast<quintptr>(buffer) % 4 == 0;
            last = QSize(w, h);
        });
        lib.StopCapture();            // before any start
        QVERIFY(!lib.StartCapture()); // nothing chosen yet
        lib.SetCapture(name, 1);
        QVERIFY(lib.StartCapture());
        QVERIFY(second->isStreaming() && !first->isStreaming());
        // A new choice takes effect at the next start only.
        lib.SetCapture(name, 0);
        lib.SetVideoSize("1280x720");
        QVERIFY(second->isStreaming());
        QVERIFY(lib.StartCapture() && lib.StartCapture()); // again while running
        QVERIFY(first->isStreaming() && !second->isStreaming());
        QTRY_VERIFY_WITH_TIMEOUT(last.isValid(), 10000);
        QCOMPARE(last, QSize(1280, 720)); // scaled to the size asked for
        QVERIFY(onGuiThreadAndAligned);
        // Decoding yields to the window's thread on a busy machine.
        QCOMPARE(niceOfThread("lumora-capture"), niceOfThread({}) + 5);
        // Shown smaller, the preview's pictures come fitted to the label
        // while frameBuffer's and a snapshot's keep the asked size and show
        // the same picture.
        const auto copyInto = [](QImage& into) {
            return [&into](const uint8_t* buffer, int w, int h) {
                into = QImage(buffer, w, h, RgbFrame::strideFor(w), QImage::Format_RGB888).copy();
            };
        };
        QImage previewed;
        QImage snapshot;
        connect(&lib, &Vorn_FFmpeglib::previewBuffer, this, copyInto(previewed));
        lib.SetPreviewSize(400, 300);
        last = QSize();
        QTRY_COMPARE_WITH_TIMEOUT(previewed.size(), QSize(400, 225), 10000);
        QVERIFY(lib.ConvertLastFrame(copyInto(snapshot)));
        QCOMPARE(snapshot.size(), QSize(1280, 720));
        QCOMPARE(last, QSize(1280, 720));
        QVERIFY(pictureDifference(snapshot.scaled(previewed.size()), previewed) < 8);
        lib.StopCapture(); // the kept picture outlives its decoder
        snapshot = QImage();
        QVERIFY(lib.ConvertLastFrame(copyInto(snapshot)) && snapshot.size() == QSize(1280, 720));
        QVERIFY(!lib.CaptureIsOpen() && !first->isStreaming());
        QVERIFY(lib.StartCapture());
        hub.unplug(first->deviceName());
        QTRY_VERIFY_WITH_TIMEOUT(!lib.CaptureIsOpen() && !first->isStreaming(), 10000);
        lib.StopCapture();
        QVERIFY(lib.StartCapture()); // the other one, now the only one
        QVERIFY(second->isStreaming());
        // By device path, a camera that left is never stood in for.
        lib.SetCaptureDevice(first->deviceName().toStdString());
        QVERIFY(!lib.StartCapture() && !second->isStreaming());
    }
};

QTEST_GUILESS_MAIN(tst_Capture)
#include "tst_capture.moc"
