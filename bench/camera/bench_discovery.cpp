// One discovery pass of the main window (device lists, pairing, combo box
// rebuild) with two simulated cameras and the audio inputs of a live,
// private PulseAudio server. Run with QT_QPA_PLATFORM=offscreen.
#include "linuxdevicecatalog.h"
#include "mainwindowinspector.h"
#include "privatepulseserver.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

namespace {

Vorn_Cam* g_window = nullptr;

void BM_DiscoveryPass(benchmark::State& state)
{
    MainWindowInspector inspect(*g_window);
    for (auto _ : state) {
        inspect.discoveryPass();
    }
    state.counters["cameras"] = inspect.cameraTable().size();
    int paired = 0;
    for (const CameraDevice& device : inspect.cameraTable()) {
        paired += device.microphone.isNull() ? 0 : 1;
    }
    state.counters["paired"] = paired;
}

} // namespace

BENCHMARK(BM_DiscoveryPass)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    PrivatePulseServer server;
    QString error;
    if (!server.start(&error) || server.addNullSink("spk1", "Speakers") < 0 ||
        server.addNullSource("mic1", "Mic") < 0 || server.addNullSource("mic2", "USB Mic") < 0) {
        std::fprintf(stderr, "bench_discovery: no private PulseAudio server: %s\n",
                     qPrintable(error));
        return 1;
    }

    QApplication app(argc, argv);
    SimulatedHub::instance().plugCamera();
    SimulatedCameraConfig second;
    second.description = QStringLiteral("Huddle Camera");
    second.microphoneName = QStringLiteral("Microphone (Huddle Camera)");
    SimulatedHub::instance().plugCamera(second);
    SimulatedDeviceCatalog catalog(std::make_unique<LinuxDeviceCatalog>());
    DeviceCatalog::setInstance(&catalog);
    std::fprintf(stderr, "audio inputs seen: %d\n", catalog.audioInputs().size());

    auto window = std::make_unique<Vorn_Cam>();
    g_window = window.get();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    window.reset();
    DeviceCatalog::setInstance(nullptr);
    return 0;
}
