// Cost of the volume operations and of the discovery pass's source list on
// a private PulseAudio server: a slider move must not stall the window, and
// neither may a dead or hung server.
#include "privatepulseserver.h"
#include "pulsesourcelist.h"
#include "systemvolume.h"

#include <QCoreApplication>
#include <QThread>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

PrivatePulseServer* g_server = nullptr;

void BM_SetSpeakerVolume(benchmark::State& state)
{
    SystemVolume volume;
    int position = 0;
    for (auto _ : state) {
        volume.setSpeakerVolume(float(position));
        position = (position + 7) % 101;
    }
}
BENCHMARK(BM_SetSpeakerVolume)->Unit(benchmark::kMillisecond);

void BM_SetMicVolume(benchmark::State& state)
{
    SystemVolume volume;
    int position = 0;
    for (auto _ : state) {
        volume.setMicVolume(float(position));
        position = (position + 7) % 101;
    }
}
BENCHMARK(BM_SetMicVolume)->Unit(benchmark::kMillisecond);

void BM_GetSpeakerVolume(benchmark::State& state)
{
    SystemVolume volume;
    for (auto _ : state) {
        float value = 0.0f;
        volume.getSpeakerVolume(value);
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_GetSpeakerVolume)->Unit(benchmark::kMillisecond);

void BM_DiscoverySourceList(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(PulseSourceList::instance().sources());
    }
}
BENCHMARK(BM_DiscoverySourceList)->Unit(benchmark::kMicrosecond);

// One slider move while the server is frozen: the request gives up after
// its bound and drops the connection.
void BM_HungServerSliderMove(benchmark::State& state)
{
    SystemVolume volume;
    for (auto _ : state) {
        state.PauseTiming();
        g_server->pause();
        state.ResumeTiming();
        volume.setSpeakerVolume(50.0f);
        state.PauseTiming();
        g_server->resume();
        // Back on the server before the next round.
        for (int i = 0; i < 200 && PulseSourceList::instance().sources().isEmpty(); ++i) {
            QThread::msleep(50);
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_HungServerSliderMove)->Unit(benchmark::kMillisecond)->Iterations(3);

// A whole refresh and move of both pop-ups with the server gone.
void BM_DeadServerPass(benchmark::State& state)
{
    g_server->stop();
    SystemVolume volume;
    for (auto _ : state) {
        float value = 0.0f;
        volume.getSpeakerVolume(value);
        volume.getMicVolume(value);
        volume.setSpeakerVolume(40.0f);
        volume.setMicVolume(40.0f);
    }
}
BENCHMARK(BM_DeadServerPass)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    PrivatePulseServer server;
    QString error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "no private PulseAudio server: %s\n", qPrintable(error));
        return 1;
    }
    server.addNullSink(QStringLiteral("spk1"), QStringLiteral("Speakers"));
    server.addNullSink(QStringLiteral("spk2"), QStringLiteral("Headphones"));
    server.addNullSource(QStringLiteral("mic1"), QStringLiteral("USB Microphone"));
    server.addNullSource(QStringLiteral("line1"), QStringLiteral("Line In"));
    g_server = &server;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_server = nullptr;
    return 0;
}
