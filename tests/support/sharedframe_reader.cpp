// Test helper: a second process that reads the shared frame record the way
// the virtual camera component does (same key, same locks).
//   sharedframe_reader read <pixels-file>   read once
//   sharedframe_reader watch <reads>        read <reads> records under the
//                                           lock while a writer runs, letting
//                                           go of the segment every few reads
// Prints "width height size segment-size" and writes the pixel bytes after
// the header to the file; "watch" prints "reads R torn T lockfailed L".
// Exit codes: 0 read, 3 no segment, 4 lock failed, 2 usage.
#include "sharedframelock.h"
#include <QCoreApplication>
#include <QFile>
#include <QSharedMemory>
#include <QThread>
#include <QtEndian>

#include <cstdio>
#include <cstring>

namespace {

int readRecord(QSharedMemory& memory, const QString& pixelsPath)
{
    SharedFrameLock frameLock(memory.key());
    if (!frameLock.lockForReading()) {
        return 4;
    }
    if (!memory.lock()) {
        frameLock.unlock();
        return 4;
    }
    const auto* data = static_cast<const uchar*>(memory.constData());
    const int segmentBytes = memory.size();
    const qint32 width = qFromLittleEndian<qint32>(data);
    const qint32 height = qFromLittleEndian<qint32>(data + 4);
    const qint32 size = qFromLittleEndian<qint32>(data + 8);
    // The record's own size, as the virtual camera reads it (Windows maps
    // whole pages, so the segment may be longer).
    const int recordBytes = size >= 12 && size <= segmentBytes ? size : segmentBytes;
    const QByteArray pixels(reinterpret_cast<const char*>(data) + 12, recordBytes - 12);
    memory.unlock();
    frameLock.unlock();

    QFile file(pixelsPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(pixels) != pixels.size()) {
        return 5;
    }
    std::printf("%d %d %d %d\n", width, height, size, segmentBytes);
    std::fflush(stdout);
    return 0;
}

// The writer under test publishes pictures of one grey level each, so every
// byte of a record written whole is the same; a record read while the writer
// was in the middle of it is not.
bool uniform(const uchar* pixels, int bytes)
{
    for (int i = 1; i < bytes; ++i) {
        if (pixels[i] != pixels[0]) {
            return false;
        }
    }
    return true;
}

int watch(QSharedMemory& memory, int reads)
{
    SharedFrameLock frameLock(memory.key());
    int done = 0, torn = 0, lockFailed = 0;
    for (int attempt = 0; done < reads && attempt < reads * 1000; ++attempt) {
        if (!memory.isAttached() && !memory.attach(QSharedMemory::ReadOnly)) {
            QThread::usleep(200);
            continue;
        }
        if (!frameLock.lockForReading()) {
            ++lockFailed;
            continue;
        }
        if (!memory.lock()) {
            ++lockFailed;
            frameLock.unlock();
            memory.detach();
            continue;
        }
        const auto* data = static_cast<const uchar*>(memory.constData());
        const qint32 size = qFromLittleEndian<qint32>(data + 8);
        if (size >= 12 && size <= memory.size() && !uniform(data + 12, size - 12)) {
            ++torn;
        }
        memory.unlock();
        frameLock.unlock();
        // Attaching again takes the lock's key anew, as the feeder does.
        if (++done % 4 == 0) {
            memory.detach();
        }
    }
    std::printf("reads %d torn %d lockfailed %d\n", done, torn, lockFailed);
    std::fflush(stdout);
    return done == reads ? 0 : 3;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args[1] != "read" && args[1] != "watch")) {
        return 2;
    }
    QSharedMemory memory(QStringLiteral("shareFrame"));
    if (args[1] == "watch") {
        return watch(memory, args[2].toInt());
    }
    if (!memory.attach(QSharedMemory::ReadOnly)) {
        std::printf("absent\n");
        return 3;
    }
    const int result = readRecord(memory, args[2]);
    memory.detach();
    return result;
}
