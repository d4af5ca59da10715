// The preview on the real Linux camera path, against the user-space uvcvideo
// camera of tests/uvcdevice, in one of its MJPEG modes: the CPU the program
// spends per second showing the stream next to ffplay showing the same
// device, the latency from a buffer's capture time to its picture reaching
// the preview label, the pictures not shown (from the kernel's time stamps
// of the pictures that were, next to ffplay's own count of dropped frames),
// resident memory over the run beside ffplay's, and the time from
// StartCapture to the first picture.
//
// Needs a display (run under xvfb-run -a); re-runs itself with the camera
// library preloaded. Optional arguments: seconds to measure (default 10),
// --mode=WxH@FPS (default 1280x720@30; chosen in the window's mode box as a
// user would) and --load=N, N busy processes beside it, measuring once the
// load average has reached N. The benchmark and ffplay each run in a
// session of their own, as applications on a desktop do, so that neither
// shares its CPU time with the other or with the X server.
#include "busyload.h"
#include "capturemode.h"
#include "mainwindowinspector.h"
#include "processstats.h"
#include "uvcdevice.h"
#include "uvcdevicepreload.h"
#include "vorn_ffmpeglib.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const char* kCamera = "PTZ Cam|all|4,6";
// The program asks StartCapture this long after the preview switch.
constexpr int kStartDelayMs = 800;

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Looks every 5 ms with the event loop running: a loop that spun through
// processEvents would take the CPU the camera and the window need.
bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        wait(5);
    }
    return done();
}

// "--mode=WxH@FPS" or "--mode WxH@FPS" among the arguments, taken out.
CaptureMode takeMode(int& argc, char** argv)
{
    CaptureMode mode(1280, 720, 30, CaptureMode::Format::Mjpeg);
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--mode=", 7) == 0) {
            mode = CaptureMode::fromString(QString(argv[i] + 7));
        } else if (std::strcmp(argv[i], "--mode") == 0 && i + 1 < argc) {
            mode = CaptureMode::fromString(QString(argv[++i]));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    argv[argc] = nullptr;
    return mode;
}

// ffplay showing the same kind of device in a window of the preview's size;
// its status line, which counts the frames it dropped, goes to stderr.
bool startFfplay(QProcess& ffplay, const CaptureMode& mode)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", UVCDEVICE_LIBRARY);
    environment.insert("UVCDEV_CAMERAS", kCamera);
    environment.insert("UVCDEV_KEEP_PRELOAD", "1");
    ffplay.setProcessEnvironment(environment);
    // setsid execs in place: the pid stays ffplay's.
    ffplay.start("setsid",
                 QStringList{"ffplay", "-hide_banner", "-loglevel", "error", "-stats", "-an", "-x",
                             "800", "-y", "530", "-f", "v4l2", "-input_format", "mjpeg",
                             "-video_size", QString("%1x%2").arg(mode.width()).arg(mode.height()),
                             "-framerate", QString::number(mode.fps()), "/dev/video0"});
    return ffplay.waitForStarted();
}

// The frames ffplay has dropped so far, from the last status line it wrote.
int ffplayDrops(QProcess& ffplay, QByteArray& said)
{
    said += ffplay.readAllStandardError();
    static const QRegularExpression count(QStringLiteral("fd=\\s*(\\d+)"));
    int drops = -1;
    auto matches = count.globalMatch(QString::fromLatin1(said.right(4096)));
    while (matches.hasNext()) {
        drops = matches.next().captured(1).toInt();
    }
    said = said.right(4096);
    return drops;
}

// Picks the mode in the window's mode box, as a user does.
bool chooseMode(Vorn_Cam& window, const CaptureMode& mode)
{
    auto* box = window.findChild<QComboBox*>(QStringLiteral("comboBox_mode"));
    if (!box || !waitFor([box] { return box->count() > 0; }, 20000)) {
        return false;
    }
    for (int i = 0; i < box->count(); ++i) {
        if (CaptureMode::fromString(box->itemData(i).toString()).satisfies(mode)) {
            box->setCurrentIndex(i);
            emit box->activated(i);
            return true;
        }
    }
    return false;
}

