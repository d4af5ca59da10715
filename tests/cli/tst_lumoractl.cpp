#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QtTest>

#include "identitystamp.h"
#include "tst_recording_support.h"

#include <csignal>

// lumora-ctl driven as a user drives it, against simulated cameras.
class TestLumoraCtl : public QObject
{
    Q_OBJECT

    struct Run
    {
        int exitCode = -1;
        QJsonObject json;
        QString err, out;
    };
    // Ctrl-C comes once standard error says `interruptAt` (and `file` holds a second of video).
    Run ctl(const QStringList& args, int cameras, const QStringList& env = {},
            const QString& interruptAt = {}, const QString& file = {})
    {
        QProcess process;
        process.setEnvironment(QProcess::systemEnvironment() + env +
                               QStringList{QString("LUMORA_SIMULATED_CAMERAS=%1").arg(cameras),
                                           "LUMORA_SIMULATED_STATE_DIR=" + dir.filePath("state")});
        process.start(QCoreApplication::applicationDirPath() + "/lumora-ctl",
                      args + QStringList{"--json"});
        Run run;
        process.setReadChannel(QProcess::StandardError);
        QElapsedTimer clock;
        clock.start();
        while (!interruptAt.isEmpty() && clock.elapsed() < 30000 &&
               !(run.err.contains(interruptAt) &&
                 (file.isEmpty() || inspectRecording(file).video.duration >= 1))) {
            process.waitForReadyRead(100);
            run.err += process.readAllStandardError();
        }
        if (!interruptAt.isEmpty() && process.processId() > 0) // 0 would signal this group
            ::kill(pid_t(process.processId()), SIGINT);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
            return run;
        }
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.json = QJsonDocument::fromJson(run.out.toUtf8()).object();
        run.err += QString::fromLocal8Bit(process.readAllStandardError());
        return run;
    }
    // A simulated camera's memory, named by its serial number.
    QString stateFile(int camera)
    {
        return dir.filePath(QString("state/SIM000%1.json").arg(camera + 1));
    }
    QJsonObject state(int camera)
    {
        QFile file(stateFile(camera));
        return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object()
                                              : QJsonObject();
    }

    QJsonArray cameras(const Run& run) { return run.json.value("cameras").toArray(); }
    QTemporaryDir dir;
    const QString firmware = dir.filePath("fw.img");

