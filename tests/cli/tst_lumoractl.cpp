#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

// lumora-ctl driven as a user drives it, against simulated cameras.
class TestLumoraCtl : public QObject
{
    Q_OBJECT

    struct Run
    {
        int exitCode = -1;
        QJsonObject json;
        QString err;
    };
    Run ctl(const QStringList& args, int cameras, const QStringList& env = {})
    {
        QProcess process;
        process.setEnvironment(QProcess::systemEnvironment() + env +
                               QStringList{QString("LUMORA_SIMULATED_CAMERAS=%1").arg(cameras)});
        process.start(QCoreApplication::applicationDirPath() + "/lumora-ctl",
                      args + QStringList{"--json"});
        Run run;
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
            return run;
        }
        run.exitCode = process.exitCode();
        run.json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
        run.err = QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }

    QJsonArray cameras(const Run& run) { return run.json.value("cameras").toArray(); }
    QTemporaryDir dir;
    const QString firmware = dir.filePath("fw.img");

private slots:
    void initTestCase()
    {
        QFile file(firmware);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(8192, 'f')) == 8192);
    }

    void listsThreeCameras()
    {
        const Run run = ctl({"list"}, 3);
        QCOMPARE(run.exitCode, 0);
        const QJsonArray list = cameras(run);
        QCOMPARE(list.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const QJsonObject camera = list.at(i).toObject();
            QCOMPARE(camera.value("device").toString(), QString("sim:video%1").arg(i));
            QVERIFY(camera.value("microphone").toString().contains("Lumora Simulated Camera"));
            QCOMPARE(camera.value("firmware").toString(), QString("1.0.0"));
            QCOMPARE(camera.value("held").toBool(), false);
        }
    }

    void setsAllAndReadsBack()
    {
        const Run run =
            ctl({"set", "all", "exposure=-3", "flip-horizontal=on", "image-style=live"}, 2);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(cameras(run).size(), 2);
        for (const QJsonValue& camera : cameras(run)) {
            const QJsonObject controls = camera.toObject().value("controls").toObject();
            QCOMPARE(controls.value("exposure").toInt(), -3);
            QCOMPARE(controls.value("flip-horizontal").toBool(), true);
            QCOMPARE(controls.value("image-style").toString(), QString("live"));
        }
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("out of range") << QStringList{"set", "all", "contrast=40", "exposure=9"} << 1
                                      << "exposure must be in -7..7";
        QTest::newRow("not a number")
            << QStringList{"set", "0", "red-shift=abc"} << 1 << "whole number in -10..10";
        QTest::newRow("no camera") << QStringList{"get", "7"} << 1 << "lumora-ctl list";
        QTest::newRow("no command") << QStringList{"explode"} << 64 << "lumora-ctl --help";
        QTest::newRow("firmware suffix") << QStringList{"upgrade", "0", "fw.bin"} << 64 << ".pkg";
    }

    void refusesBadInput()
    {
        QFETCH(QStringList, args);
        QFETCH(int, exitCode);
        QFETCH(QString, says);
        const Run run = ctl(args, 2);
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(says), qPrintable(run.err));
        QCOMPARE(run.err.count('\n'), 1);
        QVERIFY(cameras(run).isEmpty()); // nothing was set
        QCOMPARE(run.json.value("exitCode").toInt(), exitCode);
    }

    void upgradesTwoCameras()
    {
        const Run run = ctl({"upgrade", "all", firmware}, 2, {"LUMORA_UPGRADE_STEP_MS=2"});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray list = cameras(run);
        QCOMPARE(list.size(), 2);
        for (int i = 0; i < 2; ++i) {
            const QJsonObject camera = list.at(i).toObject();
            QCOMPARE(camera.value("device").toString(), QString("sim:video%1").arg(i));
            QCOMPARE(camera.value("result").toString(), QString("upgraded"));
            QVERIFY(camera.value("messages").toArray().contains(QJsonValue("Device rebooting...")));
        }
    }

    void cameraUnpluggedDuringUpgrade() // the first, while its firmware is sent
    {
        const Run run = ctl({"upgrade", "all", firmware}, 2,
                            {"LUMORA_UPGRADE_STEP_MS=60", "LUMORA_SIMULATED_UNPLUG=0@700"});
        QCOMPARE(run.exitCode, 2);
        const QJsonArray list = cameras(run);
        QCOMPARE(list.size(), 2);
        QCOMPARE(list.at(0).toObject().value("result").toString(), QString("failed"));
        QVERIFY(list.at(0).toObject().value("error").toString().contains("disconnected"));
        QCOMPARE(list.at(1).toObject().value("result").toString(), QString("skipped"));
        QVERIFY2(run.err.contains("--keep-going"), qPrintable(run.err));
    }
};

QTEST_GUILESS_MAIN(TestLumoraCtl)
#include "tst_lumoractl.moc"
