// The virtual camera's helper installed into a temporary prefix: owners, modes,
// polkit action, refusal of a changeable copy, its exit code told to the user.
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
        struct stat info = {};
        const bool found = stat(QFile::encodeName(path).constData(), &info) == 0;
        return found ? QString("%1 %2").arg(info.st_uid).arg(info.st_mode & 07777, 0, 8) : "gone";
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
        QVERIFY(QDir().mkpath(prefix.filePath("bin")));
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
        if (QFile::exists("/sys/class/video4linux")) {
            QSKIP("a machine with video devices: the module is not faked away there");
        }
        // No loopback module: modprobe fails.
        QFile modprobe(prefix.filePath("bin/modprobe"));
        QVERIFY(modprobe.open(QIODevice::WriteOnly));
        modprobe.write("#!/bin/sh\nexit 1\n");
        modprobe.close();
        modprobe.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", prefix.filePath("bin").toLocal8Bit() + ':' + qgetenv("PATH"));
        QProcess run;
        run.start(script, {"register"});
        QVERIFY(run.waitForFinished(20000));
        const int result = PkexecLauncher::resultOf(run.exitStatus(), run.exitCode(), {});
        QVERIFY(VirtualCameraCommand::linuxFailureMessage(true, result, run.exitCode())
                    .contains("v4l2loopback kernel module"));
    }
};

QTEST_GUILESS_MAIN(tst_VcamInstall)
#include "tst_vcaminstall.moc"
