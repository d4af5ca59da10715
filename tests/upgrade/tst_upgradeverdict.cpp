#include "upgradebridge.h"
#include "upgradetesthelpers.h"

#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

// Whether an upgrade succeeded is read from what the library's messages
// mean, not from a word somewhere in them.
class TestUpgradeVerdict : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(scripted.ok());
        setUpgradeLibraryFolder(binFolder("scripted"));
    }

    void verdict_data()
    {
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<bool>("success");
        const QString done = QStringLiteral("flash write: 100.0%");
        QTest::newRow("no error") << QStringList{"send file: 100%", "check: no error", done,
                                                 "upgrade exit"}
                                  << true;
        QTest::newRow("0 errors") << QStringList{"send file: 100%", done,
                                                 "verify: 0 errors, 0 warnings", "upgrade exit"}
                                  << true;
        QTest::newRow("error word first")
            << QStringList{"send file: 100%", "Error: flash timeout", done, "upgrade exit"}
            << false;
        QTest::newRow("exit before 100 %")
            << QStringList{"send file: 100%", "flash write: 55.0%", "upgrade exit"} << false;
    }

    void verdict()
    {
        QFETCH(QStringList, messages);
        QFETCH(bool, success);
        scripted.reset();
        for (const QString& message : messages) {
            scripted.addText(message.toUtf8().constData());
        }
        ScriptedResponder responder;
        responder.fileName = files.filePath(QStringLiteral("fw.pkg"));
        Vorn_settingUpgrade* page = Vorn_settingUpgrade::getInstance();
        page->captureState(true);
        page->onCameraIDChange(0);
        Vorn_settingUpgradeInspector in(page);
        in.clickUpgrade();
        QTRY_VERIFY_WITH_TIMEOUT(!in.upgrading(), 20000);
        QVERIFY(QThreadPool::globalInstance()->waitForDone(20000));
        QCOMPARE(scripted.callCount(), 1);
        QCOMPARE(in.status(), success ? QStringLiteral("<font color=green>Upgrade complete!</font>")
                                      : QStringLiteral("<font color=red>Upgrade failed!</font>"));
    }

private:
    ScriptedLibrary scripted;
    QTemporaryDir files;
};

QTEST_MAIN(TestUpgradeVerdict)
#include "tst_upgradeverdict.moc"
