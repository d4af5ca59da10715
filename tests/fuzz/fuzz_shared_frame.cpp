// The shared frame record as the Linux feeder and the Windows filter read
// it. The input is the segment's size (4 bytes, little-endian, up to a
// little over one 640 x 480 record), then its first bytes; the rest is zero.
#include "framerecord.h"
#include "fuzzexpect.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) {
        return 0;
    }
    const std::uint32_t wanted =
        data[0] | data[1] << 8 | data[2] << 16 | std::uint32_t(data[3]) << 24;
    const size_t segmentBytes = wanted % (FrameRecord::kRecordBytes + 4096);
    // The segment ends where its memory does, so that a read past it shows;
    // the memory is made once, not for every input.
    static std::vector<unsigned char> space(FrameRecord::kRecordBytes + 4096);
    static std::vector<unsigned char> pixels(FrameRecord::kPixelBytes);
    unsigned char* segment = space.data() + space.size() - segmentBytes;
    std::memset(segment, 0, segmentBytes);
    std::memcpy(segment, data + 4, std::min(segmentBytes, size - 4));
    const FrameRecord::Status status =
        FrameRecord::copyPicture(segment, std::int64_t(segmentBytes), pixels.data());
    if (status == FrameRecord::Status::Valid) {
        FUZZ_EXPECT(segmentBytes >= size_t(FrameRecord::kRecordBytes));
        FUZZ_EXPECT(
            std::memcmp(pixels.data(), segment + FrameRecord::kHeaderBytes, pixels.size()) == 0);
    }
    return 0;
}
