// The frame-sharing object writing the segment "shareFrame", read back by a
// separate process with the same key and lock.
#include "logcapture.h"
#include "sharedframelock.h"
#include "sharedframeprobe.h"
#include "vorn_sharedmemory.h"

#include <QImage>
#include <QProcess>
#include <QSystemSemaphore>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A camera-sized picture whose every row and column differ, in a buffer laid
// out as the capture library delivers it (rows on multiples of 4 bytes).
QImage cameraFrame(int width, int height, int seed = 0)
{
    QImage frame(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y) {
        uchar* row = frame.scanLine(y);
        for (int x = 0; x < width; ++x) {
            row[x * 3] = uchar(x * 7 + y + seed);
            row[x * 3 + 1] = uchar(y * 3 + seed);
            row[x * 3 + 2] = uchar((x ^ y) + seed);
        }
    }
    return frame;
}

void deliver(Vorn_SharedMemory& shared, QImage& frame)
{
    QCOMPARE(frame.bytesPerLine(), (frame.width() * 3 + 3) & ~3);
    shared.ImageFrame(frame.bits(), frame.width(), frame.height());
}

// The record's pixels as they must be: scaled by Qt's own nearest-pixel
// scaling, last row first.
QByteArray expectedPixels(const QImage& frame)
{
    const QImage scaled = frame.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QByteArray pixels;
    for (int y = 479; y >= 0; --y) {
        pixels.append(reinterpret_cast<const char*>(scaled.constScanLine(y)), 640 * 3);
    }
    return pixels;
}

QByteArray scaledRow(const QImage& frame, int y)
{
    const QImage scaled = frame.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    return QByteArray(reinterpret_cast<const char*>(scaled.constScanLine(y)), 640 * 3);
}

// Publishes pictures of one grey level each while a reader in another
// process reads records as fast as it can; gives the reader's account.
QByteArray hammer(Vorn_SharedMemory& shared, int reads)
{
    QProcess reader;
    reader.start(QCoreApplication::applicationDirPath() + "/sharedframe_reader",
                 {"watch", QString::number(reads)});
    if (!reader.waitForStarted()) {
        return "not started";
    }
    QImage frame(1280, 720, QImage::Format_RGB888);
    for (int i = 0; i < 20000 && reader.state() != QProcess::NotRunning; ++i) {
        const int grey = i % 200 + 20;
        frame.fill(QColor::fromRgb(grey, grey, grey));
        deliver(shared, frame);
        if (i % 8 == 0) {
            reader.waitForFinished(1);
        }
    }
    if (reader.state() != QProcess::NotRunning && !reader.waitForFinished(60000)) {
        return "still reading";
    }
    return reader.readAllStandardOutput().trimmed();
}

} // namespace

class tst_SharedMemory : public QObject
{
    Q_OBJECT

private:
    // The keys of "shareFrame" live in the temporary folder: a private one
    // keeps this suite apart from a running Lumora and from other suites.
    QTemporaryDir keyFolder;

private slots:
    void initTestCase()
    {
        QVERIFY(keyFolder.isValid());
        qputenv("TMPDIR", keyFolder.path().toLocal8Bit());
        QVERIFY(SharedFrameProbe::absent());
    }

    void recordAsTheVirtualCameraReadsIt()
    {
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = cameraFrame(1280, 720);
        LogCapture log;
        deliver(shared, frame);
        QCOMPARE(log.count("m_sharedMem len=2"), 1);

        const SharedRecord record = SharedFrameProbe::read();
        QVERIFY(record.present);
        QCOMPARE(record.width, 640);
        QCOMPARE(record.height, 480);
        QCOMPARE(record.size, 921612);
#ifdef Q_OS_WIN
        // Windows maps whole pages.
        QVERIFY(record.segmentBytes >= 921612 && record.segmentBytes < 921612 + 65536);
#else
        QCOMPARE(record.segmentBytes, 921612);
#endif
        QCOMPARE(record.pixels.left(1920), scaledRow(frame, 479));
        QCOMPARE(record.pixels.mid(1920 * 479), scaledRow(frame, 0));
        QVERIFY(record.pixels == expectedPixels(frame));
    }

    void framesWithPaddedRows()
    {
        // 641 pixels make 1923 bytes, padded to 1924 in the library's rows.
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = cameraFrame(641, 361, 5);
        deliver(shared, frame);
        const SharedRecord record = SharedFrameProbe::read();
        QCOMPARE(record.size, 921612);
        QVERIFY(record.pixels == expectedPixels(frame));
    }

    void nothingWhileCaptureIsClosed()
    {
        Vorn_SharedMemory shared;
        QImage frame = cameraFrame(1280, 720);
        LogCapture log;
        deliver(shared, frame);
        QVERIFY(SharedFrameProbe::absent());
        QVERIFY(log.lines().isEmpty());

        shared.captureOpen = true;
        deliver(shared, frame);
        shared.captureOpen = false;
        QImage later = cameraFrame(1280, 720, 99);
        deliver(shared, later);
        QVERIFY(SharedFrameProbe::read().pixels == expectedPixels(frame));
    }

