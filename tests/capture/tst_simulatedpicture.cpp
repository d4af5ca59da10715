#include "framedecoder.h"
#include "rgbconverter.h"
#include "rgbframe.h"
#include "simulatedcamera.h"
#include "simulatedvideostream.h"

#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>

namespace {

struct Mean
{
    double r = 0, g = 0, b = 0;
};

// The camera's picture as the capture library sees it: MJPEG from the
// simulated stream, decoded and converted to RGB.
class PictureProbe
{
public:
    PictureProbe()
        : camera(std::make_shared<SimulatedCamera>("sim:test", SimulatedCameraConfig{})),
          stream(camera), packet(av_packet_alloc())
    {
        AVCodecParameters* p = avcodec_parameters_alloc();
        p->codec_type = AVMEDIA_TYPE_VIDEO;
        p->codec_id = AV_CODEC_ID_MJPEG;
        p->width = stream.width();
        p->height = stream.height();
        decoder.open(p);
        avcodec_parameters_free(&p);
    }
    ~PictureProbe() { av_packet_free(&packet); }

    const RgbFrame& shot(const SimulatedCameraState& state, int msecs = 0, double t = 0)
    {
        rgb = RgbFrame();
        if (stream.encode(state, msecs, t, packet)) {
            if (const AVFrame* f = decoder.decode(packet)) {
                converter.convert(f, f->width, f->height, rgb);
            }
        }
        return rgb;
    }

    std::shared_ptr<SimulatedCamera> camera;
    SimulatedVideoStream stream;
    AVPacket* packet;
    FrameDecoder decoder;
    RgbConverter converter;
    RgbFrame rgb;
};

Mean meanOf(const RgbFrame& f, const QRect& r)
{
    Mean m;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const uint8_t* row = f.data() + y * f.stride();
        for (int x = r.left(); x <= r.right(); ++x) {
            m.r += row[3 * x];
            m.g += row[3 * x + 1];
            m.b += row[3 * x + 2];
        }
    }
    const double n = double(r.width()) * r.height();
    return {m.r / n, m.g / n, m.b / n};
}

// Mean difference between a picture and another one mirrored.
double mirroredDifference(const RgbFrame& a, const RgbFrame& b, bool horizontal, const QRect& r)
{
    double sum = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const int by = horizontal ? y : b.height() - 1 - y;
        for (int x = r.left(); x <= r.right(); ++x) {
            const int bx = horizontal ? b.width() - 1 - x : x;
            for (int c = 0; c < 3; ++c) {
                sum += std::abs(a.data()[y * a.stride() + 3 * x + c] -
                                b.data()[by * b.stride() + 3 * bx + c]);
            }
        }
    }
    return sum / (3.0 * r.width() * r.height());
}

double difference(const RgbFrame& a, const RgbFrame& b, const QRect& r)
{
    const Mean ma = meanOf(a, r), mb = meanOf(b, r);
    return std::abs(ma.r - mb.r) + std::abs(ma.g - mb.g) + std::abs(ma.b - mb.b);
}

// Away from the clock (top left) and the marker (bottom edge).
const QRect kMiddle(0, 150, 1280, 400);

} // namespace

class tst_SimulatedPicture : public QObject
{
    Q_OBJECT

private slots:
    void pictureIsAScene()
    {
        PictureProbe probe;
        const RgbFrame& f = probe.shot({});
        QCOMPARE(f.width(), 1280);
        QCOMPARE(f.height(), 720);
        // Not a flat test card: regions differ from one another.
        const Mean left = meanOf(f, QRect(100, 300, 100, 100));
        const Mean right = meanOf(f, QRect(1000, 300, 100, 100));
        QVERIFY(std::abs(left.r - right.r) + std::abs(left.b - right.b) > 20);
    }

    void flipsMirrorThePicture()
    {
        PictureProbe probe;
        SimulatedCameraState plain, h, v;
        h.horizontalFlip = true;
        v.verticalFlip = true;
        RgbFrame a;
        a.swap(const_cast<RgbFrame&>(probe.shot(plain)));
        RgbFrame fh;
        fh.swap(const_cast<RgbFrame&>(probe.shot(h)));
        const RgbFrame& fv = probe.shot(v);
        QVERIFY2(mirroredDifference(a, fh, true, kMiddle) < 6,
                 qPrintable(QString::number(mirroredDifference(a, fh, true, kMiddle))));
        QVERIFY(mirroredDifference(a, a, true, kMiddle) > 15);
        QVERIFY2(mirroredDifference(a, fv, false, QRect(0, 250, 1280, 200)) < 6,
                 qPrintable(
                     QString::number(mirroredDifference(a, fv, false, QRect(0, 250, 1280, 200)))));
    }

