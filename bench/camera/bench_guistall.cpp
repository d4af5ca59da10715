// How long the GUI thread stalls while the real main window does what a
// user does, with simulated cameras. A 5 ms heartbeat on the GUI thread
// (heartbeat.h) notes how late each tick comes; the worst lateness per
// operation is printed with the GUI thread's CPU time in that gap, and any
// above 50 ms is flagged. The virtual camera switch runs the real pkexec
// launcher against a stand-in pkexec on the PATH that
// takes 3 s, as a user answering the prompt would.
// Run with QT_QPA_PLATFORM=offscreen (the default here) or under Xvfb;
// --load=N adds N busy processes and measures once the load average has
// reached N. With --slow-camera it drives the user-space uvcvideo camera
// whose extension-unit requests take 2 s instead (slowcamerastall.cpp).
#include "busyload.h"
#include "heartbeat.h"
#include "mainwindowinspector.h"
#include "scripteddialogs.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#ifdef LUMORA_SLOW_CAMERA_STALL
#include "slowcamerastall.h"
#endif
#include "vorn_settingupgrade.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {

// Waits, with the event loop running, until done() or the time is up, then
// lets the window settle so that deferred work is counted too.
bool waitFor(const std::function<bool()>& done, int timeoutMs, int settleMs = 300)
{
    const bool reached = QTest::qWaitFor(done, timeoutMs);
    QTest::qWait(settleMs);
    return reached;
}

int g_over = 0;

void measure(Heartbeat& beat, const char* name, const std::function<bool()>& operation)
{
    beat.restart();
    const bool completed = operation();
    const double worst = beat.worstMs();
    const bool over = worst > Heartbeat::kLimitMs;
    g_over += over ? 1 : 0;
    const QString at = over ? QStringLiteral("  at ") + beat.lateAt() : QString();
    std::printf("%-28s worst stall %7.1f ms (GUI CPU %5.1f ms)  late ticks %3d  %s%s%s\n", name,
                worst, beat.worstCpuMs(), beat.lateTicks(), over ? "OVER 50 ms" : "ok",
                completed ? "" : "  (did not complete)", qPrintable(at));
    std::fflush(stdout);
}

// Closes the modal dialog the next operation opens, once it has been shown
// for a moment.
void closeModalSoon()
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            QTimer::singleShot(300, modal, &QWidget::close);
            poll->deleteLater();
        }
    });
    poll->start(20);
}

void writeStandInPkexec(const QTemporaryDir& folder)
{
    QFile script(folder.filePath(QStringLiteral("pkexec")));
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\nsleep 3\nexit 0\n");
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", folder.path().toLocal8Bit() + ':' + qgetenv("PATH"));
    qputenv("LUMORA_DEV_VCAM_HELPER", "1");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
#ifdef LUMORA_SLOW_CAMERA_STALL
    if (argc > 1 && qstrcmp(argv[1], "--slow-camera") == 0) {
        return runSlowCameraStall(argc, argv);
    }
#endif
    const int busy = BusyLoad::takeArgument(argc, argv);
    BusyLoad load(busy);
    if (busy > 0 && !BusyLoad::waitForLoad(busy, 300)) {
        std::fprintf(stderr, "the load average did not reach %d\n", busy);
    }
    QTemporaryDir folder;
    qputenv("TMPDIR", folder.path().toLocal8Bit());
    writeStandInPkexec(folder);
    QApplication app(argc, argv);

    SimulatedDeviceCatalog catalog;
    DeviceCatalog::setInstance(&catalog);
    SimulatedHub& hub = SimulatedHub::instance();
    for (const QString& name :
         {QStringLiteral("Cam A"), QStringLiteral("Cam B"), QStringLiteral("Cam C")}) {
        SimulatedCameraConfig camera;
        camera.description = name;
        camera.microphoneName = QStringLiteral("Microphone (%1)").arg(name);
        hub.plugCamera(camera);
    }

    ScriptedDialogs dialogs;
    dialogs.button = QMessageBox::Ok;
    dialogs.fileName = folder.filePath(QStringLiteral("recording.mp4"));
    Vorn_Cam window;
    window.show();
    MainWindowInspector inspect(window);
    Ui::Vorn_Cam* ui = inspect.ui();
    Heartbeat beat;
    beat.restart();
    QTest::qWait(500);

    const auto previewOn = [&] {
        const qint64 before = inspect.lastFrame().cacheKey();
        ui->pushButton_preview->setChecked(true);
        return waitFor([&] { return inspect.lastFrame().cacheKey() != before; }, 10000);
    };
    const auto cameraOpen = [&](int index) {
        inspect.activate(index);
        return waitFor([&] { return inspect.captureOn(); }, 5000);
    };

    // What the machine's own load costs, for comparison.
    const auto idle = [] {
        QTest::qWait(3000);
        return true;
    };
    measure(beat, "idle, no camera (3 s)", idle);
    measure(beat, "open camera (choose A)", [&] { return cameraOpen(1); });
    measure(beat, "preview start", previewOn);
    measure(beat, "preview stop", [&] {
        ui->pushButton_preview->setChecked(false);
        return waitFor([&] { return !ui->label_cameraview->isVisible(); }, 5000);
    });
    measure(beat, "switch camera (A to B)", [&] { return cameraOpen(2); });
    measure(beat, "preview start (B)", previewOn);
    measure(beat, "idle, previewing (3 s)", idle);
    measure(beat, "recording start", [&] {
        ui->bt_record->setChecked(true);
        return waitFor([&] { return inspect.recordTimer() && inspect.recordTimer()->isActive(); },
                       5000, 1500);
    });
    measure(beat, "recording stop", [&] {
        ui->bt_record->setChecked(false);
        return waitFor([&] { return QFile(dialogs.fileName).size() > 0; }, 5000);
    });
    measure(beat, "virtual camera on (3 s)", [&] {
        ui->pushButton_register->setChecked(true);
        return waitFor([&] { return ui->pushButton_register->isEnabled(); }, 10000);
    });
    measure(beat, "virtual camera off (3 s)", [&] {
        ui->pushButton_register->setChecked(false);
        return waitFor([&] { return ui->pushButton_register->isEnabled(); }, 10000);
    });
    measure(beat, "advanced dialog", [&] {
        auto* link = window.findChild<QLabel*>(QStringLiteral("label_UVCSettings"));
        closeModalSoon();
        QTest::mousePress(link, Qt::LeftButton);
        return waitFor([] { return !QApplication::activeModalWidget(); }, 5000);
    });
    measure(beat, "firmware information", [&] {
        auto* page = Vorn_settingUpgrade::getInstance();
        auto* text = page->findChild<QTextEdit*>(QStringLiteral("textEdit"));
        ui->bt_upgrade->click();
        page->findChild<QPushButton*>(QStringLiteral("pushButton_info"))->click();
        return waitFor([&] { return !text->toPlainText().isEmpty(); }, 5000);
    });
    measure(beat, "unplug the open camera", [&] {
        hub.unplug(inspect.cameraInfo().deviceName());
        return waitFor([&] { return !inspect.captureOn(); }, 5000);
    });

    std::printf("%d operation(s) over %.0f ms; load average %.1f at the end (%d busy processes)\n",
                g_over, Heartbeat::kLimitMs, BusyLoad::loadAverage(), busy);
    DeviceCatalog::setInstance(nullptr);
    return 0;
}