    void detachingDestroysAnUnheldSegment()
    {
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = cameraFrame(1280, 720);
        deliver(shared, frame);
        QVERIFY(SharedFrameProbe::read().present);

        LogCapture log;
        QCOMPARE(shared.detachSegment(), 0);
        QCOMPARE(log.lines(),
                 QStringList({"ShareMem is attached", "WriteSharedMemory:: detached success."}));
        QVERIFY(SharedFrameProbe::absent());
        log.clear();
        QCOMPARE(shared.detachSegment(), 0);
        QVERIFY(log.lines().isEmpty());
    }

    void aHeldSegmentIsReattachedAndOutlivesTheWriter()
    {
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage first = cameraFrame(1280, 720, 1);
        deliver(shared, first);

        SharedFrameProbe reader;
        QVERIFY(reader.hold());
        LogCapture log;
        QImage second = cameraFrame(1280, 720, 2);
        deliver(shared, second);
        QCOMPARE(log.count("shared memory is exist"), 1);
        QCOMPARE(shared.detachSegment(), 0);

        // The reader kept the segment: it finds the last frame written.
        const SharedRecord record = reader.release();
        QVERIFY(record.present);
        QVERIFY(record.pixels == expectedPixels(second));
        // The last one to let go destroyed it.
        QVERIFY(SharedFrameProbe::absent());
    }

    void aSegmentThatCannotBeHadDropsTheFrame()
    {
#ifndef Q_OS_UNIX
        QSKIP("keys in the temporary folder are Unix's");
#endif
        // Keys in a folder where no file can be made, not even by root: no
        // segment can be attached or created for them. (A missing folder
        // would not do: Qt then puts the keys in the root folder.)
        const QByteArray keys = qgetenv("TMPDIR");
        qputenv("TMPDIR", "/proc/self");
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = cameraFrame(1280, 720);
        LogCapture log;
        deliver(shared, frame);
        qputenv("TMPDIR", keys);

        const QStringList lines = log.lines();
        const int warning =
            lines.indexOf("WriteSharedMemory::Unable to create shared memory segment.");
        QVERIFY2(warning >= 1, qPrintable(lines.join('\n')));
        QVERIFY(lines.at(warning - 1).contains("QSharedMemory"));
        QVERIFY(!log.contains("m_sharedMem len"));
        QCOMPARE(shared.detachSegment(), 0);
        QVERIFY(SharedFrameProbe::absent());
    }

    void aReaderInAnotherProcessNeverSharesTheLock()
    {
        // The writer lets go of the segment and attaches again for every
        // frame, and the reader does so every few reads: neither may take
        // the lock away from the other, or the reader sees half a frame.
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QCOMPARE(hammer(shared, 400), QByteArray("reads 400 torn 0 lockfailed 0"));
    }

    void framesStayWholeWhenTheSegmentLockLetsTwoIn()
    {
#ifndef Q_OS_UNIX
        QSKIP("the frame lock that guards against this is Unix's");
#endif
        // A program that released the segment's semaphore once too often
        // leaves it letting two in at a time; the frame lock still keeps
        // the reader out while a frame is written.
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = cameraFrame(1280, 720);
        deliver(shared, frame);
        QSystemSemaphore segmentLock(QStringLiteral("shareFrame"));
        QVERIFY(segmentLock.release());
        QCOMPARE(hammer(shared, 400), QByteArray("reads 400 torn 0 lockfailed 0"));
    }

    void aReaderStuckInARecordCostsFramesNotTheCamera()
    {
#ifndef Q_OS_UNIX
        QSKIP("the frame lock file is Unix's; Windows locks the segment itself");
#endif
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage first = cameraFrame(1280, 720, 1);
        deliver(shared, first);

        // A reader that stopped with the lock taken.
        SharedFrameLock stuck(QStringLiteral("shareFrame"));
        QVERIFY(stuck.lockForReading());
        LogCapture log;
        QImage second = cameraFrame(1280, 720, 2);
        deliver(shared, second);
        QVERIFY2(log.contains("WriteSharedMemory : cannot lock " + stuck.filePath() + "."),
                 qPrintable(log.lines().join('\n')));
        QVERIFY(!log.contains("m_sharedMem len=2"));
        stuck.unlock();
        QVERIFY(SharedFrameProbe::read().pixels == expectedPixels(first));

        deliver(shared, second);
        QVERIFY(SharedFrameProbe::read().pixels == expectedPixels(second));
    }

    void aForeignSegmentTooSmallIsNotOverrun()
    {
        QSharedMemory foreign(QStringLiteral("shareFrame"));
        QVERIFY(foreign.create(4096));
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = cameraFrame(1280, 720);
        LogCapture log;
        deliver(shared, frame);
        QVERIFY(log.contains("shared memory is exist"));
        QVERIFY(!log.contains("m_sharedMem len"));
        const SharedRecord record = SharedFrameProbe::read();
        QCOMPARE(record.segmentBytes, 4096);
        QCOMPARE(record.width, 0);
    }
};

QTEST_GUILESS_MAIN(tst_SharedMemory)
#include "tst_sharedmemory.moc"