    void toneControlsShowInTheColours()
    {
        PictureProbe probe;
        const QRect area(200, 200, 880, 300);
        const Mean plain = meanOf(probe.shot({}), area);

        SimulatedCameraState red;
        red.redShift = 10;
        const Mean reddened = meanOf(probe.shot(red), area);
        QVERIFY(reddened.r > plain.r + 30);
        QVERIFY(reddened.g < plain.g);

        SimulatedCameraState blue;
        blue.blueShift = 10;
        const Mean bluer = meanOf(probe.shot(blue), area);
        QVERIFY(bluer.b > plain.b + 30);

        SimulatedCameraState dark;
        dark.autoExposure = false;
        dark.exposure = -7;
        const Mean darker = meanOf(probe.shot(dark), area);
        QVERIFY(darker.g < plain.g - 40);
        // Automatic exposure ignores the manual value.
        dark.autoExposure = true;
        QVERIFY(std::abs(meanOf(probe.shot(dark), area).g - plain.g) < 2);
    }

    void contrastAndStyleChangeTheSpread()
    {
        PictureProbe probe;
        auto spread = [&](const SimulatedCameraState& s) {
            const RgbFrame& f = probe.shot(s);
            const Mean bright = meanOf(f, QRect(500, 180, 40, 40)); // whiteboard
            const Mean dark = meanOf(f, QRect(600, 590, 40, 20));   // under the table
            return bright.g - dark.g;
        };
        SimulatedCameraState flat;
        flat.contrast = 10;
        SimulatedCameraState normal;
        QVERIFY(spread(flat) < spread(normal) - 40);

        auto saturation = [&](const SimulatedCameraState& s) {
            const Mean m = meanOf(probe.shot(s), QRect(0, 150, 1280, 450));
            return std::abs(m.r - m.g) + std::abs(m.b - m.g);
        };
        SimulatedCameraState live;
        live.imageStyle = 5;
        QVERIFY(saturation(live) > saturation(normal));
    }

    void panTiltZoomMoveTheView()
    {
        PictureProbe probe;
        RgbFrame centre;
        centre.swap(const_cast<RgbFrame&>(probe.shot({})));
        for (auto change : {+[](SimulatedCameraState& s) { s.pan = 120; },
                            +[](SimulatedCameraState& s) { s.tilt = 60; },
                            +[](SimulatedCameraState& s) { s.zoom = 80; }}) {
            SimulatedCameraState moved;
            change(moved);
            QVERIFY(difference(centre, probe.shot(moved), QRect(300, 200, 300, 300)) > 10);
        }
        // Relative speed moves the camera as frames are rendered.
        probe.camera->modifyState([](SimulatedCameraState& s) { s.panSpeed = 5; });
        for (int i = 0; i < 30; ++i) {
            probe.camera->advanceMotion(1.0 / 30);
        }
        QVERIFY(probe.camera->state().pan > 0);
    }

    void clockAndMarkerMakeItLive()
    {
        PictureProbe probe;
        RgbFrame a;
        a.swap(const_cast<RgbFrame&>(probe.shot({}, 10 * 3600 * 1000, 0.0)));
        const RgbFrame& b = probe.shot({}, 10 * 3600 * 1000 + 1300, 1.3);
        QVERIFY(difference(a, b, QRect(0, 0, 300, 80)) > 1);    // clock
        QVERIFY(difference(a, b, QRect(0, 640, 1280, 80)) > 1); // marker
        QVERIFY(difference(a, b, kMiddle) < 1);                 // the room stays
    }

    void streamIsExclusiveAndEndsOnUnplug()
    {
        auto camera = std::make_shared<SimulatedCamera>("sim:x", SimulatedCameraConfig{});
        SimulatedVideoStream one(camera), two(camera);
        QVERIFY(one.open());
        QVERIFY(!two.open());
        AVPacket* packet = av_packet_alloc();
        QCOMPARE(one.read(packet), SimulatedVideoStream::ReadResult::Frame);
        QVERIFY(packet->size > 1000);
        camera->setPlugged(false);
        QCOMPARE(one.read(packet), SimulatedVideoStream::ReadResult::Ended);
        one.close();
        QVERIFY(!camera->isStreaming());
        av_packet_free(&packet);

        auto busy = std::make_shared<SimulatedCamera>("sim:y", SimulatedCameraConfig{});
        busy->setInUseByOtherProgram(true);
        SimulatedVideoStream three(busy);
        QVERIFY(!three.open());
    }
};

QTEST_GUILESS_MAIN(tst_SimulatedPicture)
#include "tst_simulatedpicture.moc"
