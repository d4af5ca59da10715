#include "capturesession.h"
#include "simulatedcamera.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "vorn_ffmpeglib.h"

#include <QDir>
#include <QImage>
#include <QtTest>

#include <memory>

namespace {

int threadCount()
{
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

// What the main window does with every frame: checks the thread, copies.
struct FrameSink : QObject
{
    QList<QThread*> threads;
    QImage last;
    int count = 0;
    bool aligned = true;

    void attach(Vorn_FFmpeglib& lib)
    {
        connect(
            &lib, &Vorn_FFmpeglib::frameBuffer, this,
            [this](uint8_t* buffer, int w, int h) {
                threads.append(QThread::currentThread());
                aligned = aligned && (reinterpret_cast<quintptr>(buffer) % 4 == 0);
                last = QImage(buffer, w, h, QImage::Format_RGB888).copy();
                ++count;
            },
            Qt::DirectConnection);
    }
};

} // namespace

// The capture library against simulated cameras, from StartCapture to
// frameBuffer on the GUI thread.
class tst_CaptureSimulated : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;

private slots:
    void initTestCase() { DeviceCatalog::setInstance(&catalog); }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }

    void deliversLiveFramesOnTheGuiThread()
    {
        auto camera = hub.plugCamera();
        Vorn_FFmpeglib lib;
        FrameSink sink;
        sink.attach(lib);
        lib.SetVideoSize("1280x720");
        lib.SetCapture(camera->config().description.toStdString(), 0);
        QVERIFY(lib.StartCapture());
        QVERIFY(lib.CaptureIsOpen());
        QVERIFY(camera->isStreaming());

        QTRY_VERIFY_WITH_TIMEOUT(sink.count > 0, 5000);
        QCOMPARE(sink.last.size(), QSize(1280, 720));
        const QImage first = sink.last;
        // The clock and the marker move: a later frame differs.
        QTRY_VERIFY_WITH_TIMEOUT(sink.count > 10 && sink.last != first, 10000);
        QVERIFY(sink.aligned);
        for (QThread* t : sink.threads) {
            QCOMPARE(t, QThread::currentThread());
        }

        lib.StopCapture();
        QVERIFY(!lib.CaptureIsOpen());
        QVERIFY(!camera->isStreaming());
        const int after = sink.count;
        QTest::qWait(300);
        QCOMPARE(sink.count, after);
    }

    void requestedSizeIsDelivered()
    {
        SimulatedCameraConfig config;
        config.width = 640;
        config.height = 480;
        auto camera = hub.plugCamera(config);
        Vorn_FFmpeglib lib;
        FrameSink sink;
        sink.attach(lib);
        lib.SetVideoSize("1280x720");
        lib.SetCapture(config.description.toStdString(), 0);
        QVERIFY(lib.StartCapture());
        QTRY_VERIFY_WITH_TIMEOUT(sink.count > 0, 5000);
        QCOMPARE(sink.last.size(), QSize(1280, 720));
    }

    void cameraInUseDoesNotOpen()
    {
        auto camera = hub.plugCamera();
        camera->setInUseByOtherProgram(true);
        const int before = threadCount();
        Vorn_FFmpeglib lib;
        lib.SetCapture(camera->config().description.toStdString(), 0);
        QVERIFY(!lib.StartCapture());
        QVERIFY(!lib.CaptureIsOpen());
        QCOMPARE(threadCount(), before);
        // Freed: the next start opens.
        camera->setInUseByOtherProgram(false);
        QVERIFY(lib.StartCapture());
        QVERIFY(lib.CaptureIsOpen());
    }

    void unknownCameraDoesNotOpen()
    {
        hub.plugCamera();
        Vorn_FFmpeglib lib;
        QVERIFY(!lib.StartCapture()); // nothing chosen yet
        lib.SetCapture("No Such Camera", 0);
        QVERIFY(!lib.StartCapture());
        lib.SetCapture("Lumora Simulated Camera", 1); // only one of them
        QVERIFY(!lib.StartCapture());
        QVERIFY(!lib.CaptureIsOpen());
    }

    void unplugEndsTheCaptureCleanly()
    {
        auto camera = hub.plugCamera();
        const int before = threadCount();
        Vorn_FFmpeglib lib;
        FrameSink sink;
        sink.attach(lib);
        lib.SetCapture(camera->config().description.toStdString(), 0);
        QVERIFY(lib.StartCapture());
        QTRY_VERIFY_WITH_TIMEOUT(sink.count > 2, 5000);
        QVERIFY(threadCount() > before);

        hub.unplug(camera->deviceName());
        QTRY_VERIFY_WITH_TIMEOUT(!lib.CaptureIsOpen(), 5000);
        // The worker has ended by itself and given the camera back.
        QTRY_COMPARE_WITH_TIMEOUT(threadCount(), before, 5000);
        QVERIFY(!camera->isStreaming());
        QCoreApplication::processEvents();
        const int after = sink.count;
        QTest::qWait(300);
        QCOMPARE(sink.count, after);
        // Stopping what already ended, and starting an unplugged camera.
        lib.StopCapture();
        QVERIFY(!lib.StartCapture());
    }

    void stopIsHarmlessAtAnyTime()
    {
        auto camera = hub.plugCamera();
        {
            Vorn_FFmpeglib lib;
            lib.StopCapture(); // before any start
            lib.StopCapture();
            QVERIFY(!lib.CaptureIsOpen());
        }
        {
            Vorn_FFmpeglib lib;
            lib.SetCapture(camera->config().description.toStdString(), 0);
            QVERIFY(lib.StartCapture());
            lib.StopCapture();
            lib.StopCapture();
            QVERIFY(!camera->isStreaming());
            // Restarting, and starting again while running.
            QVERIFY(lib.StartCapture());
            QVERIFY(lib.StartCapture());
            QVERIFY(lib.CaptureIsOpen());
        } // destroyed while capturing
        QVERIFY(!camera->isStreaming());
    }

    void ordinalPicksAmongIdenticalCameras()
    {
        auto first = hub.plugCamera();
        auto second = hub.plugCamera();
        QCOMPARE(first->config().description, second->config().description);
        second->modifyState([](SimulatedCameraState& s) { s.redShift = 10; });
        Vorn_FFmpeglib lib;
        FrameSink sink;
        sink.attach(lib);
        lib.SetCapture(first->config().description.toStdString(), 1);
        QVERIFY(lib.StartCapture());
        QVERIFY(second->isStreaming());
        QVERIFY(!first->isStreaming());
        QTRY_VERIFY_WITH_TIMEOUT(sink.count > 0, 5000);

        lib.SetCapture(first->config().description.toStdString(), 0);
        // Takes effect at the next start only.
        QVERIFY(second->isStreaming());
        QVERIFY(lib.StartCapture());
        QVERIFY(first->isStreaming());
        QVERIFY(!second->isStreaming());
    }

    void slowGuiGetsOnlyTheNewestFrame()
    {
        auto camera = hub.plugCamera();
        Vorn_FFmpeglib lib;
        FrameSink sink;
        sink.attach(lib);
        lib.SetCapture(camera->config().description.toStdString(), 0);
        QVERIFY(lib.StartCapture());
        QTRY_VERIFY_WITH_TIMEOUT(sink.count > 0, 5000);
        // The GUI thread is busy for a while; about 15 frames are captured.
        const int before = sink.count;
        QThread::msleep(500);
        // One pass of the event loop: the one queued delivery, plus at most
        // one for a frame that happened to arrive during that pass. A
        // queue per frame would deliver all of them.
        QCoreApplication::processEvents();
        QVERIFY2(sink.count - before <= 2, qPrintable(QString::number(sink.count - before)));
        QVERIFY(sink.count - before >= 1);
    }

    void recorderSideReadsTheFrameFormat()
    {
        SimulatedCameraConfig config;
        config.width = 800;
        config.height = 600;
        config.fps = 25;
        auto camera = hub.plugCamera(config);
        QObject context;
        std::shared_ptr<Mp4Recorder> noRecorder;
        CaptureSession session(
            &context, [](uint8_t*, int, int) {}, &noRecorder);
        QCOMPARE(session.frameWidth(), 0);
        QVERIFY(session.start(config.description.toStdString(), 0, 1280, 720));
        QCOMPARE(session.frameWidth(), 800);
        QCOMPARE(session.frameHeight(), 600);
        QCOMPARE(session.frameRate(), 25.0);
        session.stop();
        QCOMPARE(session.frameWidth(), 0);
        QVERIFY(!session.isWorkerRunning());
    }
};

QTEST_GUILESS_MAIN(tst_CaptureSimulated)
#include "tst_capturesimulated.moc"
