// Test helper: a second process that reads the shared frame record the way
// the virtual camera component does (same key, same locks).
//   sharedframe_reader read            read once
//   sharedframe_reader watch <reads>   read <reads> records under the lock
//                                      while a writer runs, letting go of
//                                      the segment every few reads
// "read" prints "width height size pixels-sha1", the hash of the bytes after
// the header up to the record's size, or to the segment's end when that size
// is unsound; "watch" prints "reads R torn T lockfailed L".
// Exit codes: 0 read, 2 usage, 3 no segment, 4 lock failed, 6 the reads
// were not all done within a minute.
#include "sharedframelock.h"
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QSharedMemory>
#include <QThread>
#include <QtEndian>

#include <cstdio>
#include <cstring>

namespace {

// Hands the record and the segment's size to read under both locks, taken
// in the virtual camera's order; false when a lock could not be had.
template <typename Read>
bool readLocked(QSharedMemory& memory, SharedFrameLock& frameLock, Read read)
{
    if (!frameLock.lockForReading()) {
        return false;
    }
    if (!memory.lock()) {
        frameLock.unlock();
        return false;
    }
    read(static_cast<const uchar*>(memory.constData()), memory.size());
    memory.unlock();
    frameLock.unlock();
    return true;
}

int readOnce(QSharedMemory& memory)
{
    if (!memory.attach(QSharedMemory::ReadOnly)) {
        std::printf("absent\n");
        return 3;
    }
    SharedFrameLock frameLock(memory.key());
    QByteArray line;
    const bool read = readLocked(memory, frameLock, [&](const uchar* data, int segmentBytes) {
        const qint32 size = qFromLittleEndian<qint32>(data + 8);
        // The record's own size, as the virtual camera reads it (Windows maps
        // whole pages, so the segment may be longer).
        const int recordBytes = size >= 12 && size <= segmentBytes ? size : segmentBytes;
        const QByteArray pixels(reinterpret_cast<const char*>(data) + 12,
                                qMax(recordBytes - 12, 0));
        for (const int field :
             {qFromLittleEndian<qint32>(data), qFromLittleEndian<qint32>(data + 4), size}) {
            line += QByteArray::number(field) + ' ';
        }
        line += QCryptographicHash::hash(pixels, QCryptographicHash::Sha1).toHex();
    });
    std::printf("%s\n", line.constData());
    return read ? 0 : 4;
}

int watch(QSharedMemory& memory, int reads)
{
    SharedFrameLock frameLock(memory.key());
    int done = 0, torn = 0, lockFailed = 0;
    bool found = false;
    // The segment may be between a writer's detach and attach: wait for it,
    // but for a bounded time, whatever the machine's speed.
    const QDeadlineTimer deadline(60000);
    while (done < reads && !deadline.hasExpired()) {
        if (!memory.isAttached() && !memory.attach(QSharedMemory::ReadOnly)) {
            QThread::msleep(1);
            continue;
        }
        found = true;
        const bool read = readLocked(memory, frameLock, [&](const uchar* data, int segmentBytes) {
            const qint32 size = qFromLittleEndian<qint32>(data + 8);
            // The writer under test publishes pictures of one grey level
            // each, so every byte of a record written whole equals the one
            // after it; a record read while the writer was in the middle of
            // it does not.
            if (size > 12 && size <= segmentBytes &&
                std::memcmp(data + 12, data + 13, size_t(size - 13))) {
                ++torn;
            }
        });
        // Attaching again takes the lock's key anew, as the feeder does.
        if (!read) {
            ++lockFailed;
            memory.detach();
        } else if (++done % 4 == 0) {
            memory.detach();
        }
    }
    if (!found) {
        std::printf("absent\n");
        return 3;
    }
    std::printf("reads %d torn %d lockfailed %d\n", done, torn, lockFailed);
    return done == reads ? 0 : 6;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    QSharedMemory memory(QStringLiteral("shareFrame"));
    if (args.size() == 2 && args[1] == "read") {
        return readOnce(memory);
    }
    if (args.size() == 3 && args[1] == "watch") {
        return watch(memory, args[2].toInt());
    }
    return 2;
}
