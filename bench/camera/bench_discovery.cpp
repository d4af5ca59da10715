// One discovery pass of the main window (device lists, pairing, combo box
// rebuild) with two simulated cameras and the audio inputs of a live,
// private PulseAudio server. Run with QT_QPA_PLATFORM=offscreen.
#include "linuxdevicecatalog.h"
#include "mainwindowinspector.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

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

bool waitForServer()
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 10000) {
        if (QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("info")}) == 0) {
            return true;
        }
        QThread::msleep(100);
    }
    return false;
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
    QTemporaryDir runtime;
    const QString socket = runtime.path() + QStringLiteral("/pulse.sock");
    qputenv("PULSE_SERVER", ("unix:" + socket).toLocal8Bit());
    qputenv("PULSE_RUNTIME_PATH", runtime.path().toLocal8Bit());
    qputenv("HOME", runtime.path().toLocal8Bit());

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(
        QStringLiteral("pulseaudio"),
        {QStringLiteral("-n"), QStringLiteral("--daemonize=no"),
         QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disable-shm=yes"),
         QStringLiteral("--load=module-native-protocol-unix auth-anonymous=1 socket=") + socket,
         QStringLiteral(
             "--load=module-null-sink sink_name=spk1 sink_properties=device.description=Speakers"),
         QStringLiteral("--load=module-null-source source_name=mic1 description=Mic"),
         QStringLiteral("--load=module-null-source source_name=mic2 description=USB_Mic")});
    if (!server.waitForStarted() || !waitForServer()) {
        std::fprintf(stderr, "bench_discovery: could not start a private PulseAudio server\n");
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

    server.terminate();
    server.waitForFinished(3000);
    return 0;
}
