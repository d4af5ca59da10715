#include "packetsink.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

bool drainEncodedPackets(AVCodecContext* codec, AVPacket* packet, const PacketSink& sink)
{
    for (;;) {
        const int r = avcodec_receive_packet(codec, packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
            return true;
        }
        if (r < 0) {
            return false;
        }
        const bool written = sink(packet);
        av_packet_unref(packet);
        if (!written) {
            return false;
        }
    }
}
