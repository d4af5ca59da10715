// The main window against the simulated hub standing in for the USB bus:
// discovery, microphone pairing and the choice of camera, the preview with
// the real capture library and its start off the GUI thread, the camera
// restarting for a new audio setting, and the pictures the window names.
#include "cameraprofilestore.h"
#include "identitystamp.h"
#include "linuxdevicecatalog.h"
#include "mainwindowinspector.h"
#include "picturedifference.h"
#include "scripteddialogs.h"
#include "simulateddevicecatalog.h"
#include "simulatedframerenderer.h"
#include "simulatedhub.h"
#include "simulatedpropertydevices.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingaudio.h"
#include "vorn_settingupgrade.h"
#include "vorn_settingvideo.h"

#include <QDirIterator>
#include <QMovie>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QtTest>

#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <memory>

namespace {

// Root opens any node: for as long as this lives, the calling thread opens
// what its user and groups may open, no more.
struct WithoutDacOverride
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {};
    WithoutDacOverride()
    {
        syscall(SYS_capget, &header, saved);
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~(1u << CAP_DAC_OVERRIDE | 1u << CAP_DAC_READ_SEARCH);
        syscall(SYS_capset, &header, reduced);
    }
    ~WithoutDacOverride() { syscall(SYS_capset, &header, saved); }
};

struct NodesOnly : LinuxDeviceCatalog
{
    using LinuxDeviceCatalog::LinuxDeviceCatalog;
    AudioInputList audioInputs() override { return {}; }
};

SimulatedCameraConfig named(const QString& description, const QString& microphone = QString())
{
    SimulatedCameraConfig config;
    config.description = description;
    config.microphoneName = microphone;
    return config;
}

QStringList entries(MainWindowInspector& inspect)
{
    QStringList texts;
    for (int i = 0; i < inspect.ui()->comboBox->count(); ++i) {
        texts << inspect.ui()->comboBox->itemText(i);
    }
    return texts;
}

QSize shownSize(MainWindowInspector& inspect)
{
    return inspect.ui()->label_cameraview->pixmap(Qt::ReturnByValue).size();
}

// The preview's picture without its black bars, at the frame's size again.
QImage shownPicture(MainWindowInspector& inspect)
{
    const QImage shown = inspect.ui()->label_cameraview->pixmap(Qt::ReturnByValue).toImage();
    const QSize frame = inspect.lastFrame().size();
    const int height = frame.isEmpty() ? 0 : shown.width() * frame.height() / frame.width();
    return shown.copy(0, (shown.height() - height) / 2, shown.width(), height).scaled(frame);
}

} // namespace

class tst_MainWindow : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    SimulatedPropertyDevices devices;

