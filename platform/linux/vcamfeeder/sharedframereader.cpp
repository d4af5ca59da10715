#include "sharedframereader.h"

SharedFrameReader::SharedFrameReader(const QString& key) : m_memory(key), m_frameLock(key) {}

SharedFrameReader::Result SharedFrameReader::read(QByteArray& pixels)
{
    if (!holdSegment()) {
        return Result::NoSegment;
    }
    const Result result = copyRecord(pixels);
    if (m_reattachIntervalMs <= 0) {
        m_memory.detach();
    }
    return result;
}

bool SharedFrameReader::holdSegment()
{
    // A segment that only this reader holds any more belongs to a Lumora
    // that has gone, cleanly or not. Letting go of it now and then destroys
    // such a segment, and the attach that follows fails; while Lumora runs,
    // its own attachment keeps the segment alive and the attach finds it
    // again. The interval bounds how long a gone Lumora's last frame shows.
    if (m_memory.isAttached() && m_heldSince.hasExpired(m_reattachIntervalMs)) {
        m_memory.detach();
    }
    if (m_memory.isAttached()) {
        return true;
    }
    if (!m_memory.attach(QSharedMemory::ReadOnly)) {
        return false;
    }
    m_heldSince.start();
    return true;
}

SharedFrameReader::Result SharedFrameReader::copyRecord(QByteArray& pixels)
{
    const qint64 segmentBytes = m_memory.size();
    if (segmentBytes < FrameRecord::kHeaderBytes) {
        m_lastStatus = FrameRecord::Status::LargerThanSegment;
        return Result::Rejected;
    }
    if (!m_frameLock.lockForReading()) {
        return Result::LockFailed;
    }
    if (!m_memory.lock()) {
        m_frameLock.unlock();
        return Result::LockFailed;
    }
    // Sized before the copy: pixels are read only after a Frame.
    pixels.resize(FrameRecord::kPixelBytes);
    m_lastStatus = FrameRecord::copyPicture(static_cast<const uchar*>(m_memory.constData()),
                                            segmentBytes, reinterpret_cast<uchar*>(pixels.data()));
    m_memory.unlock();
    m_frameLock.unlock();
    return m_lastStatus == FrameRecord::Status::Valid ? Result::Frame : Result::Rejected;
}
