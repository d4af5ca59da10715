#pragma once

#include <cstdint>
#include <vector>

struct AVBSFContext;
struct AVCodecContext;
struct AVCodecParameters;
struct AVCodecParserContext;
struct AVPacket;

// Looks into the H.264 access units a camera sends, as they come, so that a
// recording can store them without decoding: which ones start a picture that
// needs none before it, and the newest parameter sets (SPS and PPS) the
// stream carried, which the file's header needs before the first picture.
// FFmpeg's own parser and extract_extradata filter read the NAL units; the
// packets themselves are left as they are.
class H264Inspector
{
public:
    H264Inspector();
    ~H264Inspector();
    H264Inspector(const H264Inspector&) = delete;
    H264Inspector& operator=(const H264Inspector&) = delete;

    bool open(const AVCodecParameters* parameters);

    // Sets or clears the packet's key flag; true when it carried parameter
    // sets that differ from the last ones.
    bool inspect(AVPacket* packet);

    // Annex B, as they came; empty until a packet carried them.
    const std::vector<uint8_t>& parameterSets() const { return m_parameterSets; }

private:
    void close();

    AVCodecParserContext* m_parser = nullptr;
    AVCodecContext* m_codec = nullptr;
    AVBSFContext* m_extract = nullptr;
    AVPacket* m_look = nullptr;
    std::vector<uint8_t> m_parameterSets;
};
