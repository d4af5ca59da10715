// The commands that register and unregister the virtual camera component,
// and the Linux launcher running them through a stand-in for pkexec that
// records its arguments.
#include "pkexeclauncher.h"
#include "virtualcameracommand.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

class tst_ElevatedLauncher : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir folder;
    QString standIn;

    QString argumentsFile() const { return folder.filePath("arguments"); }

    QStringList recordedArguments() const
    {
        QFile file(argumentsFile());
        if (!file.open(QIODevice::ReadOnly)) {
            return {QStringLiteral("<not run>")};
        }
        return QString::fromLocal8Bit(file.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    QString recordedFolder() const
    {
        QFile file(folder.filePath("folder"));
        file.open(QIODevice::ReadOnly);
        return QString::fromLocal8Bit(file.readAll()).trimmed();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        // Writes its arguments one a line and its working folder, then ends
        // as pkexec would after the prompt and the program.
        standIn = folder.filePath("pkexec");
        QFile script(standIn);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(
            "#!/bin/sh\n"
            "pwd > \"$STANDIN_DIR/folder\"\n"
            "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$STANDIN_DIR/arguments\"\n"
            "[ -n \"$STANDIN_SLEEP\" ] && sleep \"$STANDIN_SLEEP\" && touch "
            "\"$STANDIN_DIR/done\"\n"
            "exit \"${STANDIN_EXIT:-0}\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("STANDIN_DIR", folder.path().toLocal8Bit());
    }

    void init()
    {
        QFile::remove(argumentsFile());
        qunsetenv("STANDIN_EXIT");
        qunsetenv("STANDIN_SLEEP");
    }

    void windowsRegistration()
    {
        const QString path =
            VirtualCameraCommand::windowsComponentPath("C:/Program Files/Lumora Tools");
        QCOMPARE(path, QString("C:/Program Files/Lumora Tools/virtual/vcam_dshow.dll"));

        const ElevatedCommand on = VirtualCameraCommand::windowsCommand(path, true);
        QCOMPARE(on.file, QByteArray("regsvr32.exe"));
        QCOMPARE(on.parameters,
                 QByteArray("/s  \"C:\\Program Files\\Lumora Tools\\virtual\\vcam_dshow.dll\""));
        QCOMPARE(on.directory, QByteArray());
        QCOMPARE(on.showCommand, 0);

        const ElevatedCommand off = VirtualCameraCommand::windowsCommand(path, false);
        QCOMPARE(off.file, QByteArray("regsvr32.exe"));
        QCOMPARE(off.parameters,
                 QByteArray("/s /u  \"C:\\Program Files\\Lumora Tools\\virtual\\vcam_dshow.dll\""));
        QCOMPARE(off.showCommand, 0);

        // The path goes to the shell as UTF-8 bytes.
        const ElevatedCommand accented = VirtualCameraCommand::windowsCommand(
            QString::fromUtf8("D:/Kamera\xc3\xa4/x.dll"), true);
        QCOMPARE(accented.parameters, QByteArray("/s  \"D:\\Kamera\xc3\xa4\\x.dll\""));
    }

    void linuxRegistration()
    {
        const QString tool = VirtualCameraCommand::linuxComponentPath("/opt/my tools");
        QCOMPARE(tool, QString("/opt/my tools/virtual/lumora-vcam"));
        const ElevatedCommand on =
            VirtualCameraCommand::linuxCommand(tool, true, "/tmp/user \"one\" dir");
        QCOMPARE(on.file, QByteArray("/opt/my tools/virtual/lumora-vcam"));
        // The temporary folder survives the launcher's splitting whole.
        QCOMPARE(QProcess::splitCommand(QString::fromLocal8Bit(on.parameters)),
                 QStringList({"register", "--tmpdir", "/tmp/user \"one\" dir"}));
        const ElevatedCommand off = VirtualCameraCommand::linuxCommand(tool, false, "/tmp");
        QCOMPARE(off.file, on.file);
        QCOMPARE(off.parameters, QByteArray("unregister"));
        QCOMPARE(VirtualCameraCommand::componentPath("/x"), QString("/x/virtual/lumora-vcam"));
    }

    void pkexecRunsTheToolWithItsArguments()
    {
        PkexecLauncher launcher(standIn);
        const ElevatedCommand command = VirtualCameraCommand::linuxCommand(
            "/opt/my tools/virtual/lumora-vcam", true, "/tmp/with blanks");
        const int result =
            launcher.runElevated(command.file, command.parameters, folder.path().toLocal8Bit(), 0);
        QVERIFY(result > 32);
        QCOMPARE(recordedArguments(), QStringList({"/opt/my tools/virtual/lumora-vcam", "register",
                                                   "--tmpdir", "/tmp/with blanks"}));
        QCOMPARE(recordedFolder(), QDir(folder.path()).canonicalPath());
    }

    void pkexecFailures_data()
    {
        QTest::addColumn<QByteArray>("exitCode");
        QTest::addColumn<int>("expected");
        QTest::newRow("prompt dismissed") << QByteArray("126") << int(PkexecLauncher::Declined);
        QTest::newRow("not authorised") << QByteArray("127") << int(PkexecLauncher::Declined);
        QTest::newRow("tool failed") << QByteArray("1") << int(PkexecLauncher::ToolFailed);
    }

    void pkexecFailures()
    {
        QFETCH(QByteArray, exitCode);
        QFETCH(int, expected);
        qputenv("STANDIN_EXIT", exitCode);
        PkexecLauncher launcher(standIn);
        const int result = launcher.runElevated("/bin/tool", "unregister", QByteArray(), 0);
        QCOMPARE(result, expected);
        QVERIFY(result <= 32);
        QCOMPARE(recordedArguments(), QStringList({"/bin/tool", "unregister"}));
    }

    void pkexecMissing()
    {
        PkexecLauncher launcher(folder.filePath("no-such-pkexec"));
        QCOMPARE(launcher.runElevated("/bin/tool", "register", QByteArray(), 0),
                 int(PkexecLauncher::NotStarted));
    }

    void anUnansweredPromptIsLeftToFinish()
    {
        qputenv("STANDIN_SLEEP", "1");
        PkexecLauncher launcher(standIn, 100);
        QCOMPARE(launcher.runElevated("/bin/tool", "register", QByteArray(), 0),
                 int(PkexecLauncher::TimedOut));
        // Not killed: the tool completes on its own.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder.filePath("done")), 5000);
    }
};

QTEST_GUILESS_MAIN(tst_ElevatedLauncher)
#include "tst_elevatedlauncher.moc"
