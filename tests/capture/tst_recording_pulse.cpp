// Recording the microphone through a private PulseAudio server: three
// sources that are all named alike, each carrying its own sine tone, so a
// recording shows which one the (name, ordinal) pair chose.

#include "devicecatalog.h"
#include "mp4recorder.h"
#include "pulsemicrophone.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "tst_recording_support.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <thread>

namespace {

const QString kAlikeName = QStringLiteral("USB Camera Mic");
const double kNotes[] = {400.0, 600.0, 800.0};

int pushFor(Mp4Recorder& recorder, double seconds)
{
    SyntheticFrames frames(1280, 720);
    const int64_t begin = nowUs();
    int pushed = 0;
    for (int64_t due = begin; due < begin + int64_t(seconds * 1e6); due += 1000000 / 30) {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::microseconds(due)));
        recorder.pushVideoFrame(frames.next(), nowUs());
        ++pushed;
    }
    return pushed;
}

double risingCrossingRate(const std::vector<int16_t>& interleaved, int channels, int rate)
{
    int rising = 0;
    for (size_t i = size_t(channels); i < interleaved.size(); i += size_t(channels)) {
        if (interleaved[i - size_t(channels)] < 0 && interleaved[i] >= 0) {
            ++rising;
        }
    }
    return rising / (double(interleaved.size() / size_t(channels)) / rate);
}

} // namespace

class TestRecordingPulse : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void sourceDeliversOnTheRecordingClock();
    void ordinalPicksAmongAlikeMicrophones_data();
    void ordinalPicksAmongAlikeMicrophones();
    void systemCatalogNamesThePulseSources();

private:
    bool pactl(const QStringList& arguments);

    QTemporaryDir m_dir;
    QProcess m_server;
    SimulatedDeviceCatalog m_catalog;
};

bool TestRecordingPulse::pactl(const QStringList& arguments)
{
    QProcess p;
    p.start(QStringLiteral("pactl"), arguments);
    return p.waitForFinished(10000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

void TestRecordingPulse::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) {
        QSKIP("pulseaudio is not installed");
    }
    QVERIFY(m_dir.isValid());
    const QString socket = m_dir.filePath(QStringLiteral("pulse.sock"));
    // Set before anything in this process talks to an audio server.
    qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(socket));
    m_server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_server.start(
        QStringLiteral("pulseaudio"),
        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--use-pid-file=no"),
         QStringLiteral("-F"), QStringLiteral("/dev/null"), QStringLiteral("--log-level=error"),
         QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket});
    QVERIFY(m_server.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(pactl({QStringLiteral("info")}), 10000);
    // A tone played into a null sink and its monitor remapped as a source:
    // unlike module-sine-source (fixed 2 s latency) this source delivers in
    // the small blocks a USB microphone does.
    for (int i = 0; i < 3; ++i) {
        const QString sink = QStringLiteral("tone%1").arg(i);
        QVERIFY(pactl({QStringLiteral("load-module"), QStringLiteral("module-null-sink"),
                       QStringLiteral("sink_name=") + sink}));
        QVERIFY(
            pactl({QStringLiteral("load-module"), QStringLiteral("module-sine"),
                   QStringLiteral("sink=") + sink, QStringLiteral("frequency=%1").arg(kNotes[i])}));
        QVERIFY(pactl(
            {QStringLiteral("load-module"), QStringLiteral("module-remap-source"),
             QStringLiteral("master=%1.monitor").arg(sink),
             QStringLiteral("source_name=alike%1").arg(i),
             QStringLiteral("source_properties='device.description=\"%1\"'").arg(kAlikeName)}));
    }
}

void TestRecordingPulse::cleanupTestCase()
{
    DeviceCatalog::setInstance(nullptr);
    SimulatedHub::instance().reset();
    if (m_server.state() != QProcess::NotRunning) {
        m_server.terminate();
        m_server.waitForFinished(5000);
    }
}

