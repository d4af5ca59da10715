// The frame-sharing object writing the segment "shareFrame", read back by a
// separate process with the same key and locks.
#include "sharedframelock.h"
#include "sharedframeprobe.h"
#include "vorn_sharedmemory.h"

#include <QDeadlineTimer>
#include <QProcess>
#include <QSystemSemaphore>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using namespace SharedFrameProbe;

void deliver(Vorn_SharedMemory& shared, QImage& frame)
{
    shared.ImageFrame(frame.bits(), frame.width(), frame.height());
}

// The record as the reader prints it, its pixels as they must be: the frame
// letterboxed, last row first.
QByteArray expectedRecord(const QImage& frame)
{
    return "640 480 921612 " + hashOf(bottomUp(letterboxed(frame, QSize(640, 480))));
}

// Publishes pictures of one grey level each while a reader in another
// process reads records as fast as it can; gives the reader's account.
QByteArray hammer(Vorn_SharedMemory& shared, int reads)
{
    QProcess reader;
    reader.start(readerProgram(), {"watch", QString::number(reads)});
    // 4:3, so that the record has no black bars: every pixel is the grey.
    QImage frame(960, 720, QImage::Format_RGB888);
    // The reader gives up on its own after a minute; this bounds a hung one.
    const QDeadlineTimer deadline(120000);
    for (int i = 0; reader.state() != QProcess::NotRunning && !deadline.hasExpired(); ++i) {
        const int grey = i % 200 + 20;
        frame.fill(QColor::fromRgb(grey, grey, grey));
        deliver(shared, frame);
        if (i % 8 == 0) {
            reader.waitForFinished(1);
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
        // shows too, and keep the picture's shape: bars above and below a
        // 16:9 frame, beside 319 x 241 (scaled up). 641 pixels make 1923
        // bytes, padded to 1924 in the library's rows.
        for (const QSize size : {QSize(1280, 720), QSize(641, 361), QSize(319, 241)}) {
            Vorn_SharedMemory shared;
            shared.captureOpen = true;
            QImage frame = noisePicture(size.width(), size.width(), size.height());
            deliver(shared, frame);
            QCOMPARE(SharedFrameProbe::read(), expectedRecord(frame));
        }
        // Unheld, the segment went with the writer.
        QVERIFY(SharedFrameProbe::absent());
    }

    void nothingWhileCaptureIsClosedOrTheSegmentCannotBeHad()
    {
        Vorn_SharedMemory shared;
        QImage frame = noisePicture(0, 1280, 720);
        deliver(shared, frame);
        QVERIFY(SharedFrameProbe::absent());
        shared.captureOpen = true;
        deliver(shared, frame);
        shared.captureOpen = false;
        QImage later = noisePicture(99, 1280, 720);
        deliver(shared, later);
        QCOMPARE(SharedFrameProbe::read(), expectedRecord(frame));
        QCOMPARE(shared.detachSegment(), 0);
        QVERIFY(SharedFrameProbe::absent());
#ifdef Q_OS_UNIX
        // Keys in a folder where no file can be made, not even by root.
        qputenv("TMPDIR", "/proc/self");
        Vorn_SharedMemory unreachable;
        unreachable.captureOpen = true;
        deliver(unreachable, frame);
        qputenv("TMPDIR", keyFolder.path().toLocal8Bit());
        QCOMPARE(unreachable.detachSegment(), 0);
        QVERIFY(SharedFrameProbe::absent());
#endif
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
        QImage frame = noisePicture(0, 1280, 720);
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
        QImage first = noisePicture(1, 1280, 720);
        deliver(shared, first);
        SharedFrameLock stuck(QStringLiteral("shareFrame"));
        QVERIFY(stuck.lockForReading());
        QImage second = noisePicture(2, 1280, 720);
        deliver(shared, second);
        stuck.unlock();
        QCOMPARE(SharedFrameProbe::read(), expectedRecord(first));
        deliver(shared, second);
        QCOMPARE(SharedFrameProbe::read(), expectedRecord(second));
    }

    void aForeignSegmentTooSmallIsNotOverrun()
    {
        QSharedMemory foreign(QStringLiteral("shareFrame"));
        QVERIFY(foreign.create(4096));
        Vorn_SharedMemory shared;
        shared.captureOpen = true;
        QImage frame = noisePicture(0, 1280, 720);
        deliver(shared, frame);
        // Left as it was: no header, and zeros to the segment's end.
        QCOMPARE(SharedFrameProbe::read(), "0 0 0 " + hashOf(QByteArray(4096 - 12, 0)));
    }
};

QTEST_GUILESS_MAIN(tst_SharedFrame)
#include "tst_sharedframe.moc"
