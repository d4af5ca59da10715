// Recordings read back with libavformat; a recorder in a child process (this
// program with --record) is killed or meets a full disk.

#include "mp4recorder.h"
#include "privatepulseserver.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "simulatedmicrophone.h"
#include "tst_recording_support.h"
#include "vorn_ffmpeglib.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <sys/resource.h>
#include <tuple>

namespace {

const QString kPulseName = QStringLiteral("USB Camera Mic");

QByteArray describe(const FileFacts& f)
{
    return QString::asprintf("video %g s, audio %g s, sound ends at %g s, %g Hz, ",
                             f.video.duration, f.audio.duration, f.soundEnd, f.toneHz)
               .toUtf8() +
           f.error.toUtf8();
}

// The child: records the simulated camera for `seconds`, with writes past
// `limit` bytes (0: none) refused as a full disk refuses them. Exit codes: 3
// ended by a write error and not claimed as complete, 2 not started, else 0.
int recordInChild(const char* path, double seconds, rlim_t limit)
{
    if (limit) {
        std::signal(SIGXFSZ, SIG_IGN); // EFBIG instead of death past the limit
        const rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
    }
    SimulatedDeviceCatalog catalog;
    DeviceCatalog::setInstance(&catalog);
    auto camera = SimulatedHub::instance().plugCamera();
    std::atomic<bool> failed{false};
    Mp4Recorder recorder;
    recorder.setFailureHandler([&failed](const std::string&) { failed.store(true); });
    if (!recorder.start(path, camera->config().microphoneName.toStdString(), 0, 1280, 720, 30)) {
        return 2;
    }
    pushFrames(seconds, [&](const AVFrame* frame, int64_t us) {
        recorder.pushVideoFrame(frame, us);
        return !failed.load();
    });
    const bool completed = recorder.stop();
    DeviceCatalog::setInstance(nullptr);
    return failed.load() && !completed ? 3 : 0;
}

} // namespace