void TestRecordingPulse::sourceDeliversOnTheRecordingClock()
{
    PulseMicrophone mic;
    std::string error;
    QVERIFY2(mic.open("alike1", &error), error.c_str());
    QCOMPARE(mic.sampleRate(), 48000);
    QCOMPARE(mic.channels(), 2);
    std::vector<int16_t> block;
    std::vector<int16_t> all;
    int64_t firstUs = 0;
    int64_t previousEndUs = 0;
    int64_t totalFrames = 0;
    while (totalFrames < 48000) {
        QVERIFY(mic.read(block, &firstUs));
        QVERIFY(!block.empty());
        // Stamped on the clock the pictures are stamped with, and never
        // in the future.
        QVERIFY(firstUs <= nowUs());
        QVERIFY(nowUs() - firstUs < 1000000);
        QVERIFY(firstUs >= previousEndUs - 50000);
        previousEndUs = firstUs + int64_t(block.size() / 2) * 1000000 / 48000;
        totalFrames += int64_t(block.size() / 2);
        all.insert(all.end(), block.begin(), block.end());
    }
    QVERIFY2(std::fabs(risingCrossingRate(all, 2, 48000) - kNotes[1]) < 10.0,
             "not the tone of the second source");
    mic.interrupt();
    QVERIFY(!mic.read(block, &firstUs));
}

void TestRecordingPulse::ordinalPicksAmongAlikeMicrophones_data()
{
    QTest::addColumn<int>("ordinal");
    QTest::newRow("first") << 0;
    QTest::newRow("third") << 2;
}

void TestRecordingPulse::ordinalPicksAmongAlikeMicrophones()
{
    QFETCH(int, ordinal);
    // The simulated hub lists the three sources as a camera's microphones
    // would be listed; the sound comes from the PulseAudio server.
    SimulatedHub::instance().reset();
    for (int i = 0; i < 3; ++i) {
        SimulatedHub::instance().addForeignAudioInput(
            AudioInputInfo(kAlikeName, QStringLiteral("alike%1").arg(i)));
    }
    DeviceCatalog::setInstance(&m_catalog);
    const QString path = m_dir.filePath(QStringLiteral("pulse-%1.mp4").arg(ordinal));
    Mp4Recorder recorder;
    QVERIFY2(recorder.start(QFile::encodeName(path).toStdString(), kAlikeName.toStdString(),
                            ordinal, 1280, 720, 30.0),
             recorder.errorText().c_str());
    const int64_t began = nowUs();
    pushFor(recorder, 4.0);
    const double recorded = (nowUs() - began) / 1e6;
    QVERIFY(recorder.stop());
    DeviceCatalog::setInstance(nullptr);

    const FileFacts f = inspectRecording(path);
    QVERIFY2(f.opened, qPrintable(f.error));
    QCOMPARE(f.videoStreams, 1);
    QCOMPARE(f.audioStreams, 1);
    QCOMPARE(f.audio.codec, QStringLiteral("aac"));
    QVERIFY2(qAbs(f.toneHz - kNotes[ordinal]) < 10.0, qPrintable(QString::number(f.toneHz)));
    // A monitor of a null sink needs a moment before its first block; the
    // sound before it is silence in step with the pictures.
    QVERIFY2(f.soundSeconds > 1.0, qPrintable(QString::number(f.soundSeconds)));
    QVERIFY(qAbs(f.video.duration - recorded) < 0.2);
    QVERIFY2(
        qAbs(f.audio.duration - f.video.duration) < 0.1,
        qPrintable(
            QStringLiteral("audio %1 s, video %2 s").arg(f.audio.duration).arg(f.video.duration)));
    QVERIFY(qAbs(f.audio.start - f.video.start) < 0.1);
}

void TestRecordingPulse::systemCatalogNamesThePulseSources()
{
    int alike = 0;
    for (const AudioInputInfo& input : DeviceCatalog::instance().audioInputs()) {
        alike += input.deviceName() == kAlikeName ? 1 : 0;
    }
    if (alike == 0) {
        QSKIP("the system catalog lists no PulseAudio sources in this build");
    }
    QCOMPARE(alike, 3);
    const QString path = m_dir.filePath(QStringLiteral("system-catalog.mp4"));
    Mp4Recorder recorder;
    QVERIFY(recorder.start(QFile::encodeName(path).toStdString(), kAlikeName.toStdString(), 1, 1280,
                           720, 30.0));
    pushFor(recorder, 2.0);
    QVERIFY(recorder.stop());
    const FileFacts f = inspectRecording(path);
    QVERIFY2(qAbs(f.toneHz - kNotes[1]) < 10.0, qPrintable(QString::number(f.toneHz)));
}

QTEST_GUILESS_MAIN(TestRecordingPulse)
#include "tst_recording_pulse.moc"
