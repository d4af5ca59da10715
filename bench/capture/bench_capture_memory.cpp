#include "processstats.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "vorn_ffmpeglib.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QTimer>

#include <cstdio>

// Resident memory while a simulated camera is previewed the way the main
// window does (a deep copy of every frame). Usage: bench_capture_memory
// [seconds, default 300]. Prints the resident memory every 10 s and the growth from the
// first sample after warm-up to the last; target: flat.
static long residentKb()
{
    return long(residentMb(0) * 1024);
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? qMax(10, QByteArray(argv[1]).toInt()) : 300;

    SimulatedDeviceCatalog catalog;
    DeviceCatalog::setInstance(&catalog);
    auto camera = SimulatedHub::instance().plugCamera();
    camera->modifyState([](SimulatedCameraState& s) { s.panSpeed = 1; });

    Vorn_FFmpeglib lib;
    QImage lastFrame;
    long frames = 0;
    QObject::connect(
        &lib, &Vorn_FFmpeglib::frameBuffer, &app,
        [&](uint8_t* buffer, int w, int h) {
            lastFrame = QImage(buffer, w, h, QImage::Format_RGB888).copy();
            ++frames;
        },
        Qt::DirectConnection);
    lib.SetVideoSize("1280x720");
    lib.SetCapture(camera->config().description.toStdString(), 0);
    if (!lib.StartCapture()) {
        std::fprintf(stderr, "capture did not open\n");
        return 1;
    }

    QList<long> samples;
    int elapsed = 0;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, &app, [&] {
        elapsed += 10;
        samples.append(residentKb());
        std::printf("%4d s  VmRSS %ld kB  frames %ld\n", elapsed, samples.last(), frames);
        std::fflush(stdout);
        if (elapsed >= seconds) {
            app.quit();
        }
    });
    sampler.start(10000);
    app.exec();
    lib.StopCapture();

    if (samples.size() >= 2) {
        std::printf("growth from 10 s to %d s: %ld kB (%.1f fps)\n", elapsed,
                    samples.last() - samples.first(), double(frames) / elapsed);
    }
    return 0;
}