// What the pictures shown tell: their latency, and from the kernel's time
// stamps how many the camera sent between two of them that were not shown.
struct PictureLog
{
    std::vector<double> latenciesMs;
    QStringList lateAt; // when the first pictures later than 50 ms came, from the start
    int64_t fromNs = 0, lastCapturedNs = 0, periodNs = 0;
    int shown = 0, notShown = 0, late = 0;

    void shownAt(int64_t shownNs, int64_t captured)
    {
        latenciesMs.push_back((shownNs - captured) / 1e6);
        if (latenciesMs.back() > 50 && ++late <= 20) {
            lateAt.push_back(QString::asprintf("%.3f s (%.0f ms)", (shownNs - fromNs) / 1e9,
                                               latenciesMs.back()));
        }
        if (lastCapturedNs > 0 && captured > lastCapturedNs) {
            ++shown;
            notShown += std::max<int>(
                0, int(std::lround(double(captured - lastCapturedNs) / periodNs)) - 1);
        }
        lastCapturedNs = std::max(lastCapturedNs, captured);
    }
};

// Resident memory of this process and of ffplay, once a second.
struct MemoryLog
{
    double start[2] = {-1, -1}, end[2] = {-1, -1}, peak[2] = {-1, -1};

    void sample(long ffplayPid)
    {
        for (int i : {0, 1}) {
            end[i] = residentMb(i == 0 ? 0 : ffplayPid);
            start[i] = start[i] < 0 ? end[i] : start[i];
            peak[i] = std::max(peak[i], end[i]);
        }
    }
    void print(const char* who, int i) const
    {
        printf("resident memory %s: %.1f MiB at the start, %.1f at the end (%+.1f %%), "
               "max %.1f\n",
               who, start[i], end[i], start[i] > 0 ? (end[i] / start[i] - 1) * 100 : 0.0, peak[i]);
    }
};

// The camera draws each of its pictures when it first sends it, and its
// room once per size: seconds at the large sizes on a busy machine, longer
// than the program waits for a first picture. Until it has gone round its
// pictures a few times the preview is switched on again as often as needed.
bool makeThePictures(MainWindowInspector& inspect, const int& pictures)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        inspect.ui()->pushButton_preview->setChecked(false);
        wait(300);
        const int before = pictures;
        inspect.ui()->pushButton_preview->setChecked(true);
        // A start that gave up shows no picture within the program's wait.
        if (waitFor([&] { return pictures > before; }, 20000) &&
            waitFor([&] { return pictures >= before + 90; }, 120000)) {
            return true;
        }
    }
    return false;
}

// The preview switched off and on five times: the time to the first
// picture of each.
bool firstPictures(MainWindowInspector& inspect, const int64_t& shownNs, std::vector<double>& ms)
{
    for (int run = 0; run < 5; ++run) {
        inspect.ui()->pushButton_preview->setChecked(false);
        wait(300);
        const int64_t switched = monotonicNs();
        inspect.ui()->pushButton_preview->setChecked(true);
        if (!waitFor([&] { return shownNs > switched; }, 60000)) {
            return false;
        }
        ms.push_back((shownNs - switched) / 1e6 - kStartDelayMs);
    }
    return true;
}

void printReport(const PictureLog& log, double elapsed, const CaptureMode& mode, int ffplayDropped)
{
    const auto& l = log.latenciesMs;
    printf("preview latency: %zu frames in %.1f s, median %.1f ms, p99 %.1f ms, max %.1f ms\n",
           l.size(), elapsed, percentile(l, 0.5), percentile(l, 0.99), percentile(l, 1.0));
    printf("later than 50 ms: %d%s%s\n", log.late, log.late ? ", first at " : "",
           qPrintable(log.lateAt.join(", ")));
    printf("pictures not shown: Lumora %d of %d (%.3f %%), ffplay dropped %d of about %.0f\n",
           log.notShown, log.shown + log.notShown,
           100.0 * log.notShown / std::max(1, log.shown + log.notShown), ffplayDropped,
           elapsed * mode.fps());
}

} // namespace

