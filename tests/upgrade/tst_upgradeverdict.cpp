#include "upgradebridge.h"
#include "upgradetesthelpers.h"

#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

// Success is read from what the library's messages mean, not from a word.
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
        QTest::newRow("no error") << QStringList{"check: no error", done, "exit"} << true;
        QTest::newRow("0 errors") << QStringList{done, "0 errors", "exit"} << true;
        QTest::newRow("error first") << QStringList{"Error: timeout", done, "exit"} << false;
        QTest::newRow("short of 100") << QStringList{"flash write: 55.0%", "exit"} << false;
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
        Vorn_settingUpgradeInspector in(Vorn_settingUpgrade::getInstance());
        in.p->captureState(true);
        in.p->onCameraIDChange(0);
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
