// The frame-sharing object writing the segment "shareFrame", read back by a
// separate process with the same key and locks.
#include "logcapture.h"
#include "sharedframelock.h"
#include "sharedframeprobe.h"
#include "vorn_sharedmemory.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QSystemSemaphore>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A picture whose every row and column differ, in a buffer laid out as the
// capture library delivers it (rows on multiples of 4 bytes).
QImage cameraFrame(int width, int height, int seed = 0)
{
    QImage frame(width, height, QImage::Format_RGB888);
    QRandomGenerator random{quint32(seed)};
    for (int y = 0; y < height; ++y) {
        uchar* row = frame.scanLine(y);
        for (int x = 0; x < frame.bytesPerLine(); ++x) {
            row[x] = uchar(random.bounded(256));
        }
    }
    return frame;
}

void deliver(Vorn_SharedMemory& shared, QImage& frame)
{
    shared.ImageFrame(frame.bits(), frame.width(), frame.height());
}

// The record's pixels as they must be: Qt's own nearest-pixel scaling, last
// row first.
QByteArray expectedPixels(const QImage& frame)
{
    const QImage scaled = frame.scaled(640, 480, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    QByteArray pixels;
    for (int y = 479; y >= 0; --y) {
        pixels.append(reinterpret_cast<const char*>(scaled.constScanLine(y)), 640 * 3);
    }
    return pixels;
}

// Publishes pictures of one grey level each while a reader in another
// process reads records as fast as it can; gives the reader's account.
QByteArray hammer(Vorn_SharedMemory& shared, int reads)
{
    QProcess reader;
    reader.start(QCoreApplication::applicationDirPath() + "/sharedframe_reader",
                 {"watch", QString::number(reads)});
    if (!reader.waitForStarted(30000)) {
        return "not started";
    }
    QImage frame(1280, 720, QImage::Format_RGB888);
    for (int i = 0; reader.state() != QProcess::NotRunning; ++i) {
        const int grey = i % 200 + 20;
        frame.fill(QColor::fromRgb(grey, grey, grey));
        deliver(shared, frame);
        if (i % 8 == 0) {
            reader.waitForFinished(1);
        }
        if (i > 200000) {
            return "still reading";
        }
    }
    return reader.readAllStandardOutput().trimmed();
}

} // namespace

class tst_SharedFrame : public QObject
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
        // The scaling must be exactly Qt's nearest pixel, which the preview
        // shows too. 641 pixels make 1923 bytes, padded to 1924 in the
        // library's rows; 319 x 241 is scaled up.
        for (const QSize size : {QSize(1280, 720), QSize(641, 361), QSize(319, 241)}) {
            Vorn_SharedMemory shared;
            shared.captureOpen = true;
            QImage frame = cameraFrame(size.width(), size.height(), size.width());
            deliver(shared, frame);
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
            QVERIFY(record.pixels == expectedPixels(frame));
        }
        // Unheld, the segment went with the writer.
        QVERIFY(SharedFrameProbe::absent());
    }

    void nothingWhileCaptureIsClosed()
    {
        Vorn_SharedMemory shared;
        QImage frame = cameraFrame(1280, 720);
        deliver(shared, frame);
        QVERIFY(SharedFrameProbe::absent());
        shared.captureOpen = true;
        deliver(shared, frame);
        shared.captureOpen = false;
        QImage later = cameraFrame(1280, 720, 99);
        deliver(shared, later);
        QVERIFY(SharedFrameProbe::read().pixels == expectedPixels(frame));
        QCOMPARE(shared.detachSegment(), 0);
        QVERIFY(SharedFrameProbe::absent());
        QCOMPARE(shared.detachSegment(), 0);
    }

    void aSegmentThatCannotBeHadDropsTheFrame()
    {
#ifndef Q_OS_UNIX
        QSKIP("keys in the temporary folder are Unix's");
#endif
        // Keys in a folder where no file can be made, not even by root.
        qputenv("TMPDIR", "/proc/self");
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = cameraFrame(1280, 720);
        deliver(shared, frame);
        qputenv("TMPDIR", keyFolder.path().toLocal8Bit());
        QCOMPARE(shared.detachSegment(), 0);
        QVERIFY(SharedFrameProbe::absent());
    }

    void framesStayWholeWhenTheSegmentLockLetsTwoIn()
    {
#ifndef Q_OS_UNIX
        QSKIP("the frame lock that guards against this is Unix's");
#endif
        // The writer lets go of the segment and attaches again for every
        // frame, and the reader does so every few reads: neither may take
        // the lock away from the other. A program that released the
        // segment's semaphore once too often leaves it letting two in at a
        // time; the frame lock still keeps the reader out of a frame being
        // written.
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
        SharedFrameLock stuck(QStringLiteral("shareFrame"));
        QVERIFY(stuck.lockForReading());
        QImage second = cameraFrame(1280, 720, 2);
        deliver(shared, second);
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
        deliver(shared, frame);
        const SharedRecord record = SharedFrameProbe::read();
        QCOMPARE(record.segmentBytes, 4096);
        QCOMPARE(record.width, 0);
    }

    void onlyAnotherHolderOfTheSegmentIsReported()
    {
#ifndef Q_OS_UNIX
        QSKIP("only Unix tells how many hold a segment");
#endif
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = cameraFrame(1280, 720);
        LogCapture log;
        QSharedMemory reader(QStringLiteral("shareFrame"));
        for (int i = 0; i < 8; ++i) {
            if (i == 3 || i == 6) { // the virtual camera comes and goes
                QVERIFY(i == 3 ? reader.attach(QSharedMemory::ReadOnly) : reader.detach());
            }
            deliver(shared, frame);
            QCOMPARE(log.count("shared memory is exist"), qBound(0, i - 2, 3));
        }
    }
};

QTEST_GUILESS_MAIN(tst_SharedFrame)
#include "tst_sharedframe.moc"
