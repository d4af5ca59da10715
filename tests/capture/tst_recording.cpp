// Recordings written by the recorder with the simulated camera's
// microphone, checked by reading the files back with libavformat.

#include "mp4recorder.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "simulatedmicrophone.h"
#include "tst_recording_support.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <thread>

namespace {

// Pushes frames in real time, as the capture worker does, for `seconds`.
int pushFor(Mp4Recorder& recorder, double seconds, int fps = 30)
{
    SyntheticFrames frames(1280, 720);
    const int64_t begin = nowUs();
    const int64_t period = 1000000 / fps;
    int pushed = 0;
    for (int64_t due = begin; due < begin + int64_t(seconds * 1e6); due += period) {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::microseconds(due)));
        recorder.pushVideoFrame(frames.next(), nowUs());
        ++pushed;
    }
    return pushed;
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void recordsH264AndAacInStep();
    void recordsPicturesOnlyWithoutMicrophone();
    void refusesWhatCannotBeRecorded_data();
    void refusesWhatCannotBeRecorded();
    void writesToPathsWithAnyCharacters_data();
    void writesToPathsWithAnyCharacters();
    void keepsRecordingWhenTheMicrophoneGoes();
    void stopIsHarmlessWhenIdle();

private:
    QString micName() const { return m_camera->config().microphoneName; }

    SimulatedDeviceCatalog m_catalog;
    std::shared_ptr<SimulatedCamera> m_camera;
    QTemporaryDir m_dir;
};

void TestRecording::initTestCase()
{
    QVERIFY(m_dir.isValid());
    DeviceCatalog::setInstance(&m_catalog);
}

void TestRecording::init()
{
    SimulatedHub::instance().reset();
    m_camera = SimulatedHub::instance().plugCamera();
}

void TestRecording::cleanupTestCase()
{
    DeviceCatalog::setInstance(nullptr);
    SimulatedHub::instance().reset();
}

void TestRecording::recordsH264AndAacInStep()
{
    const QString path = m_dir.filePath(QStringLiteral("take.mp4"));
    Mp4Recorder recorder;
    QVERIFY(recorder.start(QFile::encodeName(path).toStdString(), micName().toStdString(), 0, 1280,
                           720, 30.0));
    QVERIFY(recorder.isRecording());
    const int64_t began = nowUs();
    const int pushed = pushFor(recorder, 4.0);
    // Recorded time: from start to the moment stop is asked for.
    const double recordedSeconds = (nowUs() - began) / 1e6;
    QVERIFY(recorder.stop());
    QVERIFY(!recorder.isRecording());
    QCOMPARE(recorder.droppedFrames(), int64_t(0));
    QCOMPARE(recorder.recordedFrames(), int64_t(pushed));

    const FileFacts f = inspectRecording(path);
    QVERIFY2(f.opened, qPrintable(f.error));
    QCOMPARE(f.videoStreams, 1);
    QCOMPARE(f.audioStreams, 1);
    QCOMPARE(f.video.codec, QStringLiteral("h264"));
    QCOMPARE(f.video.width, 1280);
    QCOMPARE(f.video.height, 720);
    QCOMPARE(f.audio.codec, QStringLiteral("aac"));
    QCOMPARE(f.audio.sampleRate, 48000);
    QCOMPARE(f.videoFramesDecoded, pushed);
    QCOMPARE(f.decodeErrors, 0);
    QVERIFY(f.readToEnd);
    QVERIFY2(qAbs(f.video.duration - recordedSeconds) < 0.2,
             qPrintable(QStringLiteral("video %1 s, recorded %2 s")
                            .arg(f.video.duration)
                            .arg(recordedSeconds)));
    QVERIFY2(
        qAbs(f.audio.duration - f.video.duration) < 0.1,
        qPrintable(
            QStringLiteral("audio %1 s, video %2 s").arg(f.audio.duration).arg(f.video.duration)));
    QVERIFY2(
        qAbs(f.audio.start - f.video.start) < 0.1,
        qPrintable(
            QStringLiteral("audio starts %1 s, video %2 s").arg(f.audio.start).arg(f.video.start)));
    // The sound is the camera's own tone.
    const double note = simulatedToneFrequency(m_camera->deviceName());
    QVERIFY2(qAbs(f.toneHz - note) < 10.0,
             qPrintable(QStringLiteral("%1 Hz, the camera sings %2 Hz").arg(f.toneHz).arg(note)));
    // Sound all the way, but for the AAC encoder's start-up.
    QVERIFY2(f.soundSeconds > f.audio.duration - 0.1, qPrintable(QString::number(f.soundSeconds)));
}

