// The GUI thread while a user drives a camera that is slow to answer: the
// user-space uvcvideo camera of tests/uvcdevice in its "slow-xu" mode, where
// every extension-unit request takes 2 s. The real main window opens it;
// once the opening's requests are through, the user flips the picture,
// holds the pad's arrows and zoom, and drags the exposure, contrast and
// colour sliders, so that extension-unit requests are in flight while the
// pad and sliders are used; then auto framing runs over the preview while
// the picture is flipped. A 5 ms heartbeat on the GUI thread notes how
// late each tick comes; the worst and the 99th percentile are printed.
#include "slowcamerastall.h"
#include "heartbeat.h"
#include "uvcdevicepreload.h"

#include "mainwindowinspector.h"
#include "uvcdevice.h"
#include "vorn_settingvideo.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSlider>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

const char* kSlowCamera = "PTZ Cam|all|4,6|slow-xu";
// The camera counts as done when it has had no request for this long:
// longer than one slow request.
constexpr int kQuietMs = 2500;

// Waits with the event loop running until the camera has had no request for
// kQuietMs; false when it never went quiet within timeoutMs.
bool waitUntilQuiet(int timeoutMs)
{
    QElapsedTimer total;
    total.start();
    QElapsedTimer quiet;
    quiet.start();
    while (total.elapsed() < timeoutMs) {
        QTest::qWait(50);
        const char* log = uvcdev_take_log();
        if (log && *log) {
            quiet.restart();
        } else if (quiet.elapsed() >= kQuietMs) {
            return true;
        }
    }
    return false;
}

void dragSlider(QSlider* slider, std::initializer_list<int> positions)
{
    slider->setSliderDown(true);
    for (int position : positions) {
        slider->setSliderPosition(position);
        QTest::qWait(30);
    }
    slider->setSliderDown(false);
}

void holdButton(QPushButton* button, int ms)
{
    QTest::mousePress(button, Qt::LeftButton);
    QTest::qWait(ms);
    QTest::mouseRelease(button, Qt::LeftButton);
}

// The user's actions: each takes at most a few hundred ms of the user's
// time, whatever the camera does.
void useThePage(QWidget* page)
{
    const auto button = [page](const char* name) { return page->findChild<QPushButton*>(name); };
    const auto slider = [page](const char* name) { return page->findChild<QSlider*>(name); };
    button("pushButton_FlipH")->click(); // an extension-unit request now in flight
    QTest::qWait(100);
    holdButton(button("pushButton_left"), 300);
    dragSlider(slider("horizontalSlider"), {-1, -2, -3, -4, 2, 3});
    holdButton(button("pushButton_up"), 300);
    dragSlider(slider("horizontalSlider_DRC"), {10, 20, 30, 40});
    holdButton(button("pushButton_zoomin"), 300);
    dragSlider(slider("horizontalSlider_RG"), {1, 2, 3, 4});
    holdButton(button("pushButton_right"), 300);
    button("pushButton_FlipH")->click();
    holdButton(button("pushButton_down"), 300);
}

// Auto framing on over the preview, then the picture flipped twice: framing
// reads the head at each detection and moves it while the flips' requests
// take their 2 s. False when framing could not be switched on.
bool frameWhileFlipping(MainWindowInspector& inspect, Heartbeat& lateness)
{
    lateness.restart();
    QWidget* page = inspect.settingVideo();
    auto* framing = page->findChild<QPushButton*>("pushButton_AutoFraming");
    const qint64 before = inspect.lastFrame().cacheKey();
    inspect.ui()->pushButton_preview->setChecked(true);
    if (!QTest::qWaitFor([&] { return inspect.lastFrame().cacheKey() != before; }, 10000) ||
        !QTest::qWaitFor([&] { return framing->isEnabled(); }, 30000)) {
        return false;
    }
    framing->setChecked(true);
    QTest::qWait(1000);
    lateness.restart();
    for (int flips = 0; flips < 2; ++flips) {
        page->findChild<QPushButton*>("pushButton_FlipH")->click();
        QTest::qWait(2500);
    }
    lateness.stop();
    return framing->isChecked();
}

// One line per phase; true when its worst stall is over the limit.
bool report(const char* phase, const Heartbeat& lateness)
{
    const double worst = lateness.worstMs();
    std::printf("%-26s worst stall %7.1f ms  p99 %5.1f ms  (%zu ticks)  %s\n", phase, worst,
                lateness.percentile(0.99), lateness.ticks(),
                worst > Heartbeat::kLimitMs ? "OVER 50 ms" : "ok");
    if (worst > Heartbeat::kLimitMs) {
        std::printf("    late ticks at %s\n", qPrintable(lateness.lateAt()));
    }
    std::fflush(stdout);
    return worst > Heartbeat::kLimitMs;
}

} // namespace

int runSlowCameraStall(int argc, char** argv)
{
    if (!uvcdev_plug) {
        return rerunWithUvcDevice(UVCDEVICE_LIBRARY, kSlowCamera, argv);
    }
    QApplication app(argc, argv);
    QElapsedTimer opening;
    opening.start();
    Vorn_Cam window; // the lone camera is opened at once
    window.show();
    MainWindowInspector inspect(window);
    std::printf("window built in %lld ms\n", opening.elapsed());
    if (!QTest::qWaitFor([&] { return inspect.captureOn(); }, 60000) || !waitUntilQuiet(120000)) {
        std::fprintf(stderr, "the camera did not open\n");
        return 1;
    }
    std::printf("camera open and read in %lld ms\n", opening.elapsed());

    Heartbeat lateness;
    // What the machine's own load costs, for comparison.
    lateness.restart();
    QTest::qWait(3000);
    lateness.stop();
    report("idle, camera quiet (3 s)", lateness);

    lateness.restart();
    QElapsedTimer using_;
    using_.start();
    useThePage(inspect.settingVideo());
    lateness.stop();
    const bool usingOver = report("user's pad and sliders", lateness);
    lateness.restart();
    const bool quiet = waitUntilQuiet(120000);
    lateness.stop();
    const bool doneOver = report("until the camera is done", lateness);
    std::printf("the camera was done %lld ms after the user began%s\n", using_.elapsed() - kQuietMs,
                quiet ? "" : " (it never went quiet)");
    const bool framed = frameWhileFlipping(inspect, lateness);
    const bool framingOver = report("auto framing, flips (5 s)", lateness);
    if (!framed) {
        std::printf("    auto framing could not be switched on\n");
    }
    return usingOver || doneOver || framingOver ? 2 : 0;
}
