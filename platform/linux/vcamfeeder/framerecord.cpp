#include "framerecord.h"

#include <QtEndian>

namespace FrameRecord {

namespace {
// No camera of this family, nor any other, delivers more; it keeps the
// products below far from overflowing.
constexpr qint64 kMaxDimension = 16384;
} // namespace

Header readHeader(const uchar* data)
{
    Header header;
    header.width = qFromLittleEndian<qint32>(data);
    header.height = qFromLittleEndian<qint32>(data + 4);
    header.size = qFromLittleEndian<qint32>(data + 8);
    return header;
}

Status check(const Header& header, qint64 segmentBytes)
{
    if (header.width == 0 && header.height == 0 && header.size == 0) {
        return Status::Unwritten;
    }
    if (header.width <= 0 || header.height <= 0 || header.width > kMaxDimension ||
        header.height > kMaxDimension) {
        return Status::BadDimensions;
    }
    const qint64 expected = qint64(header.width) * header.height * 3 + kHeaderBytes;
    if (header.size != expected) {
        return Status::SizeMismatch;
    }
    if (expected > segmentBytes) {
        return Status::LargerThanSegment;
    }
    if (header.width != kWidth || header.height != kHeight) {
        return Status::UnexpectedPicture;
    }
    return Status::Valid;
}

const char* describe(Status status)
{
    switch (status) {
    case Status::Valid:
        return "valid record";
    case Status::Unwritten:
        return "no frame written yet";
    case Status::BadDimensions:
        return "impossible picture dimensions";
    case Status::SizeMismatch:
        return "record size does not match the dimensions";
    case Status::LargerThanSegment:
        return "record larger than the shared segment";
    case Status::UnexpectedPicture:
        return "picture is not 640 x 480";
    }
    return "unknown record state";
}

} // namespace FrameRecord
