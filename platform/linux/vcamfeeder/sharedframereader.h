#pragma once

#include "framerecord.h"
#include "sharedframelock.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QSharedMemory>
#include <QString>

// Reads Lumora's frame record from the segment "shareFrame". The reader
// holds the segment between reads, so that it does not map it anew for
// every frame. Held for good, though, a segment that a gone Lumora left
// would keep its last frame showing forever, so the reader lets go of it
// regularly: see read().
// QSharedMemory with the same key gives the same native segment and lock as
// the writer; a record is read under that lock and under the frame lock the
// writer takes with it.
class SharedFrameReader
{
public:
    enum class Result
    {
        Frame,     // pixels hold a new record's picture
        NoSegment, // nobody publishes frames
        Rejected,  // a record is there, but unsound: see lastStatus()
        LockFailed
    };

    explicit SharedFrameReader(const QString& key = QStringLiteral("shareFrame"));

    // How long the segment is held before it is let go of and attached
    // again; 0 lets go of it after every read.
    void setReattachInterval(int milliseconds) { m_reattachIntervalMs = milliseconds; }
    int reattachInterval() const { return m_reattachIntervalMs; }

    // pixels receives width * height * 3 bytes, rows bottom-up as stored.
    Result read(QByteArray& pixels);
    FrameRecord::Status lastStatus() const { return m_lastStatus; }
    QString errorString() const { return m_memory.errorString(); }

private:
    bool holdSegment();
    Result copyRecord(QByteArray& pixels);

    QSharedMemory m_memory;
    SharedFrameLock m_frameLock;
    QElapsedTimer m_heldSince;
    int m_reattachIntervalMs = 1000;
    FrameRecord::Status m_lastStatus = FrameRecord::Status::Unwritten;
};