class tst_Recording : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    PrivatePulseServer m_pulse;
    QString m_pulseError;
    SimulatedDeviceCatalog m_catalog;
    std::shared_ptr<SimulatedCamera> m_camera;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        DeviceCatalog::setInstance(&m_catalog);
        QVERIFY2(m_pulse.start(&m_pulseError), qPrintable(m_pulseError));
        // A tone played into a null sink whose monitor is remapped as a
        // source: unlike module-sine-source (fixed 2 s latency) it delivers
        // in the small blocks a USB microphone does.
        QVERIFY(m_pulse.loadModule("module-null-sink", {"sink_name=tone"}) >= 0);
        QVERIFY(m_pulse.loadModule("module-sine", {"sink=tone", "frequency=600"}) >= 0);
        QVERIFY(m_pulse.loadModule(
                    "module-remap-source",
                    {"master=tone.monitor", "source_name=mic",
                     "source_properties='device.description=\"" + kPulseName + "\"'"}) >= 0);
    }

    void init()
    {
        SimulatedHub::instance().reset();
        m_camera = SimulatedHub::instance().plugCamera();
    }

    void cleanupTestCase()
    {
        DeviceCatalog::setInstance(nullptr);
        SimulatedHub::instance().reset();
        m_pulse.stop();
    }

    void soundAndPicturesOfTheSameInstantMeet_data()
    {
        QTest::addColumn<bool>("camera");
        QTest::newRow("the camera's microphone, unplugged") << true;
        QTest::newRow("a PulseAudio source") << false;
    }

    // The camera's first picture comes late, as a real one's does.
    // Unplugging takes the microphone too: silence from that picture on.
    void soundAndPicturesOfTheSameInstantMeet()
    {
        QFETCH(bool, camera);
        if (!camera) {
            SimulatedHub::instance().reset();
            SimulatedHub::instance().addForeignAudioInput(AudioInputInfo(kPulseName, "mic"));
        }
        const QString path = m_dir.filePath(camera ? "take.mp4" : "pulse.mp4");
        const QString mic = camera ? m_camera->config().microphoneName : kPulseName;
        const int kLatePictures = 9;
        Mp4Recorder recorder;
        QVERIFY2(recorder.start(QFile::encodeName(path).toStdString(), mic.toStdString(), 0, 1280,
                                720, 30.0),
                 recorder.errorText().c_str());
        int n = 0;
        int64_t unpluggedUs = -1, lastUs = -1;
        const int pushed = pushFrames(3.0, [&](const AVFrame* frame, int64_t us) {
            if (++n <= kLatePictures) {
                return true;
            }
            if (n == 60 && camera) {
                m_camera->setPlugged(false);
                unpluggedUs = us;
            }
            const int64_t dropped = recorder.droppedFrames();
            recorder.pushVideoFrame(frame, us);
            lastUs = recorder.droppedFrames() == dropped ? us : lastUs;
            return true;
        });
        QVERIFY(recorder.stop() && !recorder.isRecording());
        const FileFacts f = inspectRecording(path);
        // It plays to its end, holds every frame the recorder took, and its
        // sound lasts as long as its pictures.
        QVERIFY2(f.opened && f.readToEnd && f.decodeErrors == 0, describe(f));
        QCOMPARE(f.video.codec + f.audio.codec, QStringLiteral("h264aac"));
        QCOMPARE(f.audio.sampleRate, 48000);
        QCOMPARE(recorder.recordedFrames() + recorder.droppedFrames(),
                 int64_t(pushed - kLatePictures));
        QCOMPARE(int64_t(f.videoFramesDecoded), recorder.recordedFrames());
        QVERIFY2(qAbs(f.audio.duration - f.video.duration) < 0.3, describe(f));
        const double tone = camera ? simulatedToneFrequency(m_camera->deviceName()) : 600.0;
        QVERIFY2(qAbs(f.toneHz - tone) < 10.0 && f.soundSeconds > 0.5, describe(f));
        // The last picture kept its capture time: from it the unplugging is
        // placed in the file; a source left plugged sounds to the end. The
        // sound may end early (a late microphone thread loses unread
        // blocks), never after the unplugging.
        const double unplugged =
            camera ? f.video.last + (unpluggedUs - lastUs) / 1e6 : f.audio.start + f.audio.duration;
        const QByteArray facts = describe(f) + ", unplugged at " + QByteArray::number(unplugged);
        QVERIFY2(f.soundEnd <= unplugged + 0.1 && f.soundEnd >= unplugged - 0.6, facts);
        // No gaps before; a PulseAudio source may begin late.
        QVERIFY2(!camera || f.soundSeconds > f.soundEnd - f.audio.start - 0.2, facts);
    }

    void refusesWhatCannotBeRecorded()
    {
        const std::string mic = m_camera->config().microphoneName.toStdString();
        const QString ok = m_dir.filePath("refused.mp4");
        // A missing folder, a microphone past the one alike, no picture size;
        // no empty file is left behind, and there is nothing to stop.
        for (const auto& [path, ordinal, width] :
             {std::make_tuple(m_dir.filePath("no/x.mp4"), 0, 1280), std::make_tuple(ok, 1, 1280),
              std::make_tuple(ok, 0, 0)}) {
            Mp4Recorder recorder;
            QVERIFY(!recorder.start(QFile::encodeName(path).toStdString(), mic, ordinal, width, 720,
                                    30));
            QVERIFY(!recorder.isRecording() && !recorder.errorText().empty());
            QVERIFY(!QFile::exists(path) && !recorder.stop());
        }
    }

    void interruptedRecordingPlaysWhatWasWritten_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::newRow("killed") << qint64(0);
        QTest::newRow("full disk") << qint64(3 * 1024 * 1024);
    }

    // Killed, or ended by a write error: the torn last fragment is cut off,
    // and the file reads cleanly to its end.
    void interruptedRecordingPlaysWhatWasWritten()
    {
        QFETCH(qint64, limit);
        const QString path = m_dir.filePath(QTest::currentDataTag() + QStringLiteral(".mp4"));
        QProcess recorder;
        recorder.setProcessChannelMode(QProcess::MergedChannels);
        recorder.start(QCoreApplication::applicationFilePath(),
                       {"--record", path, limit ? "60" : "600", QString::number(limit)});
        double readable = 1.0;
        if (limit) {
            QVERIFY(recorder.waitForFinished(180000));
            QVERIFY2(recorder.exitStatus() == QProcess::NormalExit && recorder.exitCode() == 3,
                     recorder.readAll().constData());
            QVERIFY(QFileInfo(path).size() <= limit);
        } else {
            QTRY_VERIFY_WITH_TIMEOUT((readable = inspectRecording(path).video.duration) >= 1.0,
                                     60000);
            ::kill(pid_t(recorder.processId()), SIGKILL);
            QVERIFY(recorder.waitForFinished());
            QCOMPARE(recorder.exitStatus(), QProcess::CrashExit);
        }
        const FileFacts f = inspectRecording(path);
        QVERIFY2(f.opened && f.readToEnd && f.decodeErrors == 0, describe(f));
        QCOMPARE(f.videoStreams + f.audioStreams, 2);
        QVERIFY2(f.video.duration >= readable && f.audio.duration > 0.5, describe(f));
    }
};

int main(int argc, char** argv)
{
    if (argc > 4 && qstrcmp(argv[1], "--record") == 0) {
        return recordInChild(argv[2], std::atof(argv[3]), std::strtoull(argv[4], nullptr, 10));
    }
    QCoreApplication app(argc, argv);
    tst_Recording test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_recording.moc"
