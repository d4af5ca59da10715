// Test helper: a second process that reads the shared frame record the way
// the virtual camera component does (same key, same lock).
//   sharedframe_reader read <pixels-file>   read once
//   sharedframe_reader hold <pixels-file>   attach, print "attached", wait
//                                           for a line on stdin, then read
// Prints "width height size segment-size" and writes the pixel bytes after
// the header to the file. Exit codes: 0 read, 3 no segment, 4 lock failed,
// 2 usage.
#include <QCoreApplication>
#include <QFile>
#include <QSharedMemory>
#include <QtEndian>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

namespace {

int readRecord(QSharedMemory& memory, const QString& pixelsPath)
{
    if (!memory.lock()) {
        return 4;
    }
    const auto* data = static_cast<const uchar*>(memory.constData());
    const int segmentBytes = memory.size();
    const qint32 width = qFromLittleEndian<qint32>(data);
    const qint32 height = qFromLittleEndian<qint32>(data + 4);
    const qint32 size = qFromLittleEndian<qint32>(data + 8);
    const QByteArray pixels(reinterpret_cast<const char*>(data) + 12, segmentBytes - 12);
    memory.unlock();

    QFile file(pixelsPath);
    if (!file.open(QIODevice::WriteOnly) || file.write(pixels) != pixels.size()) {
        return 5;
    }
    std::printf("%d %d %d %d\n", width, height, size, segmentBytes);
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 3 || (args[1] != "read" && args[1] != "hold")) {
        return 2;
    }
    QSharedMemory memory(QStringLiteral("shareFrame"));
    if (!memory.attach(QSharedMemory::ReadOnly)) {
        std::printf("absent\n");
        return 3;
    }
    if (args[1] == "hold") {
        std::printf("attached\n");
        std::fflush(stdout);
        std::string line;
        std::getline(std::cin, line);
    }
    const int result = readRecord(memory, args[2]);
    memory.detach();
    return result;
}
