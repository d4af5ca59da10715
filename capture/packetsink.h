#pragma once

#include <functional>

struct AVCodecContext;
struct AVPacket;

// Receives every encoded packet, in the encoder's time base; false when
// the packet could not be written (the recording then ends).
using PacketSink = std::function<bool(AVPacket*)>;

// Hands every packet the encoder has ready to the sink. True when the
// encoder wants more input (or is through); false on an encoder error or a
// packet the sink could not write.
bool drainEncodedPackets(AVCodecContext* codec, AVPacket* packet, const PacketSink& sink);
