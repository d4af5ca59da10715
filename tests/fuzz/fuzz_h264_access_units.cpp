// Access units as an H.264 camera sends them, two in a row: the camera's
// encoder, or a transfer damaged on the wire, decides every byte.
#include "fuzzexpect.h"
#include "h264inspector.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cstring>
#include <utility>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static AVCodecParameters* stream = [] {
        AVCodecParameters* p = avcodec_parameters_alloc();
        p->codec_type = AVMEDIA_TYPE_VIDEO;
        p->codec_id = AV_CODEC_ID_H264;
        p->width = 1280;
        p->height = 720;
        return p;
    }();
    if (size == 0) {
        return 0;
    }
    H264Inspector inspector;
    FUZZ_EXPECT(inspector.open(stream));
    AVPacket* packet = av_packet_alloc();
    // The first byte tells where the first unit ends.
    const uint8_t* units = data + 1;
    const size_t length = size - 1, first = data[0] * length / 256;
    for (const auto& [from, n] : {std::pair(units, first), {units + first, length - first}}) {
        if (n == 0 || av_new_packet(packet, int(n)) < 0) {
            continue;
        }
        std::memcpy(packet->data, from, n);
        const std::vector<uint8_t> before = inspector.parameterSets();
        const bool changed = inspector.inspect(packet);
        // Looked at, never changed: a recording stores these very bytes.
        FUZZ_EXPECT(packet->size == int(n) && std::memcmp(packet->data, from, n) == 0);
        FUZZ_EXPECT(changed == (inspector.parameterSets() != before));
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    return 0;
}
