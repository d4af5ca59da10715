// Recording 1280 x 720 at 30 fps with the simulated camera's tone, in real
// time as the capture worker feeds it:
//  - BM_Recording: dropped frames, and CPU time per recorded second beside
//    the ffmpeg program encoding the same frames and a tone with the same
//    settings (run one after the other, so neither steals the other's
//    cores);
//  - BM_RecordingMemory: resident memory over a long recording;
//  - BM_AvOffset: where the sound and the pictures of one instant meet at the
//    end of a long recording: the camera is unplugged a second before the
//    end, which silences its microphone at once, and the file's sound should
//    end where the last picture's capture time places the unplugging.
// LUMORA_BENCH_RECORD_SECONDS (default 60) and LUMORA_BENCH_MEMORY_SECONDS
// (default 300) set the lengths; --load=N runs N busy processes beside it,
// from the moment the load average has reached N.

#include "busyload.h"
#include "ffmpegpeer.h"
#include "mp4recorder.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "tst_recording_support.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/time.h>
}

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kFps = 30;
// Distinct frames cycled through: the source costs nothing while the
// recorder is measured, and the encoder still sees moving content.
constexpr int kFrameCycle = 60;

double envSeconds(const char* name, double fallback)
{
    const char* value = std::getenv(name);
    const double seconds = value ? std::atof(value) : 0.0;
    return seconds > 0.0 ? seconds : fallback;
}

double cpuSeconds(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double residentMb()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct FrameSet
{
    std::vector<AVFrame*> frames;

    FrameSet()
    {
        uint32_t seed = 1;
        for (int n = 0; n < kFrameCycle; ++n) {
            AVFrame* f = av_frame_alloc();
            f->format = AV_PIX_FMT_YUVJ422P;
            f->width = kWidth;
            f->height = kHeight;
            av_frame_get_buffer(f, 0);
            for (int y = 0; y < kHeight; ++y) {
                uint8_t* row = f->data[0] + y * f->linesize[0];
                for (int x = 0; x < kWidth; ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    row[x] = uint8_t(((x + y + n * 4) & 0xff) / 2 + 64 + (seed >> 28));
                }
            }
            for (int plane = 1; plane < 3; ++plane) {
                for (int y = 0; y < kHeight; ++y) {
                    uint8_t* row = f->data[plane] + y * f->linesize[plane];
                    for (int x = 0; x < kWidth / 2; ++x) {
                        row[x] = uint8_t(128 + ((x / 8 + n) % 32) - 16);
                    }
                }
            }
            frames.push_back(f);
        }
    }
    ~FrameSet()
    {
        for (AVFrame*& f : frames) {
            av_frame_free(&f);
        }
    }

    // The same frames as raw yuv422p for the ffmpeg program.
    bool writeRaw(const std::string& path) const
    {
        FILE* out = std::fopen(path.c_str(), "wb");
        if (!out) {
            return false;
        }
        for (const AVFrame* f : frames) {
            const int widths[3] = {kWidth, kWidth / 2, kWidth / 2};
            for (int plane = 0; plane < 3; ++plane) {
                for (int y = 0; y < kHeight; ++y) {
                    std::fwrite(f->data[plane] + y * f->linesize[plane], 1, size_t(widths[plane]),
                                out);
                }
            }
        }
        return std::fclose(out) == 0;
    }
};

struct RecordingRun
{
    int64_t pushed = 0;
    int64_t dropped = 0;
    int64_t recorded = 0;
    double seconds = 0.0;
    double cpu = 0.0;
    double rssStartMb = 0.0;
    double rssPeakGrowthMb = 0.0;
    bool ok = false;
};

RecordingRun record(const FrameSet& frames, const std::string& path, double seconds)
{
    RecordingRun run;
    SimulatedDeviceCatalog catalog;
    DeviceCatalog::setInstance(&catalog);
    SimulatedHub::instance().reset();
    auto camera = SimulatedHub::instance().plugCamera();
    Mp4Recorder recorder;
    const double cpuBefore = cpuSeconds(RUSAGE_SELF);
    if (!recorder.start(path, camera->config().microphoneName.toStdString(), 0, kWidth, kHeight,
                        kFps)) {
        DeviceCatalog::setInstance(nullptr);
        return run;
    }
    const int64_t begin = av_gettime_relative();
    for (int64_t due = begin; due < begin + int64_t(seconds * 1e6); due += 1000000 / kFps) {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::microseconds(due)));
        recorder.pushVideoFrame(frames.frames[size_t(run.pushed % kFrameCycle)],
                                av_gettime_relative());
        ++run.pushed;
        // Memory after the first ten seconds, once every buffer exists.
        if (run.pushed == 10 * kFps) {
            run.rssStartMb = residentMb();
        } else if (run.pushed > 10 * kFps && run.pushed % kFps == 0) {
            run.rssPeakGrowthMb = std::max(run.rssPeakGrowthMb, residentMb() - run.rssStartMb);
        }
    }
    run.ok = recorder.stop();
    run.seconds = (av_gettime_relative() - begin) / 1e6;
    run.cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    run.dropped = recorder.droppedFrames();
    run.recorded = recorder.recordedFrames();
    DeviceCatalog::setInstance(nullptr);
    SimulatedHub::instance().reset();
    return run;
}