private slots:
    void initTestCase()
    {
        DeviceCatalog::setInstance(&catalog);
        PropertyDevices::setInstance(&devices);
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }

    void everyPictureTheProgramNamesLoads()
    {
        int named = 0;
        static const QRegularExpression path(QStringLiteral(":/UI/[^)\"'; ]+"));
        for (const char* folder : {"app", "camera", "control", "effects", "upgrade"}) {
            QDirIterator it(QStringLiteral(LUMORA_SOURCE_DIR "/") + folder, QDir::Files,
                            QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile file(it.next());
                QVERIFY(file.open(QIODevice::ReadOnly));
                auto matches = path.globalMatch(QString::fromUtf8(file.readAll()));
                while (matches.hasNext()) {
                    const QString picture = matches.next().captured();
                    const bool loads = picture.endsWith(".gif") ? QMovie(picture).isValid()
                                                                : !QImage(picture).isNull();
                    QVERIFY2(loads, qPrintable(picture + " in " + file.fileName()));
                    ++named;
                }
            }
        }
        QVERIFY(named > 30);
    }

    void identicalCamerasGetTheirOwnMicrophones()
    {
        auto first = hub.plugCamera(named("Cam A", "Microphone (Cam A)"));
        auto second = hub.plugCamera(named("Cam A", "Microphone (Cam A)"));
        hub.plugCamera(named("", ""));
        hub.plugCamera(named("Beta"));
        hub.addForeignAudioInput(AudioInputInfo("Line In", "line-in"));
        hub.addForeignVideoInput(VideoInputInfo("Vorn DShow VCamera", "/dev/video40", false));
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        const CameraTable& table = inspect.cameraTable();
        QCOMPARE(table.size(), 4); // the software camera is no USB camera
        QCOMPARE(table.value(1).camera.deviceName(), first->deviceName());
        // Paired by the USB device they share, not by the name both have.
        QCOMPARE(table.value(1).microphone.systemId(), first->deviceName() + ":mic");
        QCOMPARE(table.value(2).microphone.systemId(), second->deviceName() + ":mic");
        QCOMPARE(sameNameCameraOrdinal(table, 2), 1);
        // An empty description fits every name: it takes the first device
        // of the backward walk that nobody before it took.
        QCOMPARE(table.value(3).microphone.deviceName(), QString("Line In"));
        QVERIFY(table.value(4).microphone.isNull());
    }

    // Ports whose paths share a prefix are different devices.
    void microphonesPairByTheWholeUsbDevice()
    {
        const QStringList ports = {"1-1", "1-10", "1-1/1-1.2", "1-1/1-1.2/1-1.2.1"};
        VideoInputList cameras;
        AudioInputList microphones;
        for (const QString& port : ports) {
            cameras.append(VideoInputInfo("Cam", "/dev/" + port, true, "/sys/usb1/" + port));
            microphones.prepend(AudioInputInfo("Cam Mic", port, "/sys/usb1/" + port));
        }
        const CameraTable table = buildCameraTable(cameras, microphones);
        for (int key = 1; key <= ports.size(); ++key) {
            QCOMPARE(table.value(key).microphone.systemId(), ports.at(key - 1));
        }
    }

    void choosingAndReleasingACamera()
    {
        hub.plugCamera(named("Cam A"));
        hub.plugCamera(named("Cam B"));
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        // Two cameras at start: nothing is chosen.
        QVERIFY(!inspect.captureOn());
        QCOMPARE(entries(inspect), QStringList({"No camera selected", "Cam A", "Cam B"}));
        inspect.activate(2);
        inspect.discoveryPass();
        QCOMPARE(entries(inspect), QStringList({"No camera selected", "Cam A", "Cam B connected"}));
        QCOMPARE(inspect.ui()->comboBox->currentIndex(), 2);
        QVERIFY(inspect.captureOn());

        QSignalSpy reboot(&window, &Vorn_Cam::signalReboot);
        QSignalSpy ids(&window, &Vorn_Cam::cameraId);
        inspect.activate(2); // the same entry again changes nothing
        QCOMPARE(reboot.count(), 0);
        inspect.activate(0);
        QCOMPARE(reboot.count(), 1);
        QCOMPARE(ids.count(), 1);
        QCOMPARE(ids.at(0).at(0).toInt(), -1);
        QVERIFY(!inspect.captureOn());
    }

    void aLoneCameraOpensAtStartAndOnPlugIn()
    {
        hub.plugCamera(named("Solo"));
        {
            Vorn_Cam window;
            MainWindowInspector inspect(window);
            QCOMPARE(inspect.currentIndex(), 1);
            QCOMPARE(entries(inspect), QStringList({"No camera selected", "Solo connected"}));
        }
        hub.reset();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(!inspect.captureOn());
        auto late = hub.plugCamera(named("Late"));
        inspect.discoveryPass();
        QCOMPARE(inspect.currentIndex(), 1);
        // A second camera while one is open: the open one stays chosen.
        hub.plugCamera(named("Second"));
        inspect.discoveryPass();
        QCOMPARE(inspect.cameraInfo().deviceName(), late->deviceName());
    }

    void unplugReleasesTheOpenCamera()
    {
        hub.plugCamera(named("Cam A"));
        auto b = hub.plugCamera(named("Cam B"));
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(2);
        QSignalSpy reboot(&window, &Vorn_Cam::signalReboot);
        // The open one goes, and another comes in the same second.
        hub.unplug(b->deviceName());
        hub.plugCamera(named("Cam D"));
        inspect.discoveryPass();
        QCOMPARE(reboot.count(), 1);
        QCOMPARE(inspect.currentIndex(), 0);
        // Two cameras left: neither is opened by itself.
        inspect.discoveryPass();
        QVERIFY(!inspect.captureOn());
    }

    // Identical cameras: picture and controls stay with the chosen one
    // whatever the others do.
    void theChosenCameraStaysChosen_data()
    {
        QTest::addColumn<int>("when");
        QTest::newRow("earlier one left before the preview") << 0;
        QTest::newRow("earlier one left during the deferred start") << 1;
        QTest::newRow("earlier one left while previewing") << 2;
        QTest::newRow("same description, swapped in position") << 3;
    }
    void theChosenCameraStaysChosen()
    {
        QFETCH(int, when);
        auto first = hub.plugCamera();
        auto chosen = hub.plugCamera();
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(2);
        QPushButton* preview = inspect.ui()->pushButton_preview;
        const auto leave = [&] {
            hub.unplug(first->deviceName());
            if (when == 3) {
                hub.plugCamera(); // back, now after the chosen one
            }
            inspect.discoveryPass();
        };
        if (when == 2) {
            preview->setChecked(true);
            QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 30000);
            leave();
            preview->setChecked(false);
        }
        if (when == 0 || when == 3) {
            leave();
        }
        QSignalSpy frames(inspect.captureLib(), &Vorn_FFmpeglib::frameBuffer);
        preview->setChecked(true);
        if (when == 1) {
            leave();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!frames.isEmpty(), 30000);
        QCOMPARE(inspect.currentIndex(), 1); // followed to its new place
        const int identity = chosen->deviceName().mid(9).toInt() % 256;
        QCOMPARE(stampedIdentity(inspect.lastFrame()), identity);
        // What the user sees is that camera's picture, letterboxed, not another's.
        QTRY_COMPARE_WITH_TIMEOUT(stampedIdentity(shownPicture(inspect)), identity, 30000);
        QVERIFY(pictureDifference(shownPicture(inspect), inspect.lastFrame()) < 8); // its colours
        inspect.settingVideo()->findChild<QPushButton*>("pushButton_FlipH")->click();
        QTRY_VERIFY_WITH_TIMEOUT(chosen->state().horizontalFlip, 30000);
        for (const auto& camera : hub.cameras()) {
            QCOMPARE(camera->state().horizontalFlip, camera == chosen);
        }
    }

    void aCaptureStartThatNeverReturnsIsLeftBehind()
    {
        auto camera = hub.plugCamera();
        camera->setOpenHangs(true);
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QSignalSpy started(inspect.captureLib(), &Vorn_FFmpeglib::captureStarted);
        inspect.ui()->pushButton_preview->setChecked(true);
        QVERIFY(started.wait(30000)); // given up
        inspect.ui()->pushButton_preview->setChecked(false);
        QCOMPARE(camera->stuckOpens(), 1); // the stop did not wait for it
        camera->setOpenHangs(false);
        QTRY_VERIFY_WITH_TIMEOUT(camera->stuckOpens() == 0 && !camera->isStreaming(), 30000);
    }

    void aCameraWithoutPermissionIsNamedWithTheFix()
    {
        QTemporaryDir dev;
        const QByteArray node = QFile::encodeName(dev.filePath("video7"));
        if (::mknod(node.constData(), S_IFCHR, makedev(1, 3)) != 0) {
            QSKIP("making a device node takes CAP_MKNOD");
        }
        NodesOnly system(dev.path());
        DeviceCatalog::setInstance(&system);
        WithoutDacOverride asAUser;
        ScriptedDialogs user;
        {
            Vorn_Cam window;
            MainWindowInspector inspect(window);
            QTRY_COMPARE(user.messages().size(), 1);
            QVERIFY2(user.messages().first().contains(dev.filePath("video7")) &&
                         user.messages().first().contains("\"video\" group"),
                     qPrintable(user.messages().first()));
            inspect.discoveryPass();
            QCoreApplication::processEvents();
            QCOMPARE(user.messages().size(), 1); // once, not every second
        }
        DeviceCatalog::setInstance(&catalog);
    }

    void pagesAskToLetGoOfTheCamera()
    {
        hub.plugCamera(named("Solo"));
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(inspect.captureOn());
        emit inspect.settingAudio()->audioReboot();
        QVERIFY(!inspect.captureOn());
        // The closed camera is not opened again behind the user's back.
        inspect.discoveryPass();
        QCOMPARE(inspect.ui()->comboBox->currentText(), QStringLiteral("No camera selected"));
        QVERIFY(!inspect.captureOn());
        inspect.activate(1);
        emit Vorn_settingUpgrade::getInstance()->disConnectDevice();
        QVERIFY(!inspect.captureOn());
        QVERIFY(!inspect.ui()->bt_record->isEnabled());
    }

    void switchedOffBeforeTheDeferredStart()
    {
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        inspect.ui()->pushButton_preview->setChecked(false);
        // Timers fire in the order they fall due: once this one has, the
        // window's shorter deferred start has had its turn.
        QTimer after;
        after.setSingleShot(true);
        QSignalSpy fired(&after, &QTimer::timeout);
        after.start(2000);
        QVERIFY(fired.wait(60000));
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
        QVERIFY(inspect.lastFrame().isNull());
    }

    void cameraInUseShowsThePictureAndRetries()
    {
        auto camera = hub.plugCamera();
        camera->setInUseByOtherProgram(true);
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        // The "in use" picture, not a frame.
        QTRY_COMPARE_WITH_TIMEOUT(shownSize(inspect), QSize(285, 29), 30000);
        QVERIFY(inspect.lastFrame().isNull());
        // Freed by the other program: switching off and on again retries.
        inspect.ui()->pushButton_preview->setChecked(false);
        camera->setInUseByOtherProgram(false);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 30000);
    }

    void anotherCameraOrAnUnplugStopsThePreview()
    {
        auto first = hub.plugCamera();
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(1);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(inspect.captureLib()->CaptureIsOpen(), 30000);
        inspect.activate(2);
        QVERIFY(!inspect.ui()->pushButton_preview->isChecked());
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());

        inspect.activate(1);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 30000);
        hub.unplug(first->deviceName());
        inspect.discoveryPass();
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
        QVERIFY(!inspect.ui()->pushButton_preview->isChecked());
        QVERIFY(!first->isStreaming());
    }

    void closingWhilePreviewingFreesTheCamera()
    {
        auto camera = hub.plugCamera();
        auto window = std::make_unique<Vorn_Cam>();
        MainWindowInspector inspect(*window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 30000);
        window.reset();
        QTRY_VERIFY_WITH_TIMEOUT(!camera->isStreaming(), 30000);
    }

    void captureStartsWithoutWaitingForFrames()
    {
        auto camera = hub.plugCamera();
        Vorn_FFmpeglib lib;
        lib.SetCapture(camera->config().description.toStdString(), 0);
        QSignalSpy started(&lib, &Vorn_FFmpeglib::captureStarted);
        QSignalSpy frames(&lib, &Vorn_FFmpeglib::frameBuffer);
        QVERIFY(lib.StartCaptureAsync());
        QVERIFY(!lib.CaptureIsOpen()); // back before the camera sent anything
        QVERIFY(started.wait(30000));
        // A start stopped while pending never reports; the next one does.
        lib.StartCaptureAsync();
        lib.StopCapture();
        lib.StartCaptureAsync();
        frames.clear();
        QTRY_VERIFY_WITH_TIMEOUT(!frames.isEmpty(), 30000);
        QCOMPARE(QList<QVariantList>(started), QList<QVariantList>({{true}, {true}}));
    }

    // Beside the camera list, which stays where it was; a choice restarts the
    // preview at that size and comes back with the camera from its profile.
    void theModeChoiceIsKeptWithTheCamera()
    {
        // The simulated camera draws a room per picture size, once a process;
        // a slow build would spend the window's whole wait to open on it.
        SimulatedFrameRenderer(1920, 1080, -1, QString());
        hub.plugCamera();
        const QString key = CameraProfileStore::keyOf(catalog.videoInputs().value(0));
        CameraProfileStore::setCaptureMode(key, QString());
        for (const char* shown : {"1280x720@30 MJPEG", "1920x1080@30 MJPEG"}) {
            Vorn_Cam window;
            window.show();
            MainWindowInspector inspect(window);
            auto* box = window.findChild<QComboBox*>("comboBox_mode");
            QTRY_COMPARE(box->currentText(), QString(shown)); // listed off the GUI thread
            // Where the bar has always put it, once laid out around the
            // camera's version, which the control worker reads.
            QTRY_COMPARE(inspect.ui()->comboBox->geometry(), QRect(361, 8, 276, 28));
            const QRect list = inspect.ui()->comboBox->geometry();
            QVERIFY(box->geometry().left() > list.right() &&
                    box->geometry().right() < inspect.ui()->label_version->geometry().left());
            inspect.ui()->pushButton_preview->setChecked(true);
            QTRY_VERIFY_WITH_TIMEOUT(inspect.captureLib()->CaptureIsOpen(), 30000);
            const int chosen = box->findText("1920x1080@30 MJPEG");
            box->setCurrentIndex(chosen);
            emit box->activated(chosen);
            QTRY_COMPARE_WITH_TIMEOUT(inspect.lastFrame().size(), QSize(1920, 1080), 30000);
            QCOMPARE(CameraProfileStore::captureMode(key), QString("1920x1080@30/mjpeg"));
        }
    }

    // A camera slow to list its modes holds neither the window nor the
    // box: the listing waits on a pool thread, and when it ends after
    // another camera was chosen, the box keeps the other camera's modes.
    void aSlowListingIsLeftToItsThread()
    {
        SimulatedCameraConfig config = named("Slow to list");
        config.modes = {{640, 480, 30, CaptureMode::Format::Mjpeg}};
        config.width = 640, config.height = 480;
        auto slow = hub.plugCamera(config);
        slow->setListingHangs(true);
        auto other = hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        auto* box = window.findChild<QComboBox*>("comboBox_mode");
        inspect.activate(1);
        QTRY_COMPARE(slow->stuckListings(), 1);
        QCOMPARE(box->count(), 0);
        inspect.activate(2);
        QTRY_COMPARE(box->count(), other->modes().size());
        slow->setListingHangs(false);
        // The slow listing's end is posted before its pool thread is free.
        QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);
        QCoreApplication::processEvents();
        QCOMPARE(box->count(), other->modes().size());
    }

    void audioSwitchRestartsTheCamera()
    {
        auto camera = hub.plugCamera();
        camera->modifyControlConfig(
            [](SimulatedControlConfig& c) { c.restartMilliseconds = 2500; });
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(inspect.captureLib()->CaptureIsOpen(), 30000);
        ScriptedDialogs answers;
        auto* audio = inspect.settingAudio()->findChild<QPushButton*>("pushButton_Audio");
        audio->click();
        QTRY_VERIFY_WITH_TIMEOUT(hub.cameras().isEmpty(), 30000);
        // Back, opened again, and previewing as before.
        QTRY_VERIFY_WITH_TIMEOUT(!hub.cameras().isEmpty() && inspect.captureLib()->CaptureIsOpen(),
                                 60000);
        QVERIFY(audio->isEnabled() && !audio->isChecked()); // the setting it came back with
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
