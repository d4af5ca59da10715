// The preview on the real Linux camera path, against the user-space uvcvideo
// camera of tests/uvcdevice: the CPU the program spends per second showing
// its 720p30 MJPEG stream next to ffplay showing the same device, the
// latency from a buffer's capture time to its picture reaching the preview
// label, and the time from StartCapture to the first picture.
//
// Needs a display (run under xvfb-run -a); re-runs itself with the camera
// library preloaded. Optional arguments: seconds to measure (default 10) and
// --load=N, N busy processes beside it, measuring once the load average has
// reached N. Under load the benchmark and ffplay each run in a session of
// their own, as applications on a desktop do, so that neither shares its
// CPU time with the other or with the X server.
#include "busyload.h"
#include "mainwindowinspector.h"
#include "uvcdevice.h"
#include "uvcdevicepreload.h"
#include "vorn_ffmpeglib.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace {

const char* kCamera = "PTZ Cam|all|4,6";
// The program asks StartCapture this long after the preview switch.
constexpr int kStartDelayMs = 800;

int64_t monotonicNs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

double ownCpuSeconds()
{
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double processCpuSeconds(qint64 pid)
{
    QFile stat(QString("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / sysconf(_SC_CLK_TCK);
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& done, int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done();
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty()) {
        return -1;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * values.size()))];
}

} // namespace

int main(int argc, char** argv)
{
    if (!uvcdev_plug) {
        return rerunWithUvcDevice(UVCDEVICE_LIBRARY, kCamera, argv);
    }
    const int busy = BusyLoad::takeArgument(argc, argv);
    if (busy > 0) {
        BusyLoad::ownSession();
    }
    BusyLoad load(busy);
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;

    QProcess ffplay;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", UVCDEVICE_LIBRARY);
    environment.insert("UVCDEV_CAMERAS", kCamera);
    environment.insert("UVCDEV_KEEP_PRELOAD", "1");
    ffplay.setProcessEnvironment(environment);
    ffplay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList player{"ffplay"};
    if (busy > 0) {
        player.prepend("setsid"); // execs in place: the pid stays ffplay's
    }
    const QString program = player.takeFirst();
    ffplay.start(program, player + QStringList{"-hide_banner", "-loglevel", "error", "-an", "-x",
                                               "800", "-y", "530", "-f", "v4l2", "-input_format",
                                               "mjpeg", "-video_size", "1280x720", "-framerate",
                                               "30", "/dev/video0"});
    if (!ffplay.waitForStarted()) {
        fprintf(stderr, "ffplay did not start\n");
        return 1;
    }

    Vorn_Cam window; // the lone camera is opened at once
    window.show();
    MainWindowInspector inspect(window);
    std::vector<double> latenciesMs;
    QStringList lateAt; // when pictures came later than 50 ms, from the start of measuring
    int64_t measuredFromNs = 0;
    int64_t shownNs = 0;
    bool measuring = false;
    // Connected after the window's own slot: runs once the picture has
    // been handed to the label.
    QObject::connect(
        inspect.captureLib(), &Vorn_FFmpeglib::frameBuffer,
        [&](uint8_t* rgb, int width, int height) {
            shownNs = monotonicNs();
            const int picture = uvcdev_read_picture(rgb, width, height, (width * 3 + 3) & ~3);
            const int64_t captured = picture >= 0 ? uvcdev_picture_time(picture) : -1;
            if (measuring && captured > 0) {
                latenciesMs.push_back((shownNs - captured) / 1e6);
                if (latenciesMs.back() > 50) {
                    lateAt.push_back(QString::asprintf(
                        "%.3f s (%.0f ms)", (shownNs - measuredFromNs) / 1e9, latenciesMs.back()));
                }
            }
        });

    std::vector<double> firstPictureMs;
    // The first start also makes the camera's pictures: not timed.
    for (int run = -1; run < 5; ++run) {
        inspect.ui()->pushButton_preview->setChecked(false);
        wait(300);
        shownNs = 0;
        const int64_t switched = monotonicNs();
        inspect.ui()->pushButton_preview->setChecked(true);
        if (!waitFor([&] { return shownNs != 0; }, 20000)) {
            fprintf(stderr, "no picture from the camera\n");
            return 1;
        }
        if (run >= 0) {
            firstPictureMs.push_back((shownNs - switched) / 1e6 - kStartDelayMs);
        }
    }

    const auto pause = [] { wait(1000); };
    if (busy > 0 && !BusyLoad::waitForLoad(busy, 300, pause)) {
        fprintf(stderr, "the load average did not reach %d\n", busy);
    }
    wait(2000); // both players settle, also after the extra spinner left
    measuring = true;
    measuredFromNs = monotonicNs();
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
    ffplay.kill();
    ffplay.waitForFinished();

    printf("load average %.1f at the start, %.1f at the end (%d busy processes)\n", loadBefore,
           BusyLoad::loadAverage(), busy);
    printf("preview cost: Lumora %.3f CPU s/s, ffplay %.3f CPU s/s, ratio %.2f\n", lumora,
           ffplayCpu, ffplayCpu > 0 ? lumora / ffplayCpu : -1.0);
    printf("preview latency: %zu frames in %.1f s, median %.1f ms, p99 %.1f ms, max %.1f ms\n",
           latenciesMs.size(), elapsed, percentile(latenciesMs, 0.5), percentile(latenciesMs, 0.99),
           percentile(latenciesMs, 1.0));
    printf("later than 50 ms: %s\n", lateAt.isEmpty() ? "none" : qPrintable(lateAt.join(", ")));
    printf("first picture after StartCapture: median %.0f ms, worst %.0f ms (5 starts)\n",
           percentile(firstPictureMs, 0.5), percentile(firstPictureMs, 1.0));
    return 0;
}
