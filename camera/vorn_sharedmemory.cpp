#include "vorn_sharedmemory.h"

#include "framescaler.h"
#include "memoryprefault.h"

#include <QDebug>
#include <QtEndian>

#include <cstring>

namespace {

const QString kKey = QStringLiteral("shareFrame");

// Rows of the capture library's frames start on multiples of 4 bytes.
int alignedRowBytes(int width)
{
    return (width * 3 + 3) & ~3;
}

} // namespace

Vorn_SharedMemory::Vorn_SharedMemory(QObject* parent) : QObject(parent) {}

Vorn_SharedMemory::~Vorn_SharedMemory()
{
    detachSegment();
}

void Vorn_SharedMemory::ImageFrame(uint8_t* buffer, int width, int height)
{
    if (!captureOpen || !buffer || width <= 0 || height <= 0) {
        return;
    }
    const QImage frame(buffer, width, height, alignedRowBytes(width), QImage::Format_RGB888);
    // The scaled picture keeps its memory from frame to frame.
    if (m_picture.isNull()) {
        m_picture = QImage(kWidth, kHeight, QImage::Format_RGB888);
    }
    scaleNearestInto(frame, m_picture);

    segmentSize = kRecordBytes;
    attachOrCreate(segmentSize);
    if (!m_sharedMem.isAttached()) {
        return;
    }
    writeRecord(m_picture);
}

void Vorn_SharedMemory::writeRecord(const QImage& picture)
{
    // A segment that another program created smaller than a record is
    // attached all the same; writing a record into it would run past its end.
    if (m_sharedMem.size() < kRecordBytes) {
        qWarning("WriteSharedMemory : segment of %d bytes is too small for a frame.",
                 m_sharedMem.size());
        return;
    }
    // The segment is attached anew for every frame; its pages are mapped in
    // one call before the lock is taken, so the lock is held for the copy
    // alone.
    prefaultForWriting(m_sharedMem.data(), kRecordBytes);
    if (!m_sharedMem.lock()) {
        qDebug() << m_sharedMem.errorString();
        return;
    }
    auto* record = static_cast<uchar*>(m_sharedMem.data());
    qToLittleEndian<qint32>(kWidth, record);
    qToLittleEndian<qint32>(kHeight, record + 4);
    qToLittleEndian<qint32>(kRecordBytes, record + 8);
    // The mirror happens in the copy: the last picture row goes first.
    const int rowBytes = kWidth * 3;
    uchar* target = record + kHeaderBytes;
    for (int y = kHeight - 1; y >= 0; --y, target += rowBytes) {
        std::memcpy(target, picture.constScanLine(y), size_t(rowBytes));
    }
    qWarning("m_sharedMem len=%d", int(qstrlen(reinterpret_cast<const char*>(record))));
    m_sharedMem.unlock();
}

int Vorn_SharedMemory::attachOrCreate(int size)
{
    m_sharedMem.setKey(kKey);
    if (m_sharedMem.isAttached() && !m_sharedMem.detach()) {
        qWarning("WriteSharedMemory : detach failed.");
        return -1;
    }
    if (m_sharedMem.attach(QSharedMemory::ReadWrite)) {
        qWarning("shared memory is exist");
        return 0;
    }
    if (!m_sharedMem.create(size, QSharedMemory::ReadWrite)) {
        qDebug() << m_sharedMem.errorString();
        qWarning("WriteSharedMemory::Unable to create shared memory segment.");
        return -1;
    }
    return 0;
}

int Vorn_SharedMemory::detachSegment()
{
    if (!m_sharedMem.isAttached()) {
        return 0;
    }
    qWarning("ShareMem is attached");
    if (!m_sharedMem.detach()) {
        qWarning("WriteSharedMemory:: detach failed.");
        return -1;
    }
    qWarning("WriteSharedMemory:: detached success.");
    return 0;
}
