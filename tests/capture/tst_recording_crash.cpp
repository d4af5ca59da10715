// A recording survives the death of its program and a full disk: the
// recorder runs in a child process that is killed, or whose file size is
// limited so that the kernel refuses a write in the middle.

#include "tst_recording_support.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

QString childProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/tst_recording_child");
}

// Reads the child's lines until one equals `line`; false when the child
// ends first.
bool waitForLine(QProcess& child, const QByteArray& line, QByteArray* log)
{
    for (;;) {
        while (child.canReadLine()) {
            const QByteArray got = child.readLine().trimmed();
            log->append(got + '\n');
            if (got == line) {
                return true;
            }
        }
        if (child.state() == QProcess::NotRunning) {
            return false;
        }
        child.waitForReadyRead(1000);
    }
}

} // namespace

class TestRecordingCrash : public QObject
{
    Q_OBJECT

private slots:
    void killedRecordingPlaysUpToTheEnd();
    void writeErrorEndsTheRecordingPlayably();

private:
    QTemporaryDir m_dir;
};

void TestRecordingCrash::killedRecordingPlaysUpToTheEnd()
{
    const QString path = m_dir.filePath(QStringLiteral("killed.mp4"));
    QProcess child;
    child.start(childProgram(), {path, QStringLiteral("600")});
    QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
    QByteArray log;
    const int secondsBeforeKill = 5;
    QVERIFY2(waitForLine(child, "pushed " + QByteArray::number(secondsBeforeKill), &log),
             log.constData());
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    const FileFacts f = inspectRecording(path);
    QVERIFY2(f.opened, qPrintable(f.error));
    QCOMPARE(f.videoStreams, 1);
    QCOMPARE(f.audioStreams, 1);
    QCOMPARE(f.decodeErrors, 0);
    QVERIFY(f.readToEnd);
    // At most the last two seconds are lost.
    QVERIFY2(f.video.duration >= secondsBeforeKill - 2.0,
             qPrintable(QStringLiteral("%1 s of pictures").arg(f.video.duration)));
    QVERIFY2(f.audio.duration >= secondsBeforeKill - 2.0,
             qPrintable(QStringLiteral("%1 s of sound").arg(f.audio.duration)));
    QVERIFY(f.videoFramesDecoded >= (secondsBeforeKill - 2) * 30);
}

void TestRecordingCrash::writeErrorEndsTheRecordingPlayably()
{
    const QString path = m_dir.filePath(QStringLiteral("full-disk.mp4"));
    const qint64 limit = 3 * 1024 * 1024;
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(childProgram(), {path, QStringLiteral("60"), QString::number(limit)});
    QVERIFY(child.waitForStarted());
    QVERIFY(child.waitForFinished(120000));
    const QByteArray log = child.readAll();
    // Ended by the write error, reported, and not claimed as complete.
    QCOMPARE(child.exitStatus(), QProcess::NormalExit);
    QVERIFY2(child.exitCode() == 3, log.constData());
    QVERIFY2(log.contains("failed cannot write to the file"), log.constData());
    QVERIFY2(!log.contains("pushed 60"), "the limit was never reached");

    QVERIFY(QFileInfo(path).size() <= limit);
    const FileFacts f = inspectRecording(path);
    QVERIFY2(f.opened, qPrintable(f.error));
    QCOMPARE(f.videoStreams, 1);
    QCOMPARE(f.decodeErrors, 0);
    // The torn last fragment was cut off: the file reads cleanly to its end.
    QVERIFY(f.readToEnd);
    QVERIFY2(f.video.duration >= 1.0, qPrintable(QString::number(f.video.duration)));
}

QTEST_GUILESS_MAIN(TestRecordingCrash)
#include "tst_recording_crash.moc"
