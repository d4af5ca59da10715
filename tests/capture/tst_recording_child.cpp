// A recorder in a process of its own, for the cases that kill it or fill
// its disk. Usage:
//   tst_recording_child <file> <seconds> [file-size-limit-bytes]
// Records the simulated camera's pictures and tone. Exit codes: 0 recorded
// and completed, 2 could not start, 3 the recording was ended by a write
// error (and stop() said the file was not completed), 4 anything else.

#include "mp4recorder.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "tst_recording_support.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <file> <seconds> [file-size-limit]\n", argv[0]);
        return 4;
    }
    if (argc > 3) {
        // The kernel refuses writes past the limit with EFBIG, as a full
        // disk refuses them with ENOSPC; without the signal ignored it
        // would kill the process instead.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlim_t limit = rlim_t(std::strtoull(argv[3], nullptr, 10));
        const rlimit r{limit, limit};
        setrlimit(RLIMIT_FSIZE, &r);
    }
    SimulatedDeviceCatalog catalog;
    DeviceCatalog::setInstance(&catalog);
    auto camera = SimulatedHub::instance().plugCamera();

    std::atomic<bool> failed{false};
    Mp4Recorder recorder;
    recorder.setFailureHandler([&failed](const std::string& error) {
        std::printf("failed %s\n", error.c_str());
        std::fflush(stdout);
        failed.store(true);
    });
    if (!recorder.start(argv[1], camera->config().microphoneName.toStdString(), 0, 1280, 720,
                        30.0)) {
        std::printf("not started %s\n", recorder.errorText().c_str());
        return 2;
    }
    const int pushed = pushFrames(std::atof(argv[2]), [&](const AVFrame* frame, int64_t us) {
        recorder.pushVideoFrame(frame, us);
        return !failed.load();
    });
    std::printf("pushed %d\n", pushed);
    const bool completed = recorder.stop();
    DeviceCatalog::setInstance(nullptr);
    if (failed.load()) {
        return completed ? 4 : 3;
    }
    return completed ? 0 : 4;
}