// CPU seconds the ffmpeg program spends encoding the same frames and a
// tone for `seconds`, read in real time (-re) as a camera delivers them.
double ffmpegCpu(const std::string& raw, const std::string& out, double seconds)
{
    const std::string size = std::to_string(kWidth) + "x" + std::to_string(kHeight);
    const std::string length = std::to_string(seconds);
    const std::string gop = std::to_string(kFps);
    std::vector<std::string> args = {"ffmpeg",
                                     "-nostdin",
                                     "-v",
                                     "error",
                                     "-y",
                                     "-re",
                                     "-stream_loop",
                                     "-1",
                                     "-f",
                                     "rawvideo",
                                     "-pix_fmt",
                                     "yuv422p",
                                     "-color_range",
                                     "pc",
                                     "-s",
                                     size,
                                     "-r",
                                     gop,
                                     "-i",
                                     raw,
                                     "-re",
                                     "-f",
                                     "lavfi",
                                     "-i",
                                     "sine=frequency=440:sample_rate=48000",
                                     "-t",
                                     length};
    addLumoraLikeX264(args, gop);
    args.insert(args.end(), {"-c:a", "aac", "-ac", "2", "-b:a", "128k", "-movflags",
                             "frag_keyframe+empty_moov+default_base_moof", out});
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1.0;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1.0;
    }
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_Recording(benchmark::State& state)
{
    const double seconds = envSeconds("LUMORA_BENCH_RECORD_SECONDS", 60.0);
    QTemporaryDir dir;
    FrameSet frames;
    const std::string raw = QFile::encodeName(dir.filePath("frames.yuv")).toStdString();
    if (!frames.writeRaw(raw)) {
        state.SkipWithError("cannot write the raw frames");
        return;
    }
    for (auto _ : state) {
        const RecordingRun run =
            record(frames, QFile::encodeName(dir.filePath("lumora.mp4")).toStdString(), seconds);
        if (!run.ok) {
            state.SkipWithError("recording failed");
            return;
        }
        const double reference =
            ffmpegCpu(raw, QFile::encodeName(dir.filePath("ffmpeg.mp4")).toStdString(), seconds);
        if (reference <= 0.0) {
            state.SkipWithError("the ffmpeg program failed");
            return;
        }
        state.counters["pushed_frames"] = double(run.pushed);
        state.counters["dropped_frames"] = double(run.dropped);
        state.counters["recorded_frames"] = double(run.recorded);
        state.counters["cpu_s_per_recorded_s"] = run.cpu / run.seconds;
        state.counters["ffmpeg_cpu_s_per_s"] = reference / seconds;
        state.counters["cpu_ratio_to_ffmpeg"] = (run.cpu / run.seconds) / (reference / seconds);
    }
}

