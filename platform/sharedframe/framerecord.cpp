#include "framerecord.h"

#include <cstring>

namespace FrameRecord {

namespace {
// No camera of this family, nor any other, delivers more; it keeps the
// products below far from overflowing.
constexpr std::int64_t kMaxDimension = 16384;
} // namespace

std::int32_t littleEndian32(const unsigned char* data)
{
    return std::int32_t(std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8 |
                        std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24);
}

Header readHeader(const unsigned char* data)
{
    Header header;
    header.width = littleEndian32(data);
    header.height = littleEndian32(data + 4);
    header.size = littleEndian32(data + 8);
    return header;
}

Status check(const Header& header, std::int64_t segmentBytes)
{
    if (header.width == 0 && header.height == 0 && header.size == 0) {
        return Status::Unwritten;
    }
    if (header.width <= 0 || header.height <= 0 || header.width > kMaxDimension ||
        header.height > kMaxDimension) {
        return Status::BadDimensions;
    }
    const std::int64_t expected = std::int64_t(header.width) * header.height * 3 + kHeaderBytes;
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

Status copyPicture(const unsigned char* segment, std::int64_t segmentBytes, unsigned char* pixels)
{
    // Too small to hold even a header: nothing of it may be read.
    if (segmentBytes < kHeaderBytes) {
        return Status::LargerThanSegment;
    }
    const Status status = check(readHeader(segment), segmentBytes);
    if (status == Status::Valid) {
        std::memcpy(pixels, segment + kHeaderBytes, size_t(kPixelBytes));
    }
    return status;
}

} // namespace FrameRecord
