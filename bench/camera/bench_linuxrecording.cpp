// Recording on the real Linux camera path: `lumora-ctl record` against the
// user-space uvcvideo camera of tests/uvcdevice in one of its MJPEG modes,
// then the ffmpeg command line recording the same kind of device with the
// same encoder settings, one after the other so that neither takes the
// other's cores. ffmpeg keeps each picture's own time (passthrough): by
// default it would fill the gaps with copies to a constant rate. For each file: the frames in it
// and the frames lost, from the gaps between the kernel's time stamps its pictures keep (ffprobe's
// packet times), and the CPU seconds per recorded second.
//
// Arguments: seconds to record (default 60), --mode=WxH@FPS (default
// 1920x1080@60) and --load=N, N busy processes beside it; each recorder then
// starts once the load average has reached N, in a session of its own as an
// application is.
#include "busyload.h"
#include "ffmpegpeer.h"
#include "processstats.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

const char* kCamera = "PTZ Cam|all|4,6";

struct Mode
{
    int width = 1920, height = 1080, fps = 60;
    std::string size() const { return std::to_string(width) + "x" + std::to_string(height); }
    std::string text() const { return size() + "@" + std::to_string(fps); }
};

struct Run
{
    bool ok = false;
    double cpu = 0, wall = 0;
};

// Runs a program to its end with the user-space camera preloaded; its CPU
// time is what wait4 reports of it and its children.
Run runWithCamera(std::vector<std::string> args, bool ownSession)
{
    std::vector<std::string> variables = {std::string("LD_PRELOAD=") + UVCDEVICE_LIBRARY,
                                          std::string("UVCDEV_CAMERAS=") + kCamera};
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "LD_PRELOAD=", 11) != 0 && std::strncmp(*e, "UVCDEV_", 7) != 0) {
            variables.emplace_back(*e);
        }
    }
    std::vector<char*> env, argv;
    for (std::string& v : variables) {
        env.push_back(v.data());
    }
    env.push_back(nullptr);
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (ownSession) {
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    }
    Run run;
    const int64_t start = monotonicNs();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), env.data());
    posix_spawnattr_destroy(&attributes);
    int status = 0;
    rusage usage{};
    if (spawned != 0 || wait4(pid, &status, 0, &usage) != pid) {
        return run;
    }
    run.wall = (monotonicNs() - start) / 1e9;
    run.cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return run;
}

struct FileFrames
{
    int frames = 0, lost = 0;
    double span = 0;
};

// The video packets' times in the file, in order; the first picture is
// dated at the file's start, so the count of lost frames starts after it.
FileFrames probe(const std::string& file, int fps)
{
    const std::string command = "ffprobe -v error -select_streams v:0 -show_entries "
                                "packet=pts_time -of csv=p=0 '" +
                                file + "'";
    std::vector<double> times;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        double t = 0;
        while (std::fscanf(pipe, "%lf", &t) == 1) {
            times.push_back(t);
        }
        pclose(pipe);
    }
    std::sort(times.begin(), times.end());
    FileFrames f;
    f.frames = int(times.size());
    for (size_t i = 2; i < times.size(); ++i) {
        f.lost += std::max(0, int(std::lround((times[i] - times[i - 1]) * fps)) - 1);
    }
    f.span = times.size() > 2 ? times.back() - times[1] : 0;
    return f;
}

void report(const char* who, const Run& run, const FileFrames& f, double seconds)
{
    std::printf("%-10s %s: %d frames in the file over %.2f s, %d lost (%.3f %%); "
                "%.3f CPU s per recorded s (%.1f s wall)\n",
                who, run.ok ? "ok" : "FAILED", f.frames, f.span, f.lost,
                100.0 * f.lost / std::max(1, f.frames + f.lost), run.cpu / seconds, run.wall);
}

Mode takeMode(int& argc, char** argv)
{
    Mode mode;
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--mode=", 7) == 0) {
            std::sscanf(argv[i] + 7, "%dx%d@%d", &mode.width, &mode.height, &mode.fps);
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return mode;
}

void waitForLoad(int busy)
{
    if (busy > 0 && !BusyLoad::waitForLoad(busy, 300)) {
        std::fprintf(stderr, "the load average did not reach %d\n", busy);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int busy = BusyLoad::takeArgument(argc, argv);
    const Mode mode = takeMode(argc, argv);
    const int seconds = argc > 1 ? std::max(2, std::atoi(argv[1])) : 60;
    char folder[] = "/tmp/lumora-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string lumoraFile = std::string(folder) + "/lumora.mp4";
    const std::string ffmpegFile = std::string(folder) + "/ffmpeg.mp4";
    BusyLoad load(busy);

    waitForLoad(busy);
    const double loadBefore = BusyLoad::loadAverage();
    const Run lumora = runWithCamera({LUMORA_CTL, "record", "0", lumoraFile, "--seconds",
                                      std::to_string(seconds), "--mode", mode.text()},
                                     busy > 0);
    waitForLoad(busy);
    const std::string gop = std::to_string(mode.fps);
    std::vector<std::string> args = {"ffmpeg",
                                     "-nostdin",
                                     "-v",
                                     "error",
                                     "-y",
                                     "-f",
                                     "v4l2",
                                     "-input_format",
                                     "mjpeg",
                                     "-video_size",
                                     mode.size(),
                                     "-framerate",
                                     gop,
                                     "-i",
                                     "/dev/video0",
                                     "-t",
                                     std::to_string(seconds)};
    addLumoraLikeX264(args, gop);
    args.insert(args.end(), {"-fps_mode", "passthrough", ffmpegFile});
    const Run ffmpeg = runWithCamera(args, busy > 0);

    std::printf("mode %s MJPEG, %d s; load average %.1f at the start, %.1f at the end "
                "(%d busy processes)\n",
                mode.text().c_str(), seconds, loadBefore, BusyLoad::loadAverage(), busy);
    report("lumora-ctl", lumora, probe(lumoraFile, mode.fps), seconds);
    report("ffmpeg", ffmpeg, probe(ffmpegFile, mode.fps), seconds);
    std::remove(lumoraFile.c_str());
    std::remove(ffmpegFile.c_str());
    rmdir(folder);
    return lumora.ok && ffmpeg.ok ? 0 : 1;
}
