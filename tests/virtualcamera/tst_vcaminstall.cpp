// The virtual camera's privileged part as installed: a temporary prefix,
// owners and modes, the polkit action naming the installed script, the
// refusal of a helper someone else could change, and the script's exit
// codes reaching the user as texts.
#include "pkexeclauncher.h"
#include "trustedhelper.h"
#include "virtualcameracommand.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class tst_VcamInstall : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir prefix;
    QString script;

    static QString mode(const QString& path)
    {
        struct stat info
        {
        };
        if (stat(QFile::encodeName(path).constData(), &info) != 0) {
            return QStringLiteral("missing");
        }
        return QString::number(info.st_uid) + ' ' + QString::number(info.st_mode & 07777, 8);
    }

    // The installed script through a pkexec that just runs it.
    int runScript(const QString& tool, int* exitCode)
    {
        QFile pkexec(prefix.filePath("bin/pkexec"));
        QDir().mkpath(prefix.filePath("bin"));
        pkexec.open(QIODevice::WriteOnly);
        pkexec.write("#!/bin/sh\nexec \"$@\"\n");
        pkexec.close();
        pkexec.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        PkexecLauncher launcher(pkexec.fileName());
        int result = -1;
        launcher.startElevated(QFile::encodeName(tool), "register --tmpdir /tmp", {}, 0, this,
                               [&](int r, int code) {
                                   result = r;
                                   *exitCode = code;
                               });
        return QTest::qWaitFor([&] { return result != -1; }, 20000) ? result : -2;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(prefix.isValid());
        if (geteuid() != 0) {
            QSKIP("installing a helper that only root may change needs root");
        }
        QProcess install;
        install.setProcessChannelMode(QProcess::ForwardedChannels);
        // A permissive umask must not leak into the installed modes.
        install.start("sh", {"-c",
                             "umask 000; exec \"$0\" --install \"$1\" --prefix \"$2\" "
                             "--component virtualcamera",
                             LUMORA_CMAKE_COMMAND, LUMORA_BINARY_DIR, prefix.path()});
        QVERIFY(install.waitForFinished(60000));
        QCOMPARE(install.exitCode(), 0);
        script = prefix.filePath("libexec/lumora/lumora-vcam");
    }

    void installedForRootOnly()
    {
        for (const char* folder : {"libexec", "libexec/lumora", "share/polkit-1/actions"}) {
            QCOMPARE(mode(prefix.filePath(folder)), QString("0 755"));
        }
        QCOMPARE(mode(script), QString("0 755"));
        QCOMPARE(mode(prefix.filePath("libexec/lumora/lumora-vcam-feeder")), QString("0 755"));
        const QString policy = prefix.filePath("share/polkit-1/actions/org.lumora.vcam.policy");
        QCOMPARE(mode(policy), QString("0 644"));

        QFile action(policy);
        QVERIFY(action.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(action.readAll());
        QVERIFY(text.contains("<message>Lumora wants to add its virtual camera</message>"));
        QVERIFY(text.contains("\"org.freedesktop.policykit.exec.path\">" + script + "</annotate>"));
        QCOMPARE(VirtualCameraCommand::linuxRefusal(script), QString());
    }

    void aHelperOthersCouldChangeIsRefused()
    {
        const QString folder = prefix.filePath("copy");
        QVERIFY(QDir().mkpath(folder));
        const QString copy = folder + "/lumora-vcam";
        QVERIFY(QFile::copy(script, copy));
        QCOMPARE(chmod(QFile::encodeName(copy), 0775), 0);
        QVERIFY(VirtualCameraCommand::linuxRefusal(copy).contains("cmake --install"));
        QCOMPARE(TrustedHelper::untrustedPart(copy), copy);
        QCOMPARE(chmod(QFile::encodeName(copy), 0755), 0);
        QCOMPARE(chmod(QFile::encodeName(folder), 0777), 0);
        QCOMPARE(TrustedHelper::untrustedPart(copy), folder);
        // Only owners may rename in a sticky folder, as in /tmp.
        QCOMPARE(chmod(QFile::encodeName(folder), 01777), 0);
        QCOMPARE(TrustedHelper::untrustedPart(copy), QString());
        QCOMPARE(chown(QFile::encodeName(copy), 65534, 65534), 0);
        QCOMPARE(TrustedHelper::untrustedPart(copy), copy);
        QVERIFY(VirtualCameraCommand::linuxRefusal(folder + "/gone").contains("not installed"));
    }

    void theToolSaysWhatIsMissing()
    {
        // Alone, without its feeder.
        const QString alone = prefix.filePath("alone/lumora-vcam");
        QVERIFY(QDir().mkpath(prefix.filePath("alone")));
        QVERIFY(QFile::copy(script, alone));
        int exitCode = 0;
        QCOMPARE(runScript(alone, &exitCode), int(ElevatedLauncher::ToolFailed));
        QVERIFY(
            VirtualCameraCommand::linuxFailureMessage(true, ElevatedLauncher::ToolFailed, exitCode)
                .contains("feeder is missing"));

        // No loopback module: modprobe fails.
        if (QFile::exists("/sys/class/video4linux")) {
            QSKIP("a machine with video devices: the module is not faked away there");
        }
        QFile modprobe(prefix.filePath("bin/modprobe"));
        QVERIFY(modprobe.open(QIODevice::WriteOnly));
        modprobe.write("#!/bin/sh\nexit 1\n");
        modprobe.close();
        modprobe.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", prefix.filePath("bin").toLocal8Bit() + ':' + qgetenv("PATH"));
        QCOMPARE(runScript(script, &exitCode), int(ElevatedLauncher::ToolFailed));
        QVERIFY(
            VirtualCameraCommand::linuxFailureMessage(true, ElevatedLauncher::ToolFailed, exitCode)
                .contains("v4l2loopback kernel module"));
    }
};

QTEST_GUILESS_MAIN(tst_VcamInstall)
#include "tst_vcaminstall.moc"