int main(int argc, char** argv)
{
    if (!uvcdev_plug) {
        return rerunWithUvcDevice(UVCDEVICE_LIBRARY, kCamera, argv);
    }
    const int busy = BusyLoad::takeArgument(argc, argv);
    const CaptureMode mode = takeMode(argc, argv);
    if (mode.isNull() || mode.fps() <= 0) {
        fprintf(stderr, "usage: bench_linuxpreview [seconds] [--mode=WxH@FPS] [--load=N]\n");
        return 64;
    }
    BusyLoad::ownSession();
    BusyLoad load(busy);
    // The mode box keeps the choice in the camera's profile: not the user's.
    QTemporaryDir settings;
    qputenv("XDG_CONFIG_HOME", settings.path().toLocal8Bit());
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QProcess ffplay;
    if (!startFfplay(ffplay, mode)) {
        fprintf(stderr, "ffplay did not start\n");
        return 1;
    }
    Vorn_Cam window; // the lone camera is opened at once
    window.show();
    MainWindowInspector inspect(window);
    if (!chooseMode(window, mode)) {
        fprintf(stderr, "the camera does not offer %s\n", qPrintable(mode.toString()));
        return 1;
    }
    PictureLog log;
    log.periodNs = int64_t(1e9 / mode.fps());
    int64_t shownNs = 0;
    int pictures = 0;
    bool measuring = false;
    // Connected after the window's own slot: runs once the picture has
    // been handed to the label. The preview's pictures, not frameBuffer's:
    // a receiver of those would have every full-size picture made for it.
    QObject::connect(inspect.captureLib(), &Vorn_FFmpeglib::previewBuffer,
                     [&](uint8_t* rgb, int width, int height) {
                         shownNs = monotonicNs();
                         ++pictures;
                         const int picture =
                             uvcdev_read_picture(rgb, width, height, (width * 3 + 3) & ~3);
                         const int64_t captured = picture >= 0 ? uvcdev_picture_time(picture) : -1;
                         if (measuring && captured > 0) {
                             log.shownAt(shownNs, captured);
                         }
                     });
    std::vector<double> firstPictureMs;
    if (!makeThePictures(inspect, pictures) || !firstPictures(inspect, shownNs, firstPictureMs)) {
        fprintf(stderr, "no picture from the camera\n");
        return 1;
    }

    const auto pause = [] { wait(1000); };
    if (busy > 0 && !BusyLoad::waitForLoad(busy, 300, pause)) {
        fprintf(stderr, "the load average did not reach %d\n", busy);
    }
    wait(2000); // both players settle, also after the extra spinner left
    QByteArray said;
    const int ffplayDropsBefore = ffplayDrops(ffplay, said);
    MemoryLog memory;
    QTimer sampler;
    // ffplay's status lines are read as they come: kept, they would grow
    // this process's memory.
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        ffplayDrops(ffplay, said);
        memory.sample(ffplay.processId());
    });
    memory.sample(ffplay.processId());
    sampler.start(1000);
    measuring = true;
    log.fromNs = monotonicNs();
    const double loadBefore = BusyLoad::loadAverage();
    QElapsedTimer wall;
    wall.start();
    const double lumoraStart = ownCpuSeconds();
    const double ffplayStart = processCpuSeconds(ffplay.processId());
    wait(seconds * 1000);
    const double elapsed = wall.elapsed() / 1000.0;
    const double lumora = (ownCpuSeconds() - lumoraStart) / elapsed;
    const double ffplayCpu = (processCpuSeconds(ffplay.processId()) - ffplayStart) / elapsed;
    measuring = false;
    memory.sample(ffplay.processId());
    const int ffplayDropped = ffplayDrops(ffplay, said) - std::max(0, ffplayDropsBefore);
    ffplay.kill();
    ffplay.waitForFinished();

    printf("mode %s MJPEG; load average %.1f at the start, %.1f at the end (%d busy processes)\n",
           qPrintable(mode.toString()), loadBefore, BusyLoad::loadAverage(), busy);
    printf("preview cost: Lumora %.3f CPU s/s, ffplay %.3f CPU s/s, ratio %.2f\n", lumora,
           ffplayCpu, ffplayCpu > 0 ? lumora / ffplayCpu : -1.0);
    printReport(log, elapsed, mode, ffplayDropped);
    memory.print("Lumora", 0);
    memory.print("ffplay", 1);
    printf("first picture after StartCapture: median %.0f ms, worst %.0f ms (5 starts)\n",
           percentile(firstPictureMs, 0.5), percentile(firstPictureMs, 1.0));
    return 0;
}