private slots:
    void initTestCase()
    {
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + "/firmware.img", firmware));
        QFile unknown(dir.filePath("unknown.json"));
        QVERIFY(unknown.open(QIODevice::WriteOnly) &&
                unknown.write(R"({"controls": {"exposure": 2, "shutter": 1}})") > 0);
    }
    void init() { QDir(dir.filePath("state")).removeRecursively(); }

    void listsThreeCameras()
    {
        const Run run = ctl({"list"}, 3);
        QCOMPARE(run.exitCode, 0);
        const QJsonArray list = cameras(run);
        for (int i = 0; i < 3; ++i) { // a shorter list gives empty objects here
            const QJsonObject camera = list.at(i).toObject();
            QCOMPARE(camera.value("device").toString(), QString("sim:video%1").arg(i));
            QVERIFY(camera.value("microphone").toString().contains("Lumora Simulated Camera"));
            QCOMPARE(camera.value("firmware").toString(), QString("1.0.0"));
            QCOMPARE(camera.value("state").toString(), QString("free"));
        }
    }

    // The tool's own texts: no line wider than a terminal, a man page with examples.
    void helpFitsTheTerminal()
    {
        for (const char* command : {"--help", "list", "controls", "get", "set", "snapshot",
                                    "record", "upgrade", "frame", "agent", "modes"}) {
            const Run run = ctl({command, "--help"}, 0);
            QCOMPARE(run.exitCode, 0);
            for (const QString& line : run.out.split('\n'))
                QVERIFY2(line.size() <= 80, qPrintable(line));
        }
        const QString man = ctl({"--man"}, 0).out;
        QVERIFY(man.contains(".SH EXAMPLES") && man.contains(".SH SEE ALSO"));
        QCOMPARE(ctl({"--version"}, 0).out, QString("lumora-ctl 1.0.0.1\n"));
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

    // get all --json applied with set all --from: each camera takes its own
    // values, automatic exposure stays automatic.
    void settingsRoundTrip()
    {
        QDir().mkpath(dir.filePath("state"));
        for (const auto& [camera, saved] :
             {std::pair(0, R"({"autoExposure": true, "exposure": 3})"),
              {1, R"({"autoExposure": false, "exposure": -2, "verticalFlip": true})"}}) {
            QFile file(stateFile(camera));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(saved) > 0);
        }
        Run run = ctl({"get", "all"}, 2);
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(cameras(run).at(0).toObject().value("controls")["exposure"], QJsonValue("auto"));
        QFile document(dir.filePath("all.json"));
        QVERIFY(document.open(QIODevice::WriteOnly) &&
                document.write(run.out.replace("sim:video1", "gone").toUtf8()));
        document.close();
        QFile::remove(stateFile(1)); // camera 1 back at its defaults
        run = ctl({"set", "all", "--from", document.fileName()}, 2);
        QCOMPARE(run.exitCode, 0);
        for (const auto& [camera, exposure, matched] :
             {std::tuple(0, QJsonValue("auto"), "device"), {1, QJsonValue(-2), "index"}}) {
            const QJsonObject result = cameras(run).at(camera).toObject();
            QCOMPARE(result["controls"]["exposure"], exposure);
            QCOMPARE(result["controls"]["flip-vertical"].toBool(), camera == 1);
            QCOMPARE(result["from"]["matchedBy"].toString(), QString(matched));
        }
        QCOMPARE(state(0)["autoExposure"].toBool(), true);
    }

    // Ctrl-C ends a recording with a complete file, stops a moving camera,
    // and lets a firmware write end while it cancels the next camera's.
    void interruptsEndTheWorkCleanly()
    {
        const QString file = dir.filePath("until.mp4");
        Run run = ctl({"record", "0", file}, 1, {}, "until Ctrl-C", file);
        QCOMPARE(run.exitCode, 0);
        const FileFacts facts = inspectRecording(file);
        QVERIFY2(facts.readToEnd && facts.decodeErrors == 0, qPrintable(facts.error));
        QVERIFY(facts.video.duration >= 1 && facts.audio.duration >= 1);
        QVERIFY(run.json.value("recording")["interrupted"].toBool());
        QVERIFY2(!run.err.contains("x264") && !run.err.contains("[mp4"), qPrintable(run.err));

        run = ctl({"set", "0", "pan-left=10000"}, 1, {}, "Ctrl-C stops it");
        QCOMPARE(run.exitCode, 130);
        QVERIFY2(run.err.contains("pan-left was stopped"), qPrintable(run.err));
        QCOMPARE(state(0)["panSpeed"].toInt(), 0);

        run = ctl({"upgrade", "all", firmware}, 2, {"LUMORA_UPGRADE_STEP_MS=40"}, "upgrade...");
        QCOMPARE(run.exitCode, 130);
        QVERIFY2(run.err.contains("into camera 0 (sim:video0);\n  interrupting now can damage"),
                 qPrintable(run.err));
        QCOMPARE(cameras(run).at(0)["result"].toString(), QString("upgraded"));
        QCOMPARE(cameras(run).at(1)["result"].toString(), QString("skipped"));
    }

    void framesThePersonInFront() // standing right of centre: the camera turns right
    {
        const Run run = ctl({"frame", "0", "--seconds", "4"}, 1, {"LUMORA_SIMULATED_SCENE=one"});
        QCOMPARE(run.exitCode, 0);
        const QJsonArray log = run.json.value("frame")["log"].toArray();
        QVERIFY2(!log.isEmpty() && log.at(0)["what"].toString().startsWith("auto framing on"),
                 qPrintable(run.out));
        QVERIFY2(run.out.contains("pan right") && state(0)["pan"].toInt() > 0, qPrintable(run.out));
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("says");
        QTest::newRow("out of range") << QStringList{"set", "all", "contrast=40", "exposure=9"} << 1
                                      << "exposure must be auto or in -7..7";
        QTest::newRow("not a number")
            << QStringList{"set", "0", "red-shift=abc"} << 1 << "whole number in -10..10";
        QTest::newRow("no camera") << QStringList{"get", "7"} << 1 << "lumora-ctl list";
        QTest::newRow("no camera to record")
            << QStringList{"record", "7", dir.filePath("x.mp4")} << 1 << "lumora-ctl list";
        QTest::newRow("no value") << QStringList{"set", "0", "exposure"} << 64 << "exposure=auto";
        QTest::newRow("unknown key")
            << QStringList{"set", "all", "--from=" + dir.filePath("unknown.json")} << 1
            << "do not exist: shutter; nothing was changed";
        QTest::newRow("value of a switch")
            << QStringList{"list", "--keep-going=1"} << 64 << "no value";
        QTest::newRow("no command") << QStringList{"explode"} << 64 << "lumora-ctl --help";
        QTest::newRow("firmware suffix") << QStringList{"upgrade", "0", "fw.bin"} << 64 << ".pkg";
        QTest::newRow("preset not saved")
            << QStringList{"preset", "recall", "0", "4"} << 1 << "no preset 4; save it first";
        QTest::newRow("no such mode")
            << QStringList{"snapshot", "0", "x.png", "--mode=800x600@30"} << 1
            << "has no mode 800x600@30; it offers 3840x2160@30/mjpeg,";
        QTest::newRow("no mode") << QStringList{"frame", "0", "--mode", "1080p"} << 64
                                 << "--mode takes WIDTHxHEIGHT@FPS[/FORMAT]";
        QTest::newRow("preset number")
            << QStringList{"preset", "save", "0", "10"} << 1 << "numbered 1 to 9";
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

    // A preset saved, left and recalled; a profile the window kept, applied
    // and forgotten with the presets.
    void presetsAndProfiles()
    {
        QSettings store("Lumora", "Lumora");
        store.clear();
        store.setValue("profiles/1d6b:4c55 serial SIM0001/values",
                       R"({"exposure": -3, "image-style": "live", "contrast": 50})");
        store.setValue("profiles/1d6b:4c55 serial SIM0001/mode", "640x480@30/mjpeg");
        store.sync();
        // Without --mode, the mode the window keeps for the camera.
        const QString picture = dir.filePath("kept.png");
        QCOMPARE(ctl({"snapshot", "0", picture}, 1).exitCode, 0);
        QCOMPARE(QImage(picture).size(), QSize(640, 480));
        QCOMPARE(ctl({"set", "0", "pan=30", "tilt=-10", "zoom=40"}, 1).exitCode, 0);
        QCOMPARE(ctl({"preset", "save", "0", "3"}, 1).exitCode, 0);
        QCOMPARE(ctl({"set", "0", "home"}, 1).exitCode, 0);
        const QJsonObject at{{"pan", 30}, {"tilt", -10}, {"zoom", 40}};
        QCOMPARE(cameras(ctl({"preset", "recall", "0", "3"}, 1)).at(0)["position"].toObject(), at);
        QCOMPARE(state(0)["zoom"].toInt(), 40);
        QCOMPARE(cameras(ctl({"preset", "list", "0"}, 1)).at(0)["presets"]["3"].toObject(), at);
        const Run run = ctl({"profile", "apply", "0"}, 1);
        QCOMPARE(cameras(run).at(0)["written"].toArray(), QJsonArray({"exposure", "image-style"}));
        QCOMPARE(state(0)["exposure"].toInt(), -3);
        QCOMPARE(cameras(ctl({"profile", "show", "0"}, 1)).at(0)["controls"]["image-style"],
                 QJsonValue("live"));
        QCOMPARE(ctl({"set", "0", "contrast=20"}, 1).exitCode, 0);
        QCOMPARE(ctl({"profile", "save", "0"}, 1).exitCode, 0);
        QCOMPARE(ctl({"profile", "hold", "0"}, 1).exitCode, 0);
        const QJsonObject saved = cameras(ctl({"profile", "show", "0"}, 1)).at(0).toObject();
        QCOMPARE(saved["controls"]["contrast"].toInt(), 20);
        QVERIFY(saved["held"].toBool());
        QCOMPARE(ctl({"profile", "clear", "0"}, 1).exitCode, 0);
        QCOMPARE(ctl({"profile", "hold", "0"}, 1).exitCode, 1); // nothing left to hold
        QVERIFY(cameras(ctl({"preset", "list", "0"}, 1)).at(0)["presets"]["3"].isNull());
        QStringList ranges; // the camera's own, as controls shows them for a camera
        for (const QJsonValue& control : ctl({"controls", "0"}, 1).json["controls"].toArray()) {
            if (control["name"] == QJsonValue("tilt") || control["name"] == QJsonValue("zoom"))
                ranges << QString("%1..%2")
                              .arg(control["minimum"].toInt())
                              .arg(control["maximum"].toInt());
        }
        QCOMPARE(ranges, QStringList({"-90..90", "0..100"}));
    }

    // Camera 0 leaves as a command for camera 1 runs: the upgrade of the
    // first fails while its firmware is sent; a snapshot and a recording are
    // of the camera named.
    void cameraUnpluggedMidCommand()
    {
        QDir().mkpath(dir.filePath("state"));
        QFile flipped(stateFile(2));
        QVERIFY(flipped.open(QIODevice::WriteOnly) && flipped.write(R"({"verticalFlip": true})"));
        flipped.close();
        for (const char* unplug : {"0@listed", "0@0", "0@400"}) {
            const QStringList env{QString("LUMORA_SIMULATED_UNPLUG=") + unplug};
            Run run = ctl({"snapshot", "1", dir.filePath("1.png")}, 3, env);
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(stampedIdentity(QImage(dir.filePath("1.png"))),
                     run.json.value("snapshot")["device"].toString().mid(9).toInt());
            run = ctl({"record", "1", dir.filePath("1.mp4"), "--seconds", "1"}, 3, env);
            QCOMPARE(run.exitCode, 0);
            QCOMPARE(stampedIdentity(inspectRecording(dir.filePath("1.mp4")).firstPicture),
                     run.json.value("recording")["device"].toString().mid(9).toInt());
        }
        // Each camera kept its own memory whichever left.
        for (int camera = 0; camera < 3; ++camera)
            QCOMPARE(cameras(ctl({"get", "all"}, 3)).at(camera)["controls"]["flip-vertical"],
                     QJsonValue(camera == 2));
        for (const bool keepGoing : {false, true}) {
            const QStringList go = keepGoing ? QStringList{"--keep-going"} : QStringList();
            const Run run = ctl(QStringList{"upgrade", "all", firmware} + go, 2,
                                {"LUMORA_UPGRADE_STEP_MS=60", "LUMORA_SIMULATED_UNPLUG=0@700"});
            QCOMPARE(run.exitCode, 2);
            const QJsonArray list = cameras(run);
            QCOMPARE(list.size(), 2);
            QCOMPARE(list.at(0)["result"].toString(), QString("failed"));
            QVERIFY(list.at(0)["error"].toString().contains("disconnected"));
            // The library's line says why; the verdict under it does not repeat it.
            QVERIFY(run.err.contains("Upgrade failed!") && !run.err.contains("Upgrade failed:"));
            QCOMPARE(list.at(1)["result"].toString(), QString(keepGoing ? "upgraded" : "skipped"));
            QCOMPARE(run.err.contains("--keep-going"), !keepGoing);
        }
    }
};

QTEST_GUILESS_MAIN(TestLumoraCtl)
#include "tst_lumoractl.moc"
