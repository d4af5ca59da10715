// Speed of the preview effects.
//
// Tones: warmTone / coolTone and the one-pass in-place shift the effect
// page uses, against the per-pixel QImage::pixel / setPixel reference, on
// one 800 x 530 preview picture, in the same run.
//
// Frame path: what the main window does with every 1280 x 720 frame (copy
// for the snapshot, nearest scaling to 800 x 530, the effect page's chain,
// the pixmap), with every effect on at the strengths a user picks and at
// the slowest slider positions, with all effects off, and without the
// effect page at all.
//
// Run with QT_QPA_PLATFORM=offscreen. After the table the program prints
// the medians side by side: tone speed-up and frame path cost.
#include "framescaler.h"
#include "referencefilters.h"
#include "tonefilters.h"
#include "vorn_settingai.h"

#include <QApplication>
#include <QImage>
#include <QPixmap>
#include <QSlider>

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

namespace {

const QSize kPreview(800, 530);
const QSize kFrame(1280, 720);

// A camera-like picture: smooth areas and edges, so the bilateral filter
// sees both alike and unlike neighbours.
QImage previewPicture()
{
    return reference::scenePicture(kPreview.width(), kPreview.height());
}

void BM_WarmReference(benchmark::State& state)
{
    const QImage picture = previewPicture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::warmTone(60, picture).constBits());
    }
}

void BM_WarmTone(benchmark::State& state)
{
    const QImage picture = previewPicture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(warmTone(60, picture).constBits());
    }
}

void BM_CoolReference(benchmark::State& state)
{
    const QImage picture = previewPicture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(reference::coolTone(60, picture).constBits());
    }
}

void BM_CoolTone(benchmark::State& state)
{
    const QImage picture = previewPicture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(coolTone(60, picture).constBits());
    }
}

// What the effect page runs on an RGB888 preview: both tones in one pass
// into its reused buffer.
void BM_BothTonesOnePass(benchmark::State& state)
{
    const QImage picture = previewPicture();
    QImage target(picture.size(), QImage::Format_RGB888);
    for (auto _ : state) {
        shiftChannels(picture, target, 60, 60);
        benchmark::DoNotOptimize(target.constBits());
    }
}

QImage cameraFrame()
{
    return reference::scenePicture(kFrame.width(), kFrame.height());
}

// As Vorn_Cam::on_CameraView: the snapshot copy reuses its buffer.
void keepLastFrame(QImage& last, const QImage& frame)
{
    if (last.size() != frame.size()) {
        last = QImage(frame.size(), QImage::Format_RGB888);
    }
    for (int y = 0; y < frame.height(); ++y) {
        std::memcpy(last.scanLine(y), frame.constScanLine(y), size_t(frame.width() * 3));
    }
}

void setSliders(Vorn_settingAI& page, int warm, int cool, int vague, int smooth)
{
    const int values[] = {warm, cool, vague, smooth};
    for (int row = 0; row < 4; ++row) {
        page.findChild<QSlider*>(QStringLiteral("slider_%1").arg(row))->setValue(values[row]);
    }
}

// The frame as the capture library lends it: a picture over its buffer.
void runFramePath(benchmark::State& state, Vorn_settingAI* page)
{
    const QImage source = cameraFrame();
    const QImage frame(source.constBits(), kFrame.width(), kFrame.height(), source.bytesPerLine(),
                       QImage::Format_RGB888);
    QImage last;
    for (auto _ : state) {
        keepLastFrame(last, frame);
        // As the window letterboxes it: the effects see the picture, not the
        // bars, and their result goes back into the preview.
        QImage preview = scaleFitted(frame, kPreview.width(), kPreview.height());
        const QRect area = fittedRect(frame.size(), kPreview);
        QImage picture(preview.scanLine(area.y()), area.width(), area.height(),
                       preview.bytesPerLine(), QImage::Format_RGB888);
        if (page) {
            page->applyEffects(picture);
            for (int y = 0; y < area.height(); ++y) {
                std::memcpy(preview.scanLine(area.y() + y), picture.constScanLine(y),
                            size_t(area.width()) * 3);
            }
        }
        const QPixmap pixmap = QPixmap::fromImage(preview);
        benchmark::DoNotOptimize(pixmap.cacheKey());
    }
}

