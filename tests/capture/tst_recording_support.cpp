#include "tst_recording_support.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

#include <QFile>

#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// A moving gradient with a little noise: like a camera picture, it neither
// compresses to nothing nor is pure noise, so the encoder has real work.
void paint(AVFrame* frame, int64_t n)
{
    av_frame_make_writable(frame);
    uint32_t seed = uint32_t(n * 2654435761u);
    for (int y = 0; y < frame->height; ++y) {
        uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            row[x] = uint8_t(((x + y + n * 4) & 0xff) / 2 + 64 + (seed >> 28));
        }
        memset(frame->data[1] + y * frame->linesize[1], 128 + int((y / 8 + n) % 32) - 16, 640);
        memset(frame->data[2] + y * frame->linesize[2], 128 - int((y / 8 + n) % 32) + 16, 640);
    }
}

} // namespace

int pushFrames(double seconds, const std::function<bool(const AVFrame*, int64_t)>& push)
{
    AVFrame* frame = av_frame_alloc();
    frame->format = AV_PIX_FMT_YUVJ422P, frame->width = 1280, frame->height = 720;
    av_frame_get_buffer(frame, 0);
    paint(frame, 0); // ahead: a running capture's first frame goes out at once
    const int64_t begin = av_gettime_relative();
    int pushed = 0;
    for (int64_t due = begin; due < begin + int64_t(seconds * 1e6); due += 1000000 / 30) {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::microseconds(due)));
        ++pushed;
        if (!push(frame, av_gettime_relative())) {
            break;
        }
        paint(frame, pushed); // into a new buffer: the pushed one is shared
    }
    av_frame_free(&frame);
    return pushed;
}

namespace {

// Frequency from the rising zero crossings (with hysteresis against coding
// noise) over the 10 ms windows that sound throughout: a partly filled one
// would count too few crossings for its length.
void measureTone(const std::vector<float>& samples, int sampleRate, FileFacts* facts)
{
    const size_t window = size_t(sampleRate / 100);
    const size_t half = window / 2;
    const float hysteresis = 0.02f;
    int rising = 0;
    size_t soundSamples = 0;
    bool armed = false;
    for (size_t at = 0; at + window <= samples.size(); at += window) {
        float peak[2] = {0.0f, 0.0f};
        int windowRising = 0;
        for (size_t i = at; i < at + window; ++i) {
            float& halfPeak = peak[i - at < half ? 0 : 1];
            halfPeak = std::max(halfPeak, std::fabs(samples[i]));
            if (samples[i] < -hysteresis) {
                armed = true;
            } else if (armed && samples[i] > hysteresis) {
                armed = false;
                ++windowRising;
            }
        }
        if (peak[0] >= 0.05f && peak[1] >= 0.05f) {
            rising += windowRising;
            soundSamples += window;
            facts->soundEnd = double(at + window) / sampleRate;
        }
    }
    facts->soundSeconds = double(soundSamples) / sampleRate;
    facts->toneHz = soundSamples ? rising / facts->soundSeconds : 0.0;
}

} // namespace

FileFacts inspectRecording(const QString& path)
{
    FileFacts facts;
    AVFormatContext* format = nullptr;
    const QByteArray name = QFile::encodeName(path);
    if (avformat_open_input(&format, name.constData(), nullptr, nullptr) < 0 ||
        avformat_find_stream_info(format, nullptr) < 0) {
        facts.error = QStringLiteral("cannot open or read the stream headers");
        avformat_close_input(&format);
        return facts;
    }
    facts.opened = true;
    StreamFacts* streams[2] = {&facts.video, &facts.audio};
    int index[2] = {-1, -1};
    AVCodecContext* decoders[2] = {nullptr, nullptr};
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVCodecParameters* p = format->streams[i]->codecpar;
        const int which = p->codec_type == AVMEDIA_TYPE_VIDEO   ? 0
                          : p->codec_type == AVMEDIA_TYPE_AUDIO ? 1
                                                                : -1;
        if (which < 0) {
            continue;
        }
        ++(which == 0 ? facts.videoStreams : facts.audioStreams);
        index[which] = int(i);
        *streams[which] = {QString::fromLatin1(avcodec_get_name(p->codec_id)), p->width, p->height,
                           p->sample_rate};
        const AVCodec* codec = avcodec_find_decoder(p->codec_id);
        decoders[which] = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(decoders[which], p);
        avcodec_open2(decoders[which], codec, nullptr);
    }
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::vector<float> sound;
    int64_t firstPts[2] = {AV_NOPTS_VALUE, AV_NOPTS_VALUE};
    int64_t endPts[2] = {0, 0}, lastPts[2] = {0, 0};
    int r = 0;
    while ((r = av_read_frame(format, packet)) >= 0) {
        const int which = packet->stream_index == index[0]   ? 0
                          : packet->stream_index == index[1] ? 1
                                                             : -1;
        AVCodecContext* codec = which < 0 ? nullptr : decoders[which];
        if (codec) {
            if (firstPts[which] == AV_NOPTS_VALUE || packet->pts < firstPts[which]) {
                firstPts[which] = packet->pts;
            }
            endPts[which] = std::max(endPts[which], packet->pts + packet->duration);
            lastPts[which] = std::max(lastPts[which], packet->pts);
            facts.decodeErrors += avcodec_send_packet(codec, packet) < 0 ? 1 : 0;
        }
        while (codec && avcodec_receive_frame(codec, frame) >= 0) {
            if (which == 0 && facts.videoFramesDecoded++ == 0) {
                facts.firstPicture = QImage(frame->data[0], frame->width, frame->height,
                                            frame->linesize[0], QImage::Format_Grayscale8)
                                         .copy();
            } else if (frame->format == AV_SAMPLE_FMT_FLTP) {
                const auto* left = reinterpret_cast<const float*>(frame->data[0]);
                sound.insert(sound.end(), left, left + frame->nb_samples);
            }
        }
        av_packet_unref(packet);
    }
    facts.readToEnd = r == AVERROR_EOF;
    for (int which = 0; which < 2; ++which) {
        if (firstPts[which] != AV_NOPTS_VALUE) {
            const double tb = av_q2d(format->streams[index[which]]->time_base);
            streams[which]->start = firstPts[which] * tb;
            streams[which]->duration = (endPts[which] - firstPts[which]) * tb;
            streams[which]->last = lastPts[which] * tb;
        }
    }
    if (decoders[1]) {
        measureTone(sound, decoders[1]->sample_rate, &facts);
        facts.soundEnd += facts.audio.start;
    }
    avcodec_free_context(&decoders[0]);
    avcodec_free_context(&decoders[1]);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avformat_close_input(&format);
    return facts;
}
