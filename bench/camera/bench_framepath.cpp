// The main window's per-frame work for a 1280 x 720 frame with no effects:
// keep a full-size copy, fit it into the 800 x 530 preview with black bars,
// make the pixmap.
// Run with QT_QPA_PLATFORM=offscreen.
#include "framescaler.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRandomGenerator>

#include <benchmark/benchmark.h>

#include <cstring>

namespace {

QImage cameraFrame()
{
    QImage frame(1280, 720, QImage::Format_RGB888);
    QRandomGenerator random(1);
    for (int y = 0; y < frame.height(); ++y) {
        uchar* row = frame.scanLine(y);
        for (int x = 0; x < frame.width() * 3; ++x) {
            row[x] = uchar(random.bounded(256));
        }
    }
    return frame;
}

void copyInto(QImage& last, const QImage& frame)
{
    if (last.size() != frame.size()) {
        last = QImage(frame.size(), QImage::Format_RGB888);
    }
    for (int y = 0; y < frame.height(); ++y) {
        std::memcpy(last.scanLine(y), frame.constScanLine(y), size_t(frame.width() * 3));
    }
}

void BM_FramePath(benchmark::State& state)
{
    const QImage source = cameraFrame();
    const QImage frame(source.constBits(), 1280, 720, source.bytesPerLine(), QImage::Format_RGB888);
    QImage last;
    for (auto _ : state) {
        copyInto(last, frame);
        QImage preview = scaleFitted(frame, 800, 530);
        QPixmap pixmap = QPixmap::fromImage(preview);
        benchmark::DoNotOptimize(pixmap.cacheKey());
    }
}

// What the frame path would cost with Qt's own scaling, side by side.
void BM_FramePathQtScaled(benchmark::State& state)
{
    const QImage source = cameraFrame();
    const QImage frame(source.constBits(), 1280, 720, source.bytesPerLine(), QImage::Format_RGB888);
    QImage last;
    for (auto _ : state) {
        last = frame.copy();
        QImage preview = frame.scaled(800, 530, Qt::IgnoreAspectRatio, Qt::FastTransformation);
        QPixmap pixmap = QPixmap::fromImage(preview);
        benchmark::DoNotOptimize(pixmap.cacheKey());
    }
}

void BM_ScaleOnly(benchmark::State& state)
{
    const QImage frame = cameraFrame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(scaleNearest(frame, 800, 530).constBits());
    }
}

void BM_FitOnly(benchmark::State& state)
{
    const QImage frame = cameraFrame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(scaleFitted(frame, 800, 530).constBits());
    }
}

void BM_QtScaleOnly(benchmark::State& state)
{
    const QImage frame = cameraFrame();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            frame.scaled(800, 530, Qt::IgnoreAspectRatio, Qt::FastTransformation).constBits());
    }
}

} // namespace

BENCHMARK(BM_FramePath)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_FramePathQtScaled)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ScaleOnly)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_FitOnly)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true);
BENCHMARK(BM_QtScaleOnly)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
