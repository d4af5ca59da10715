#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "tst_recording_support.h"
#include "vorn_ffmpeglib.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

// Start and stop of a recording let events through yet return the outcome.
class TestRecordingLive : public QObject
{
    Q_OBJECT

private slots:
    void eventsFlowWhileTheFileIsOpenedAndCompleted()
    {
        SimulatedDeviceCatalog catalog;
        DeviceCatalog::setInstance(&catalog);
        auto camera = SimulatedHub::instance().plugCamera();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("live.mp4"));
        {
            Vorn_FFmpeglib lib;
            lib.SetCapture(camera->config().description.toStdString(), 0);
            QVERIFY(lib.StartCapture());
            lib.SetRecordFileName(QFile::encodeName(path).toStdString());
            lib.SetCaptureMicrophone(std::string(), 0);

            // Posted before the call, run only if the call lets events through.
            bool ranDuringStart = false;
            QMetaObject::invokeMethod(
                &lib, [&] { ranDuringStart = true; }, Qt::QueuedConnection);
            QVERIFY(lib.StartRecord());
            QVERIFY(ranDuringStart);

            QSignalSpy frames(&lib, &Vorn_FFmpeglib::frameBuffer);
            while (frames.count() < 30 && frames.wait(5000)) {
            }
            QVERIFY(frames.count() >= 30);

            bool ranDuringStop = false;
            QMetaObject::invokeMethod(
                &lib, [&] { ranDuringStop = true; }, Qt::QueuedConnection);
            QVERIFY(lib.StopRecord());
            QVERIFY(ranDuringStop);
        }
        const FileFacts f = inspectRecording(path);
        QVERIFY2(f.opened, qPrintable(f.error));
        QVERIFY(f.readToEnd && f.decodeErrors == 0);
        QVERIFY(f.videoFramesDecoded > 0);
        DeviceCatalog::setInstance(nullptr);
        SimulatedHub::instance().reset();
    }
};

QTEST_GUILESS_MAIN(TestRecordingLive)
#include "tst_recordinglive.moc"
