// The Windows backends against the system they run on (wine in CI): the
// DirectShow device enumerator, Core Audio, the shell launcher, the dshow
// inputs of the capture library, the vendor dialog library and the agent's
// resume and device notifiers. Only what holds on a machine without cameras
// is asserted.
#include "audioendpoints.h"
#include "devicechangenotifier.h"
#include "dshowmicrophone.h"
#include "dshowpropertydevices.h"
#include "dshowsource.h"
#include "framesourcefactory.h"
#include "shellexecutelauncher.h"
#include "systemresumenotifier.h"
#include "vendordialog.h"
#include "windowsdevicecatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include <windows.h>

#include <dbt.h>

class TestWindowsBackends : public QObject
{
    Q_OBJECT

private slots:
    void deviceEnumeratorAnswers()
    {
        DshowPropertyDevices devices;
        QList<PropertyDeviceEntry> entries;
        // No video devices is an empty list and success, not a failure.
        QVERIFY(devices.enumerate(&entries) >= 0);
        for (const PropertyDeviceEntry& entry : entries) {
            QVERIFY(!entry.pathReadable || !entry.devicePath.isEmpty());
        }
        // A path no device has binds nothing and says so.
        long result = 0;
        const auto transport = devices.bind(
            QStringLiteral("\\\\?\\usb#vid_ffff&pid_ffff&mi_00#0&0&0&0#{65e8773d-8f56-11d0-"
                           "a3b9-00a0c9223196}\\global"),
            &result);
        QVERIFY(!transport);
        QVERIFY(result < 0);
        QCOMPARE(WindowsDeviceCatalog().availability(VideoInputInfo("Cam", "@device_pnp_", true)),
                 CameraAvailability::Gone);
    }

    void coreAudioEndpointsAreListed()
    {
        // Wine implements the endpoint enumeration but not every call of
        // the volume interface, so only the listing is asserted.
        for (const auto flow : {AudioEndpoints::Flow::Render, AudioEndpoints::Flow::Capture}) {
            QList<AudioEndpointInfo> endpoints;
            QCOMPARE(int(AudioEndpoints::instance().activeEndpoints(flow, &endpoints)),
                     int(AudioEndpoints::Status::Ok));
            for (const AudioEndpointInfo& endpoint : endpoints) {
                QVERIFY(!endpoint.id.isEmpty());
                QVERIFY(!endpoint.friendlyName.isEmpty());
            }
        }
    }

    void shellLauncherReportsAMissingTool()
    {
        ShellExecuteLauncher launcher;
        QCOMPARE(launcher.runElevated(QByteArrayLiteral("lumora-no-such-tool.exe"), QByteArray(),
                                      QByteArray(), SW_HIDE),
                 ElevatedLauncher::Result::NotStarted);
    }

    void shellLauncherKeepsNonAsciiParameters()
    {
        // The parameters are UTF-8; a folder name outside the system's
        // code page must reach the started program unchanged.
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/Lumora Prüfung 测试-XXXXXX"));
        QVERIFY(dir.isValid());
        const QString target = QDir::toNativeSeparators(dir.filePath(QStringLiteral("out.txt")));
        const QByteArray parameters =
            (QStringLiteral("/c echo started> \"") + target + QStringLiteral("\"")).toUtf8();
        ShellExecuteLauncher launcher;
        QVERIFY(launcher.runElevated(QByteArrayLiteral("cmd.exe"), parameters, QByteArray(),
                                     SW_HIDE) == ElevatedLauncher::Result::Started);
        QTRY_VERIFY_WITH_TIMEOUT(QFile(dir.filePath(QStringLiteral("out.txt"))).size() > 0, 60000);
    }

    void dshowNamesCamerasByTheirAlternativeName()
    {
        // Two cameras of one model differ only in their device path.
        const QString name = QStringLiteral("@device:pnp:\\\\?\\usb#vid_046d&pid_0825&mi_00#7&1");
        QCOMPARE(DshowSource::inputUrl(name),
                 QStringLiteral("video=@device_pnp_\\\\?\\usb#vid_046d&pid_0825&mi_00#7&1"));
    }

    void dshowInputsFailCleanlyWithoutTheDevice()
    {
        const QString absent =
            QStringLiteral("@device:pnp:\\\\?\\usb#vid_ffff&pid_ffff#0#{x}\\global");
        QVERIFY(listCaptureModes(absent).isEmpty());
        DshowSource camera(absent);
        QVERIFY(!camera.open({1280, 720, 30}));
        QVERIFY(!camera.codecParameters());
        DshowMicrophone microphone;
        std::string error;
        QVERIFY(!microphone.open("Lumora No Such Microphone", 0, &error));
        QVERIFY(QString::fromStdString(error).contains(QStringLiteral("dshow")));
    }

    void vendorDialogLibraryRefusesAMissingFilter()
    {
        QLibrary library(QDir(QCoreApplication::applicationDirPath())
                             .filePath(QStringLiteral("VideoCaptureFilter.dll")));
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        const auto showDlg = reinterpret_cast<VendorShowDlgFunction>(library.resolve("ShowDlg"));
        QVERIFY(showDlg);
        QCOMPARE(showDlg(nullptr), int(E_POINTER));
        library.unload();
    }

    // Wake and camera messages reach the agent's notifiers through their
    // windows, sent or posted as Windows does; the rest is let by.
    void systemMessagesReachTheNotifiers()
    {
        const std::unique_ptr<SystemResumeNotifier> resume(SystemResumeNotifier::create());
        const std::unique_ptr<DeviceChangeNotifier> devices(DeviceChangeNotifier::create());
        QVERIFY(devices->isEventDriven());
        const HWND power = FindWindowExW(HWND_MESSAGE, nullptr, L"LumoraPowerBroadcast", nullptr);
        const HWND plug = FindWindowExW(HWND_MESSAGE, nullptr, L"LumoraDeviceInterfaces", nullptr);
        QVERIFY(power && plug);
        QSignalSpy resumed(resume.get(), &SystemResumeNotifier::resumed);
        QSignalSpy changed(devices.get(), &DeviceChangeNotifier::changed);
        SendMessageW(power, WM_POWERBROADCAST, PBT_APMSUSPEND, 0);
        SendMessageW(power, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0);
        QCOMPARE(resumed.count(), 0);
        QVERIFY(PostMessageW(power, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0));
        QTRY_COMPARE_WITH_TIMEOUT(resumed.count(), 1, 30000);

        DEV_BROADCAST_HDR volume{sizeof(DEV_BROADCAST_HDR), DBT_DEVTYP_VOLUME, 0};
        DEV_BROADCAST_DEVICEINTERFACE_W camera{};
        camera.dbcc_size = sizeof camera;
        camera.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        SendMessageW(plug, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, LPARAM(&volume));
        SendMessageW(plug, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, LPARAM(&camera));
        QCOMPARE(changed.count(), 0);
        camera.dbcc_classguid = {
            0x65e8773d, 0x8f56, 0x11d0, {0xa3, 0xb9, 0, 0xa0, 0xc9, 0x22, 0x31, 0x96}};
        SendMessageW(plug, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, LPARAM(&camera));
        QCOMPARE(changed.count(), 1);
    }
};

QTEST_GUILESS_MAIN(TestWindowsBackends)
#include "tst_windowsbackends.moc"
