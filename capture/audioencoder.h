#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "packetsink.h"

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

// AAC (FFmpeg's own encoder) from interleaved 16-bit samples. Keeps the
// sound on the recording's clock: samples are placed by their capture time
// relative to the recording's origin, gaps are filled with silence and a
// device running ahead is trimmed, so sound and pictures stay together.
class AudioEncoder
{
public:
    AudioEncoder();
    ~AudioEncoder();
    AudioEncoder(const AudioEncoder&) = delete;
    AudioEncoder& operator=(const AudioEncoder&) = delete;

    bool open(int sampleRate, int channels, bool globalHeader, std::string* error);
    const AVCodecContext* context() const { return m_codec; }

    // startUs: capture time of the first sample, relative to the origin.
    bool addSamples(const int16_t* samples, int frames, int64_t startUs, const PacketSink& sink);
    // Fills with silence up to endUs (the end of the pictures).
    bool padTo(int64_t endUs, const PacketSink& sink);
    // Encodes what is left and drains the encoder.
    bool finish(const PacketSink& sink);

    // Position of the next sample, in microseconds from the origin.
    int64_t positionUs() const;

private:
    bool appendSilence(int64_t frames, const PacketSink& sink);
    bool append(const int16_t* samples, int64_t frames, const PacketSink& sink);
    bool encodePending(bool all, const PacketSink& sink);
    bool drainPackets(const PacketSink& sink);
    int64_t framesToUs(int64_t frames) const;
    int64_t usToFrames(int64_t us) const;

    AVCodecContext* m_codec = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_channels = 0;
    int m_sampleRate = 0;
    int64_t m_framesPlaced = 0;   // samples placed on the timeline (incl. silence)
    int64_t m_framesEncoded = 0;  // samples handed to the encoder
    std::vector<float> m_pending; // interleaved, not yet encoded
    std::deque<int64_t> m_recentDrift;
};
