#pragma once

#include "lumora_platform_export.h"

#include <QString>

// The lock that the frame writer and the virtual camera's readers take
// around a record, beside the segment's own lock. On Unix the segment's lock
// is a System V semaphore that Qt removes and makes anew whenever the
// QSharedMemory that made it attaches again, and the writer attaches for
// every frame: a reader can then be inside a record with the writer. This
// lock is a file lock, which the system keeps for every process alike and
// releases when a process dies. On Windows the segment's lock is a named
// semaphore that lives while anyone has it open, and this one does nothing.
class LUMORA_PLATFORM_EXPORT SharedFrameLock
{
public:
    explicit SharedFrameLock(const QString& key);
    ~SharedFrameLock();
    SharedFrameLock(const SharedFrameLock&) = delete;
    SharedFrameLock& operator=(const SharedFrameLock&) = delete;

    // Exclusive, for the writer. A reader that stopped inside a record must
    // not stall the camera's frames: after timeoutMs the frame is given up.
    bool lockForWriting(int timeoutMs = 100);
    // Shared, for readers; waits as long as a frame is being written.
    bool lockForReading();
    void unlock();

    // Where the lock lives: in the temporary folder, as the segment's keys.
    QString filePath() const;

private:
    // A negative timeoutMs waits as long as it takes.
    bool acquire(int operation, int timeoutMs);
    bool open();

    QString m_key;
    QString m_openPath;
    int m_fd = -1;
};
