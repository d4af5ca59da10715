// The virtual camera's costs: publishing one 1280 x 720 frame into the
// shared segment (scale to 640 x 480, flip, copy under the lock, with the
// per-frame detach and attach), and the time from a published frame to the
// feeder's output, a separate process writing to a pipe as it would to the
// loopback device. The warning the writer logs per frame is discarded, so
// the terminal's speed does not count.
#include "vorn_sharedmemory.h"

#include <QCoreApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QSharedMemory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

void silent(QtMsgType, const QMessageLogContext&, const QString&) {}

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

void BM_PublishFrame(benchmark::State& state)
{
    QImage frame = cameraFrame();
    Vorn_SharedMemory shared;
    shared.captureOpen = true;
    // The writer keeps the segment itself; a reader holding it as well
    // must cost it nothing.
    QSharedMemory reader(QStringLiteral("shareFrame"));
    if (state.range(0)) {
        shared.ImageFrame(frame.bits(), 1280, 720);
        reader.attach(QSharedMemory::ReadOnly);
    }
    for (auto _ : state) {
        shared.ImageFrame(frame.bits(), 1280, 720);
    }
    state.SetLabel(state.range(0) ? "segment held by a reader" : "no reader");
}

// The feeder, started with its output on a pipe that a thread drains
// continuously; the thread notes when the first luma byte of a frame takes
// a new value.
class FeederUnderTest
{
public:
    FeederUnderTest()
    {
        int fds[2];
        if (pipe(fds) != 0) {
            return;
        }
        const QByteArray program =
            (QCoreApplication::applicationDirPath() + "/virtual/lumora-vcam-feeder").toLocal8Bit();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        char* argv[] = {const_cast<char*>(program.constData()),
                        const_cast<char*>("--output"),
                        const_cast<char*>("-"),
                        const_cast<char*>("--fps"),
                        const_cast<char*>("30"),
                        nullptr};
        posix_spawn(&m_pid, program.constData(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        m_fd = fds[0];
        m_thread = std::thread([this] { drain(); });
    }

    ~FeederUnderTest()
    {
        kill(m_pid, SIGTERM);
        waitpid(m_pid, nullptr, 0);
        m_thread.join();
        close(m_fd);
    }

    int lastLuma() const { return m_luma.load(); }
    Clock::time_point lastChange() const
    {
        return Clock::time_point(Clock::duration(m_changedAt.load()));
    }

private:
    void drain()
    {
        constexpr size_t kFrameBytes = 640 * 480 * 2;
        std::vector<char> buffer(1 << 16);
        size_t offset = 0;
        for (;;) {
            const ssize_t got = read(m_fd, buffer.data(), buffer.size());
            if (got <= 0) {
                return;
            }
            // The first byte of a frame arrives with the frame's first write.
            size_t at = 0;
            while (at < size_t(got)) {
                if (offset == 0 && uchar(buffer[at]) != m_luma.load()) {
                    m_changedAt.store(Clock::now().time_since_epoch().count());
                    m_luma.store(uchar(buffer[at]));
                }
                const size_t take = std::min(size_t(got) - at, kFrameBytes - offset);
                at += take;
                offset = (offset + take) % kFrameBytes;
            }
        }
    }

    pid_t m_pid = -1;
    int m_fd = -1;
    std::thread m_thread;
    std::atomic<int> m_luma{-1};
    std::atomic<Clock::rep> m_changedAt{0};
};

void BM_FeederLatency(benchmark::State& state)
{
    FeederUnderTest feeder;
    Vorn_SharedMemory shared;
    shared.captureOpen = true;
    QImage frame(1280, 720, QImage::Format_RGB888);
    QRandomGenerator random(7);
    std::vector<double> latencies;
    int level = 0;
    for (auto _ : state) {
        // Frames are published at any moment of the feeder's period.
        std::this_thread::sleep_for(std::chrono::microseconds(random.bounded(40000)));
        level = (level + 37) % 200 + 20;
        frame.fill(QColor(level, level, level));
        const int before = feeder.lastLuma();
        shared.ImageFrame(frame.bits(), 1280, 720);
        // From the record being in place; publishing is measured above.
        const Clock::time_point published = Clock::now();
        while (feeder.lastLuma() == before) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            if (Clock::now() - published > std::chrono::seconds(2)) {
                state.SkipWithError("the feeder sent no new frame");
                return;
            }
        }
        const double seconds =
            std::chrono::duration<double>(feeder.lastChange() - published).count();
        state.SetIterationTime(seconds);
        latencies.push_back(seconds * 1000);
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2];
    state.counters["max_ms"] = latencies.back();
    state.counters["frame_ms"] = 1000.0 / 30;
}

} // namespace

BENCHMARK(BM_PublishFrame)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(10)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_FeederLatency)->UseManualTime()->Iterations(60)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Private keys: a running Lumora or a test suite must not meet the bench.
    QTemporaryDir keys;
    qputenv("TMPDIR", keys.path().toLocal8Bit());
    qInstallMessageHandler(silent);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
