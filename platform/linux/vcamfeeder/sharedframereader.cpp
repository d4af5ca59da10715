#include "sharedframereader.h"

#include <cstring>

SharedFrameReader::SharedFrameReader(const QString& key) : m_memory(key) {}

SharedFrameReader::Result SharedFrameReader::read(QByteArray& pixels)
{
    if (!m_memory.attach(QSharedMemory::ReadOnly)) {
        return Result::NoSegment;
    }
    const Result result = copyRecord(pixels);
    m_memory.detach();
    return result;
}

SharedFrameReader::Result SharedFrameReader::copyRecord(QByteArray& pixels)
{
    const qint64 segmentBytes = m_memory.size();
    if (segmentBytes < FrameRecord::kHeaderBytes) {
        m_lastStatus = FrameRecord::Status::LargerThanSegment;
        return Result::Rejected;
    }
    if (!m_memory.lock()) {
        return Result::LockFailed;
    }
    const auto* record = static_cast<const uchar*>(m_memory.constData());
    const FrameRecord::Header header = FrameRecord::readHeader(record);
    m_lastStatus = FrameRecord::check(header, segmentBytes);
    if (m_lastStatus == FrameRecord::Status::Valid) {
        pixels.resize(FrameRecord::kPixelBytes);
        std::memcpy(pixels.data(), record + FrameRecord::kHeaderBytes,
                    size_t(FrameRecord::kPixelBytes));
    }
    m_memory.unlock();
    return m_lastStatus == FrameRecord::Status::Valid ? Result::Frame : Result::Rejected;
}