void BM_FramePathWithoutEffectPage(benchmark::State& state)
{
    runFramePath(state, nullptr);
}

void BM_FramePathEffectsOff(benchmark::State& state)
{
    Vorn_settingAI page(nullptr);
    runFramePath(state, &page);
}

// Strengths a user settles on: a touch of warmth, a soft blur, moderate
// smoothing.
void BM_FramePathAllOnTypical(benchmark::State& state)
{
    Vorn_settingAI page(nullptr);
    setSliders(page, 20, 10, 5, 40);
    runFramePath(state, &page);
}

// Every slider at its end stop.
void BM_FramePathAllOnMaximum(benchmark::State& state)
{
    Vorn_settingAI page(nullptr);
    setSliders(page, 100, 100, 50, 255);
    runFramePath(state, &page);
}

// The same with OpenCV held to one thread: the machine's other core busy
// with another program.
void BM_FramePathAllOnMaximumOneThread(benchmark::State& state)
{
    Vorn_settingAI page(nullptr);
    setSliders(page, 100, 100, 50, 255);
    const int threads = cv::getNumThreads();
    cv::setNumThreads(1);
    runFramePath(state, &page);
    cv::setNumThreads(threads);
}

void BM_FramePathBlurOnly(benchmark::State& state)
{
    Vorn_settingAI page(nullptr);
    setSliders(page, 0, 0, 50, 0);
    runFramePath(state, &page);
}

void BM_FramePathSmoothingOnly(benchmark::State& state)
{
    Vorn_settingAI page(nullptr);
    setSliders(page, 0, 0, 0, 255);
    runFramePath(state, &page);
}

// Keeps the median of every benchmark for the summary.
class MedianReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.aggregate_name == "median") {
                medians[run.run_name.function_name] = run.GetAdjustedRealTime();
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }

    void printSummary() const
    {
        std::printf("\nmedians (ms)\n");
        ratio("warm tone", "BM_WarmReference", "BM_WarmTone");
        ratio("cool tone", "BM_CoolReference", "BM_CoolTone");
        ratio("both tones, one pass", "BM_WarmReference", "BM_BothTonesOnePass");
        for (const char* name :
             {"BM_FramePathWithoutEffectPage", "BM_FramePathEffectsOff", "BM_FramePathAllOnTypical",
              "BM_FramePathAllOnMaximum", "BM_FramePathAllOnMaximumOneThread",
              "BM_FramePathBlurOnly", "BM_FramePathSmoothingOnly"}) {
            if (medians.count(name)) {
                std::printf("  %-32s %8.3f ms\n", name, medians.at(name));
            }
        }
    }

    std::map<std::string, double> medians;

private:
    void ratio(const char* what, const char* slow, const char* fast) const
    {
        if (!medians.count(slow) || !medians.count(fast) || medians.at(fast) <= 0) {
            return;
        }
        std::printf("  %-20s reference %8.3f, fast %8.3f: %.1f times faster\n", what,
                    medians.at(slow), medians.at(fast), medians.at(slow) / medians.at(fast));
    }
};

} // namespace

#define LUMORA_BENCH(fn)                                                                           \
    BENCHMARK(fn)->Unit(benchmark::kMillisecond)->Repetitions(10)->ReportAggregatesOnly(true)

LUMORA_BENCH(BM_WarmReference);
LUMORA_BENCH(BM_WarmTone);
LUMORA_BENCH(BM_CoolReference);
LUMORA_BENCH(BM_CoolTone);
LUMORA_BENCH(BM_BothTonesOnePass);
LUMORA_BENCH(BM_FramePathWithoutEffectPage);
LUMORA_BENCH(BM_FramePathEffectsOff);
LUMORA_BENCH(BM_FramePathAllOnTypical);
LUMORA_BENCH(BM_FramePathAllOnMaximum);
LUMORA_BENCH(BM_FramePathAllOnMaximumOneThread);
LUMORA_BENCH(BM_FramePathBlurOnly);
LUMORA_BENCH(BM_FramePathSmoothingOnly);

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printSummary();
    return 0;
}
