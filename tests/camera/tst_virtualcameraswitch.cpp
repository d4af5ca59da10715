// The virtual camera switch in the real window and launcher, with a pkexec on
// the PATH that ends when the test says, with the test's exit code and error.
#include "mainwindowinspector.h"
#include "scripteddialogs.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"

#include <QTemporaryDir>
#include <QtTest>

class tst_VirtualCameraSwitch : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;
    QTemporaryDir folder;
    QString path;

    QString file(const char* name) const { return folder.filePath(QLatin1String(name)); }
    void release() { QFile(file("go")).open(QIODevice::WriteOnly); }

    static QPushButton* button(MainWindowInspector& i) { return i.ui()->pushButton_register; }

private slots:
    void initTestCase()
    {
        QVERIFY(folder.isValid());
        QFile script(file("pkexec"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\n"
                     "echo $$ > \"$STANDIN_DIR/pid\"\n"
                     "trap 'touch \"$STANDIN_DIR/terminated\"; exit 143' TERM\n"
                     "while [ ! -e \"$STANDIN_DIR/go\" ]; do sleep 0.05; done\n"
                     "printf '%s' \"$STANDIN_ERROR\" >&2\n"
                     "exit \"${STANDIN_EXIT:-0}\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("STANDIN_DIR", folder.path().toLocal8Bit());
        qputenv("TMPDIR", folder.path().toLocal8Bit());
        path = qEnvironmentVariable("PATH");
        DeviceCatalog::setInstance(&catalog);
    }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init()
    {
        hub.reset();
        hub.plugCamera();
        qputenv("LUMORA_DEV_VCAM_HELPER", "1");
        qputenv("PATH", (folder.path() + ':' + path).toLocal8Bit());
        for (const char* name : {"go", "pid", "terminated"}) {
            QFile::remove(file(name));
        }
    }

    void staysPendingWhileThePromptIsOpen()
    {
        ScriptedDialogs dialogs;
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 10000);

        button(inspect)->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file("pid")), 10000);
        // The window runs on: frames keep coming while nobody answers.
        const QImage shown = inspect.lastFrame().copy();
        QTRY_VERIFY_WITH_TIMEOUT(inspect.lastFrame() != shown, 5000);
        QVERIFY(button(inspect)->isChecked());
        QVERIFY(!button(inspect)->isEnabled());
        // Another click does nothing, and a toggle from elsewhere is undone.
        QTest::mouseClick(button(inspect), Qt::LeftButton);
        button(inspect)->setChecked(false);
        QVERIFY(button(inspect)->isChecked());

        release();
        QTRY_VERIFY_WITH_TIMEOUT(button(inspect)->isEnabled(), 10000);
        QVERIFY(button(inspect)->isChecked() && dialogs.messages().isEmpty());
    }

    void aFailureRevertsAndSaysWhy_data()
    {
        QTest::addColumn<QByteArray>("exitCode");
        QTest::addColumn<QByteArray>("error");
        QTest::addColumn<QString>("told");
        QTest::newRow("declined") << QByteArray("126") << QByteArray() << "declined";
        QTest::newRow("no agent") << QByteArray("127") << QByteArray("No authentication agent")
                                  << "polkit authentication agent";
        QTest::newRow("no module") << QByteArray("10") << QByteArray() << "v4l2loopback";
        QTest::newRow("no pkexec") << QByteArray() << QByteArray() << "needs pkexec";
        // Without the development switch only the installed helper may run.
        QTest::newRow("not installed") << QByteArray("0") << QByteArray() << "cmake --install";
    }

    void aFailureRevertsAndSaysWhy()
    {
        QFETCH(QByteArray, exitCode);
        QFETCH(QByteArray, error);
        QFETCH(QString, told);
        qputenv("STANDIN_EXIT", exitCode);
        qputenv("STANDIN_ERROR", error);
        if (exitCode.isEmpty()) {
            qputenv("PATH", folder.filePath("nowhere").toLocal8Bit());
        } else if (exitCode == "0") {
            qunsetenv("LUMORA_DEV_VCAM_HELPER");
        }
        release();
        ScriptedDialogs dialogs;
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        button(inspect)->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(button(inspect)->isEnabled(), 10000);
        QVERIFY(!button(inspect)->isChecked());
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY2(dialogs.messages()[0].contains(told), qPrintable(dialogs.messages()[0]));
        QVERIFY(exitCode != "0" || !QFile::exists(file("pid")));
    }

    void closingWhilePendingCancelsThePrompt()
    {
        ScriptedDialogs dialogs;
        auto* window = new Vorn_Cam;
        MainWindowInspector inspect(*window);
        button(inspect)->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(file("pid")), 10000);
        QFile pidFile(file("pid"));
        QVERIFY(pidFile.open(QIODevice::ReadOnly));
        const QByteArray pid = pidFile.readAll().trimmed();
        delete window;
        // Ended and reaped: not even a zombie is left.
        QVERIFY(QFile::exists(file("terminated")));
        QVERIFY(!QFile::exists("/proc/" + pid));
        QVERIFY(dialogs.messages().isEmpty());
    }
};

QTEST_MAIN(tst_VirtualCameraSwitch)
#include "tst_virtualcameraswitch.moc"
