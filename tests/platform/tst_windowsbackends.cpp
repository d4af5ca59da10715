// The Windows backends against the system they run on (wine in CI): the
// DirectShow device enumerator, Core Audio, the shell launcher, the dshow
// inputs of the capture library and the vendor dialog library. Only what
// holds on a machine without cameras is asserted.
#include "audioendpoints.h"
#include "dshowmicrophone.h"
#include "dshowpropertydevices.h"
#include "dshowsource.h"
#include "framesourcefactory.h"
#include "shellexecutelauncher.h"
#include "vendordialog.h"
#include "windowsdevicecatalog.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QTemporaryDir>
#include <QtTest>

#include <windows.h>

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
};

QTEST_GUILESS_MAIN(TestWindowsBackends)
#include "tst_windowsbackends.moc"
