#include "framedecoder.h"
#include "rgbconverter.h"
#include "rgbframe.h"
#include "simulatedcamera.h"
#include "simulatedframerenderer.h"
#include "simulatedvideostream.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <memory>
#include <vector>

// Decode + convert of the camera's 720p MJPEG on one core: the capture
// worker's whole per-frame cost. Target: at least 120 frames/s (4x real
// time at 30 fps).
static void BM_DecodeConvert720p(benchmark::State& state)
{
    auto camera = std::make_shared<SimulatedCamera>("sim:bench", SimulatedCameraConfig{});
    SimulatedVideoStream stream(camera);
    AVPacket* packet = av_packet_alloc();
    SimulatedCameraState look;
    if (!stream.encode(look, 12 * 3600 * 1000, 1.0, packet)) {
        state.SkipWithError("no MJPEG encoder");
        return;
    }
    AVCodecParameters* p = avcodec_parameters_alloc();
    p->codec_type = AVMEDIA_TYPE_VIDEO;
    p->codec_id = AV_CODEC_ID_MJPEG;
    p->width = stream.width();
    p->height = stream.height();
    FrameDecoder decoder;
    decoder.open(p, 1);
    RgbConverter converter;
    RgbFrame rgb;
    for (auto _ : state) {
        const AVFrame* f = decoder.decode(packet);
        if (!f || !converter.convert(f, 1280, 720, rgb)) {
            state.SkipWithError("decode failed");
            break;
        }
        benchmark::DoNotOptimize(rgb.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["jpeg_kB"] = packet->size / 1024.0;
    avcodec_parameters_free(&p);
    av_packet_free(&packet);
}
BENCHMARK(BM_DecodeConvert720p)->Unit(benchmark::kMillisecond);

// The simulated camera's picture alone, then with its MJPEG encode: what
// the demo spends per frame to stand in for the hardware.
static void BM_SimulatedRender720p(benchmark::State& state)
{
    SimulatedFrameRenderer renderer(1280, 720);
    std::vector<uint8_t> y(1280 * 720), u(640 * 360), v(640 * 360);
    const SimulatedYuvPlanes planes{y.data(), u.data(), v.data(), 1280, 640, 640};
    SimulatedCameraState look;
    look.zoom = 30;
    look.redShift = 3;
    double t = 0;
    for (auto _ : state) {
        renderer.render(look, 12 * 3600 * 1000, t += 1.0 / 30, planes);
        benchmark::DoNotOptimize(y.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SimulatedRender720p)->Unit(benchmark::kMillisecond);

static void BM_SimulatedRenderEncode720p(benchmark::State& state)
{
    auto camera = std::make_shared<SimulatedCamera>("sim:bench", SimulatedCameraConfig{});
    SimulatedVideoStream stream(camera);
    AVPacket* packet = av_packet_alloc();
    SimulatedCameraState look;
    double t = 0;
    for (auto _ : state) {
        if (!stream.encode(look, 12 * 3600 * 1000, t += 1.0 / 30, packet)) {
            state.SkipWithError("encode failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
    av_packet_free(&packet);
}
BENCHMARK(BM_SimulatedRenderEncode720p)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
