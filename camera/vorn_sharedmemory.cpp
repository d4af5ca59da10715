#include "vorn_sharedmemory.h"

#include "framescaler.h"
#include "memoryprefault.h"
#include "rgbframe.h"
#include "sharedsegmentusers.h"

#include <QDebug>
#include <QtEndian>

#include <cstring>

namespace {

const QString kKey = QStringLiteral("shareFrame");

} // namespace

// The scaled picture's memory is made and written here, once: memory never
// written costs a page fault per page on its first touch, most of all on
// virtual machines, and the first shared frame would pay for it on the GUI
// thread.
Vorn_SharedMemory::Vorn_SharedMemory(QObject* parent)
    : QObject(parent), m_frameLock(kKey), m_picture(kWidth, kHeight, QImage::Format_RGB888)
{
    m_picture.fill(Qt::black);
}

Vorn_SharedMemory::~Vorn_SharedMemory()
{
    detachSegment();
}

void Vorn_SharedMemory::ImageFrame(uint8_t* buffer, int width, int height)
{
    if (!captureOpen || !buffer || width <= 0 || height <= 0) {
        return;
    }
    const QImage frame(buffer, width, height, RgbFrame::strideFor(width), QImage::Format_RGB888);
    // The camera's picture keeps its shape in the 640 x 480 record, black
    // bars around it.
    scaleFittedInto(frame, m_picture);

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
    uchar* record = recordMemory();
    if (!m_frameLock.lockForWriting()) {
        qWarning("WriteSharedMemory : cannot lock %s.", qPrintable(m_frameLock.filePath()));
        return;
    }
    if (!m_sharedMem.lock()) {
        qDebug() << m_sharedMem.errorString();
        m_frameLock.unlock();
        return;
    }
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
    m_frameLock.unlock();
}

uchar* Vorn_SharedMemory::recordMemory()
{
    // The segment is attached anew for every frame, and the first touch of
    // each page of a new mapping costs more than the copy itself, most of
    // all on virtual machines. The holder's mapping of the same segment
    // lasts from frame to frame, so the record goes in through it.
    if (m_holder.isAttached() && m_holder.size() == m_sharedMem.size()) {
        return static_cast<uchar*>(m_holder.data());
    }
    // Otherwise the new mapping's pages are mapped in one call before the
    // lock is taken, so that the lock is held for the copy alone.
    prefaultForWriting(m_sharedMem.data(), kRecordBytes);
    return static_cast<uchar*>(m_sharedMem.data());
}

int Vorn_SharedMemory::attachOrCreate(int size)
{
    m_sharedMem.setKey(kKey);
    if (m_sharedMem.isAttached() && !m_sharedMem.detach()) {
        qWarning("WriteSharedMemory : detach failed.");
        return -1;
    }
    const Hold hold = holdSegment(size);
    if (hold == Hold::Failed) {
        qDebug() << m_holder.errorString();
        qWarning("WriteSharedMemory::Unable to create shared memory segment.");
        return -1;
    }
    if (!m_sharedMem.attach(QSharedMemory::ReadWrite)) {
        qDebug() << m_sharedMem.errorString();
        qWarning("WriteSharedMemory::Unable to create shared memory segment.");
        return -1;
    }
    if (hold == Hold::Existing || (hold == Hold::Kept && heldElsewhere())) {
        qWarning("shared memory is exist");
    }
    return 0;
}

bool Vorn_SharedMemory::heldElsewhere() const
{
    // This object's own two: the hold and the frame's attachment.
    return sharedSegmentAttachments(m_sharedMem) > 2;
}

Vorn_SharedMemory::Hold Vorn_SharedMemory::holdSegment(int size)
{
    if (m_holder.isAttached()) {
        return Hold::Kept;
    }
    m_holder.setKey(kKey);
    if (m_holder.attach(QSharedMemory::ReadWrite)) {
        return Hold::Existing;
    }
    return m_holder.create(size, QSharedMemory::ReadWrite) ? Hold::Created : Hold::Failed;
}

int Vorn_SharedMemory::detachSegment()
{
    // The hold goes first, so that the segment is destroyed with the
    // detachment below unless a reader still has it.
    if (m_holder.isAttached()) {
        m_holder.detach();
    }
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