void TestRecording::recordsPicturesOnlyWithoutMicrophone()
{
    const QString path = m_dir.filePath(QStringLiteral("silent.mp4"));
    Mp4Recorder recorder;
    QVERIFY(
        recorder.start(QFile::encodeName(path).toStdString(), std::string(), 0, 1280, 720, 30.0));
    pushFor(recorder, 1.5);
    QVERIFY(recorder.stop());
    const FileFacts f = inspectRecording(path);
    QVERIFY(f.opened);
    QCOMPARE(f.videoStreams, 1);
    QCOMPARE(f.audioStreams, 0);
    QVERIFY(f.video.duration > 1.2);
}

void TestRecording::refusesWhatCannotBeRecorded_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("microphone");
    QTest::addColumn<int>("ordinal");
    QTest::addColumn<int>("width");

    const QString ok = m_dir.filePath(QStringLiteral("refused.mp4"));
    const QString mic = QStringLiteral("Microphone (Lumora Simulated Camera)");
    QTest::newRow("no file name") << QString() << mic << 0 << 1280;
    QTest::newRow("missing folder")
        << m_dir.filePath(QStringLiteral("nowhere/x.mp4")) << mic << 0 << 1280;
    QTest::newRow("unknown microphone") << ok << QStringLiteral("No Such Mic") << 0 << 1280;
    QTest::newRow("ordinal past the last alike microphone") << ok << mic << 1 << 1280;
    QTest::newRow("no picture size") << ok << mic << 0 << 0;
}

void TestRecording::refusesWhatCannotBeRecorded()
{
    QFETCH(QString, path);
    QFETCH(QString, microphone);
    QFETCH(int, ordinal);
    QFETCH(int, width);
    Mp4Recorder recorder;
    QVERIFY(!recorder.start(QFile::encodeName(path).toStdString(), microphone.toStdString(),
                            ordinal, width, 720, 30.0));
    QVERIFY(!recorder.isRecording());
    QVERIFY(!recorder.errorText().empty());
    // A refused start leaves no empty file behind.
    QVERIFY(path.isEmpty() || !QFile::exists(path));
    QVERIFY(!recorder.stop());
}

void TestRecording::writesToPathsWithAnyCharacters_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("chinese") << QStringLiteral("会议录像 2026.mp4");
    QTest::newRow("accented") << QStringLiteral("réunion d'équipe – Jürgen.mp4");
}

void TestRecording::writesToPathsWithAnyCharacters()
{
    QFETCH(QString, name);
    QDir(m_dir.path()).mkdir(QStringLiteral("目录 é"));
    const QString path = m_dir.filePath(QStringLiteral("目录 é/") + name);
    Mp4Recorder recorder;
    QVERIFY(recorder.start(QFile::encodeName(path).toStdString(), micName().toStdString(), 0, 1280,
                           720, 30.0));
    pushFor(recorder, 1.0);
    QVERIFY(recorder.stop());
    QVERIFY(QFile::exists(path));
    const FileFacts f = inspectRecording(path);
    QVERIFY(f.opened);
    QCOMPARE(f.videoStreams, 1);
    QCOMPARE(f.audioStreams, 1);
}

void TestRecording::keepsRecordingWhenTheMicrophoneGoes()
{
    const QString path = m_dir.filePath(QStringLiteral("unplugged-mic.mp4"));
    Mp4Recorder recorder;
    QVERIFY(recorder.start(QFile::encodeName(path).toStdString(), micName().toStdString(), 0, 1280,
                           720, 30.0));
    pushFor(recorder, 1.0);
    m_camera->setPlugged(false);
    pushFor(recorder, 1.0);
    QVERIFY(recorder.stop());
    const FileFacts f = inspectRecording(path);
    QVERIFY(f.opened);
    // The sound is silence from where the microphone went, to the end of
    // the pictures.
    QVERIFY2(
        qAbs(f.audio.duration - f.video.duration) < 0.1,
        qPrintable(
            QStringLiteral("audio %1 s, video %2 s").arg(f.audio.duration).arg(f.video.duration)));
}

void TestRecording::stopIsHarmlessWhenIdle()
{
    Mp4Recorder recorder;
    QVERIFY(!recorder.stop());
    QVERIFY(!recorder.stop());
    SyntheticFrames frames(1280, 720);
    recorder.pushVideoFrame(frames.next(), nowUs());
    QCOMPARE(recorder.recordedFrames(), int64_t(0));
}

QTEST_GUILESS_MAIN(TestRecording)
#include "tst_recording.moc"
