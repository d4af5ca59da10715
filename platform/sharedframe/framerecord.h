#pragma once

#include <cstdint>

// The record that Lumora writes into the shared segment "shareFrame": three
// 32-bit little-endian integers (width, height, record size in bytes), then
// width * height RGB pixels of 3 bytes, the last picture row first.
// Without Qt: the virtual camera filter, loaded into other programs, reads
// records with exactly these checks too.
namespace FrameRecord {

constexpr int kHeaderBytes = 12;
constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kPixelBytes = kWidth * kHeight * 3;
constexpr int kRecordBytes = kPixelBytes + kHeaderBytes;

struct Header
{
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t size = 0;
};

enum class Status
{
    Valid,
    Unwritten,         // all zero: the segment exists, no frame is in it yet
    BadDimensions,     // zero, negative or beyond any camera
    SizeMismatch,      // the size field disagrees with width and height
    LargerThanSegment, // the record would run past the end of the segment
    UnexpectedPicture  // a sound record, but not of the picture size fed
};

Header readHeader(const unsigned char* data);
// segmentBytes is the size of the segment the header was read from.
Status check(const Header& header, std::int64_t segmentBytes);
const char* describe(Status status);

// Checks the record at the start of a segment of segmentBytes and, when it
// is valid, copies its kPixelBytes of picture into pixels. The Linux feeder
// and the Windows filter both read a segment through this alone, under
// their locks, so the two cannot come to disagree about what is sound.
Status copyPicture(const unsigned char* segment, std::int64_t segmentBytes, unsigned char* pixels);

} // namespace FrameRecord
