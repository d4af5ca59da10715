#include "audioencoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <algorithm>

namespace {

// Drift beyond this is corrected; below it, block timing jitter is
// ignored. Well under the 100 ms at which viewers notice lips out of sync.
constexpr int64_t kDriftToleranceUs = 40000;
// A block arrives late when the system is busy, never early: a gap is
// only filled when every block of the last second says so.
constexpr size_t kDriftWindow = 50;

} // namespace

AudioEncoder::AudioEncoder() = default;

AudioEncoder::~AudioEncoder()
{
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_codec);
}

bool AudioEncoder::open(int sampleRate, int channels, bool globalHeader, std::string* error)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) {
        *error = "no AAC encoder";
        return false;
    }
    m_codec = avcodec_alloc_context3(codec);
    m_sampleRate = sampleRate;
    m_channels = channels;
    m_codec->sample_fmt = AV_SAMPLE_FMT_FLTP;
    m_codec->sample_rate = sampleRate;
    av_channel_layout_default(&m_codec->ch_layout, channels);
    m_codec->bit_rate = 64000 * channels;
    m_codec->time_base = AVRational{1, sampleRate};
    if (globalHeader) {
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }
    const int r = avcodec_open2(m_codec, codec, nullptr);
    if (r < 0) {
        *error = "cannot open the AAC encoder";
        return false;
    }
    m_frame = av_frame_alloc();
    m_frame->format = m_codec->sample_fmt;
    m_frame->nb_samples = m_codec->frame_size;
    m_frame->sample_rate = sampleRate;
    av_channel_layout_copy(&m_frame->ch_layout, &m_codec->ch_layout);
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        *error = "out of memory";
        return false;
    }
    m_packet = av_packet_alloc();
    return true;
}

int64_t AudioEncoder::framesToUs(int64_t frames) const
{
    return frames * 1000000 / m_sampleRate;
}

int64_t AudioEncoder::usToFrames(int64_t us) const
{
    return us * m_sampleRate / 1000000;
}

int64_t AudioEncoder::positionUs() const
{
    return framesToUs(m_framesPlaced);
}

bool AudioEncoder::addSamples(const int16_t* samples, int frames, int64_t startUs,
                              const PacketSink& sink)
{
    if (frames <= 0) {
        return true;
    }
    const int64_t drift = startUs - positionUs();
    if (m_framesPlaced == 0 || drift < -kDriftToleranceUs) {
        // The very first block, and a device running ahead of the clock:
        // place the samples where they belong, dropping those before the
        // current position.
        const int64_t skip = std::min<int64_t>(frames, std::max<int64_t>(0, usToFrames(-drift)));
        if (m_framesPlaced == 0 && drift > 0 && !appendSilence(usToFrames(drift), sink)) {
            return false;
        }
        m_recentDrift.clear();
        return append(samples + skip * m_channels, frames - skip, sink);
    }
    m_recentDrift.push_back(drift);
    if (m_recentDrift.size() > kDriftWindow) {
        m_recentDrift.pop_front();
    }
    const int64_t leastDrift = *std::min_element(m_recentDrift.begin(), m_recentDrift.end());
    if (m_recentDrift.size() == kDriftWindow && leastDrift > kDriftToleranceUs) {
        // Samples were lost (an overrun): keep the sound in step.
        if (!appendSilence(usToFrames(leastDrift), sink)) {
            return false;
        }
        m_recentDrift.clear();
    }
    return append(samples, frames, sink);
}

bool AudioEncoder::padTo(int64_t endUs, const PacketSink& sink)
{
    const int64_t missing = usToFrames(endUs) - m_framesPlaced;
    return missing <= 0 || appendSilence(missing, sink);
}

bool AudioEncoder::appendSilence(int64_t frames, const PacketSink& sink)
{
    m_pending.insert(m_pending.end(), size_t(frames * m_channels), 0.0f);
    m_framesPlaced += frames;
    return encodePending(false, sink);
}

bool AudioEncoder::append(const int16_t* samples, int64_t frames, const PacketSink& sink)
{
    const size_t count = size_t(frames * m_channels);
    const size_t at = m_pending.size();
    m_pending.resize(at + count);
    for (size_t i = 0; i < count; ++i) {
        m_pending[at + i] = float(samples[i]) / 32768.0f;
    }
    m_framesPlaced += frames;
    return encodePending(false, sink);
}

bool AudioEncoder::encodePending(bool all, const PacketSink& sink)
{
    const int frameSize = m_codec->frame_size;
    size_t offset = 0;
    while (m_pending.size() - offset >= size_t(frameSize * m_channels) ||
           (all && m_pending.size() > offset)) {
        const int frames =
            int(std::min<size_t>(frameSize, (m_pending.size() - offset) / size_t(m_channels)));
        if (av_frame_make_writable(m_frame) < 0) {
            return false;
        }
        // The last frame may be short; the rest of it is silence.
        for (int c = 0; c < m_channels; ++c) {
            std::fill_n(reinterpret_cast<float*>(m_frame->data[c]), frameSize, 0.0f);
            float* plane = reinterpret_cast<float*>(m_frame->data[c]);
            for (int i = 0; i < frames; ++i) {
                plane[i] = m_pending[offset + size_t(i * m_channels + c)];
            }
        }
        m_frame->nb_samples = frameSize;
        m_frame->pts = m_framesEncoded;
        m_framesEncoded += frameSize;
        offset += size_t(frames * m_channels);
        if (avcodec_send_frame(m_codec, m_frame) < 0 || !drainPackets(sink)) {
            return false;
        }
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + long(offset));
    return true;
}

bool AudioEncoder::drainPackets(const PacketSink& sink)
{
    return drainEncodedPackets(m_codec, m_packet, sink);
}

bool AudioEncoder::finish(const PacketSink& sink)
{
    if (!m_codec) {
        return true;
    }
    if (!encodePending(true, sink)) {
        return false;
    }
    avcodec_send_frame(m_codec, nullptr);
    return drainPackets(sink);
}