void BM_RecordingMemory(benchmark::State& state)
{
    const double seconds = envSeconds("LUMORA_BENCH_MEMORY_SECONDS", 300.0);
    QTemporaryDir dir;
    FrameSet frames;
    for (auto _ : state) {
        const RecordingRun run =
            record(frames, QFile::encodeName(dir.filePath("long.mp4")).toStdString(), seconds);
        if (!run.ok) {
            state.SkipWithError("recording failed");
            return;
        }
        state.counters["seconds"] = run.seconds;
        state.counters["dropped_frames"] = double(run.dropped);
        state.counters["rss_after_10s_mb"] = run.rssStartMb;
        state.counters["rss_growth_mb"] = run.rssPeakGrowthMb;
    }
}

// Records `seconds`, the camera unplugged one second before the end; the
// sound's end against the unplugging's place on the pictures' clock, in ms.
bool recordUnplugged(const FrameSet& frames, const std::string& path, double seconds,
                     benchmark::State& state)
{
    SimulatedDeviceCatalog catalog;
    DeviceCatalog::setInstance(&catalog);
    SimulatedHub::instance().reset();
    auto camera = SimulatedHub::instance().plugCamera();
    Mp4Recorder recorder;
    if (!recorder.start(path, camera->config().microphoneName.toStdString(), 0, kWidth, kHeight,
                        kFps)) {
        DeviceCatalog::setInstance(nullptr);
        return false;
    }
    const int64_t begin = av_gettime_relative();
    const int64_t unplugAt = begin + int64_t((seconds - 1.0) * 1e6);
    int64_t unpluggedUs = -1, lastUs = -1, pushed = 0;
    for (int64_t due = begin; due < begin + int64_t(seconds * 1e6); due += 1000000 / kFps) {
        std::this_thread::sleep_until(
            std::chrono::steady_clock::time_point(std::chrono::microseconds(due)));
        const int64_t now = av_gettime_relative();
        if (unpluggedUs < 0 && now >= unplugAt) {
            camera->setPlugged(false);
            unpluggedUs = now;
        }
        const int64_t dropped = recorder.droppedFrames();
        recorder.pushVideoFrame(frames.frames[size_t(pushed++ % kFrameCycle)], now);
        lastUs = recorder.droppedFrames() == dropped ? now : lastUs;
    }
    const bool ok = recorder.stop();
    DeviceCatalog::setInstance(nullptr);
    SimulatedHub::instance().reset();
    const FileFacts f = inspectRecording(QString::fromStdString(path));
    const double unplugged = f.video.last + (unpluggedUs - lastUs) / 1e6;
    state.counters["dropped_frames"] = double(recorder.droppedFrames());
    state.counters["sound_end_s"] = f.soundEnd;
    state.counters["unplugged_at_s"] = unplugged;
    state.counters["av_offset_ms"] = (f.soundEnd - unplugged) * 1000.0;
    state.counters["sound_gaps_ms"] = (f.soundEnd - f.audio.start - f.soundSeconds) * 1000.0;
    return ok && f.opened && f.soundSeconds > 0;
}

void BM_AvOffset(benchmark::State& state)
{
    const double seconds = envSeconds("LUMORA_BENCH_RECORD_SECONDS", 60.0);
    QTemporaryDir dir;
    FrameSet frames;
    for (auto _ : state) {
        const std::string path = QFile::encodeName(dir.filePath("offset.mp4")).toStdString();
        if (!recordUnplugged(frames, path, std::max(seconds, 3.0), state)) {
            state.SkipWithError("recording failed");
            return;
        }
    }
}

} // namespace

BENCHMARK(BM_Recording)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_RecordingMemory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_AvOffset)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv)
{
    const int busy = BusyLoad::takeArgument(argc, argv);
    BusyLoad load(busy);
    if (busy > 0 && !BusyLoad::waitForLoad(busy, 300)) {
        std::fprintf(stderr, "the load average did not reach %d\n", busy);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("load average %.1f at the end (%d busy processes)\n", BusyLoad::loadAverage(),
                busy);
    return 0;
}
