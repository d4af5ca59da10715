// snapshot, record and upgrade.

#include "clicapture.h"
#include "clicommands.h"
#include "climode.h"
#include "clioutput.h"
#include "cliselection.h"
#include "cliupgrade.h"
#include "controlchannel.h"
#include "framingengine.h"
#include "interruptwatcher.h"
#include "mediafiles.h"
#include "ptzhead.h"
#include "upgradebridge.h"
#include "vorn_cameraproperty.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

namespace {

constexpr int kLongestRecordingSeconds = 86400;
// The window's size; the rate and format the camera's best there.
const CaptureMode kDefaultMode(1280, 720, 30);

// The folder of a file to be written must exist and be writable; checked
// before the camera is touched.
bool writableTarget(const QString& fileName, CliOutput& out)
{
    const QFileInfo folder(QFileInfo(fileName).absolutePath());
    if (folder.isDir() && folder.isWritable()) {
        return true;
    }
    out.error(ExitUsage, QStringLiteral("cannot write into %1; give a file in a folder that "
                                        "exists and is writable")
                             .arg(folder.filePath()));
    return false;
}

bool oneCamera(const QString& argument, CliCamera* camera, CliOutput& out)
{
    QString problem;
    const QList<CliCamera> cameras = selectCameras(argument, false, &problem);
    if (cameras.isEmpty()) {
        out.error(argument == QLatin1String("all") ? ExitUsage : ExitRefused, problem);
        return false;
    }
    *camera = cameras.first();
    return true;
}

int cameraHeld(const CliCamera& camera, CliOutput& out)
{
    return out.error(ExitFailure,
                     QStringLiteral("camera %1 (%2) delivers no picture: another program holds "
                                    "it or it failed; close the other program's preview and retry")
                         .arg(camera.index)
                         .arg(camera.camera.deviceName()));
}

// Takes "--seconds N" out of the arguments; false when N is missing or no
// number. Without the option, seconds is left as it is.
bool takeSeconds(QStringList& args, int* seconds)
{
    const int option = args.indexOf(QStringLiteral("--seconds"));
    if (option < 0) {
        return true;
    }
    bool ok = false;
    if (option + 1 < args.size()) {
        *seconds = args.at(option + 1).toInt(&ok);
        args.removeAt(option + 1);
        args.removeAt(option);
    }
    return ok;
}

} // namespace

namespace CliCommands {

int snapshot(const QStringList& args, CliOutput& out)
{
    QStringList rest = args;
    CaptureMode mode = kDefaultMode;
    bool modeGiven = false;
    if (!CliMode::take(rest, &mode, &modeGiven, out)) {
        return out.status();
    }
    if (rest.size() != 2) {
        return out.error(ExitUsage, QStringLiteral("usage: lumora-ctl snapshot CAMERA FILE "
                                                   "[--mode MODE]; see \"lumora-ctl snapshot "
                                                   "--help\""));
    }
    const QString fileName = rest.at(1);
    if (!isPictureFileName(fileName)) {
        return out.error(ExitUsage, QStringLiteral("%1 has no picture suffix; end the name in "
                                                   ".png, .jpg, .bmp or .tif")
                                        .arg(fileName));
    }
    CliCamera camera;
    if (!writableTarget(fileName, out) || !oneCamera(rest.at(0), &camera, out) ||
        !CliMode::choose(camera, modeGiven, &mode, out)) {
        return out.status();
    }
    CliCapture capture(camera);
    capture.setMode(mode);
    if (!capture.start()) {
        return cameraHeld(camera, out);
    }
    const QImage frame = capture.latestFrame();
    if (!frame.save(fileName)) {
        return out.error(ExitFailure, QStringLiteral("the picture could not be written to %1; "
                                                     "check the disk and retry")
                                          .arg(fileName));
    }
    QJsonObject result = cameraObject(camera);
    result.insert(QStringLiteral("file"), QFileInfo(fileName).absoluteFilePath());
    result.insert(QStringLiteral("width"), frame.width());
    result.insert(QStringLiteral("height"), frame.height());
    out.document.insert(QStringLiteral("snapshot"), result);
    out.line(QStringLiteral("saved %1 (%2x%3) from camera %4")
                 .arg(fileName)
                 .arg(frame.width())
                 .arg(frame.height())
                 .arg(camera.index));
    return ExitSuccess;
}

int record(const QStringList& args, CliOutput& out)
{
    QStringList rest = args;
    CaptureMode mode = kDefaultMode;
    bool modeGiven = false;
    if (!CliMode::take(rest, &mode, &modeGiven, out)) {
        return out.status();
    }
    int seconds = 0; // until interrupted
    const int option = rest.indexOf(QStringLiteral("--seconds"));
    const bool ok = takeSeconds(rest, &seconds);
    if (rest.size() != 2 || !ok) {
        return out.error(ExitUsage, QStringLiteral("usage: lumora-ctl record CAMERA FILE "
                                                   "[--seconds N] [--mode MODE]; see "
                                                   "\"lumora-ctl record --help\""));
    }
    if (option >= 0 && (seconds < 1 || seconds > kLongestRecordingSeconds)) {
        return out.error(ExitRefused, QStringLiteral("--seconds must be in 1..%1; %2 is out of "
                                                     "range")
                                          .arg(kLongestRecordingSeconds)
                                          .arg(seconds));
    }
    const QString fileName = rest.at(1);
    if (!isVideoFileName(fileName)) {
        return out.error(
            ExitUsage,
            QStringLiteral("%1 does not end in .mp4; name the recording NAME.mp4").arg(fileName));
    }
    CliCamera camera;
    if (!writableTarget(fileName, out) || !oneCamera(rest.at(0), &camera, out) ||
        !CliMode::choose(camera, modeGiven, &mode, out)) {
        return out.status();
    }
    // Ctrl-C and SIGTERM end the recording, not the program: the file is
    // completed before it ends.
    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &interrupts,
                     [&out] { out.afterInterruptEcho(); });
    CliCapture capture(camera, &interrupts);
    capture.setMode(mode);
    if (!capture.start()) {
        if (interrupts.count() > 0) {
            return out.error(ExitInterrupted, QStringLiteral("interrupted before the recording "
                                                             "started; nothing was written"));
        }
        return cameraHeld(camera, out);
    }
    out.progress(seconds > 0 ? QStringLiteral("recording %1 s from camera %2 into %3 (Ctrl-C stops "
                                              "it early)...")
                                   .arg(seconds)
                                   .arg(camera.index)
                                   .arg(fileName)
                             : QStringLiteral("recording from camera %1 into %2 until Ctrl-C...")
                                   .arg(camera.index)
                                   .arg(fileName));
    QString problem;
    qint64 recordedMs = 0;
    if (!capture.record(fileName, seconds, &recordedMs, &problem)) {
        return out.error(ExitFailure, problem);
    }
    const bool interrupted = interrupts.count() > 0;
    QJsonObject result = cameraObject(camera);
    result.insert(QStringLiteral("file"), QFileInfo(fileName).absoluteFilePath());
    result.insert(QStringLiteral("seconds"), recordedMs / 1000.0);
    result.insert(QStringLiteral("interrupted"), interrupted);
    result.insert(QStringLiteral("microphone"), camera.microphone.isNull()
                                                    ? QJsonValue()
                                                    : QJsonValue(camera.microphone.deviceName()));
    out.document.insert(QStringLiteral("recording"), result);
    out.line(QStringLiteral("saved %1 (%2 s%3)")
                 .arg(fileName)
                 .arg(recordedMs / 1000.0, 0, 'f', 1)
                 .arg(interrupted ? QStringLiteral(", stopped by an interrupt") : QString()));
    if (interrupted && seconds > 0) {
        return out.error(ExitInterrupted,
                         QStringLiteral("interrupted before the %1 s were recorded; the file is "
                                        "complete up to there")
                             .arg(seconds));
    }
    return ExitSuccess;
}

int upgrade(const QStringList& args, CliOutput& out)
{
    QStringList rest = args;
    const bool keepGoing = rest.removeAll(QStringLiteral("--keep-going")) > 0;
    if (rest.size() != 2) {
        return out.error(ExitUsage, QStringLiteral("usage: lumora-ctl upgrade CAMERA FILE "
                                                   "[--keep-going]; see \"lumora-ctl upgrade "
                                                   "--help\""));
    }
    const QString fileName = QFileInfo(rest.at(1)).absoluteFilePath();
    if (upgradeFileKind(fileName) == UpgradeFileKind::Unknown) {
        return out.error(ExitUsage, QStringLiteral("%1 is no firmware file; give an image (.img) "
                                                   "or a package (.pkg)")
                                        .arg(rest.at(1)));
    }
    const QFileInfo file(fileName);
    if (!file.isFile() || !file.isReadable()) {
        return out.error(ExitUsage, QStringLiteral("the firmware file %1 does not exist or "
                                                   "cannot be read; check the path")
                                        .arg(rest.at(1)));
    }
    // Before a camera's write starts, Ctrl-C or SIGTERM cancel it (caught
    // from here on, so one that comes while the cameras are looked up is
    // counted too); once the firmware goes to the camera, stopping would
    // leave it half written.
    InterruptWatcher interrupts;
    QString problem;
    const QList<CliCamera> cameras = selectCameras(rest.at(0), true, &problem);
    if (cameras.isEmpty()) {
        return out.error(ExitRefused, problem);
    }

    CliUpgrade upgrader(out.json() ? stderr : stdout);
    QString writing;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &interrupts, [&] {
        out.afterInterruptEcho();
        if (!writing.isEmpty()) {
            out.progress(QStringLiteral("lumora-ctl: the firmware is being written into %1;\n"
                                        "  interrupting now can damage the camera, so the write "
                                        "goes on to its end\n  and the cameras after it are "
                                        "skipped.")
                             .arg(writing));
        }
    });
    QJsonArray results;
    bool stopped = false;
    int cancelled = 0;
    for (CliCamera camera : cameras) {
        QJsonObject result = cameraObject(camera);
        QCoreApplication::processEvents(); // an interrupt still in the pipe counts before a write
        if (stopped || interrupts.count() > 0) {
            cancelled += interrupts.count() > 0 ? 1 : 0;
            result.insert(QStringLiteral("result"), QStringLiteral("skipped"));
            results.append(result);
            continue;
        }
        // An upgraded camera restarts and comes back at the end of the
        // list: find each camera where it is now, by its identity.
        const int listedIndex = camera.index;
        camera.index = currentPosition(camera.camera);
        CliUpgrade::Result outcome;
        if (camera.index < 0) {
            outcome.failure = QStringLiteral("the camera %1 (%2) is gone; nothing was written")
                                  .arg(camera.camera.description(), camera.camera.deviceName());
        } else {
            writing =
                QStringLiteral("camera %1 (%2)").arg(listedIndex).arg(camera.camera.deviceName());
            outcome = upgrader.run(fileName, camera, listedIndex);
            writing.clear();
        }
        result.insert(QStringLiteral("result"),
                      outcome.succeeded ? QStringLiteral("upgraded") : QStringLiteral("failed"));
        if (!outcome.succeeded) {
            result.insert(QStringLiteral("error"), outcome.failure);
            out.error(ExitFailure,
                      QStringLiteral("camera %1 (%2) was not upgraded: %3%4")
                          .arg(listedIndex)
                          .arg(camera.camera.deviceName(), outcome.failure,
                               keepGoing || cameras.size() == 1
                                   ? QString()
                                   : QStringLiteral(" (stopped; --keep-going goes on with the "
                                                    "other cameras)")));
            stopped = !keepGoing;
        }
        result.insert(QStringLiteral("messages"), QJsonArray::fromStringList(outcome.messages));
        results.append(result);
    }
    if (cancelled > 0) {
        out.error(ExitInterrupted, QStringLiteral("interrupted; %1 camera(s) were not upgraded "
                                                  "and were left as they were")
                                       .arg(cancelled));
    }
    out.document.insert(QStringLiteral("file"), fileName);
    out.document.insert(QStringLiteral("cameras"), results);
    return ExitSuccess;
}

int frame(const QStringList& args, CliOutput& out)
{
    QStringList rest = args;
    CaptureMode mode = kDefaultMode;
    bool modeGiven = false;
    if (!CliMode::take(rest, &mode, &modeGiven, out)) {
        return out.status();
    }
    int seconds = 0; // until interrupted
    const int option = rest.indexOf(QStringLiteral("--seconds"));
    const bool ok = takeSeconds(rest, &seconds);
    if (rest.size() != 1 || !ok) {
        return out.error(ExitUsage, QStringLiteral("usage: lumora-ctl frame CAMERA [--seconds N] "
                                                   "[--mode MODE]; see \"lumora-ctl frame "
                                                   "--help\""));
    }
    if (option >= 0 && (seconds < 1 || seconds > kLongestRecordingSeconds)) {
        return out.error(ExitRefused, QStringLiteral("--seconds must be in 1..%1; %2 is out of "
                                                     "range")
                                          .arg(kLongestRecordingSeconds)
                                          .arg(seconds));
    }
    CliCamera camera;
    if (!oneCamera(rest.at(0), &camera, out) || !CliMode::choose(camera, modeGiven, &mode, out)) {
        return out.status();
    }
    Vorn_CameraProperty property(MainUnitSet);
    Vorn_CameraProperty zoom(ZoomUnitSet);
    property.open(camera.camera.deviceName());
    // Read here, before the channel's worker takes the property over.
    const PtzLayout layout = PtzLayout::read(property.cameraControl);
    ControlChannel channel(property, zoom);
    FramingEngine engine(channel);
    QString problem;
    if (!engine.bind(layout, &problem)) {
        return out.error(
            ExitRefused,
            QStringLiteral("camera %1 cannot be framed: %2").arg(camera.index).arg(problem));
    }
    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &interrupts,
                     [&out] { out.afterInterruptEcho(); });
    QElapsedTimer clock;
    clock.start();
    QJsonArray log;
    int lastFaces = -1;
    QObject::connect(&engine, &FramingEngine::detected, &engine,
                     [&](const QVector<QRectF>& faces, double) {
                         if (faces.size() != lastFaces) {
                             lastFaces = faces.size();
                             out.line(QStringLiteral("%1 s: %2 face(s)")
                                          .arg(clock.elapsed() / 1000.0, 0, 'f', 1)
                                          .arg(faces.size()));
                         }
                     });
    QObject::connect(&engine, &FramingEngine::acted, &engine, [&](const QString& what) {
        const PtzPose sent = engine.lastTarget();
        out.line(QStringLiteral("%1 s: %2").arg(clock.elapsed() / 1000.0, 0, 'f', 1).arg(what));
        log.append(QJsonObject{{QStringLiteral("seconds"), clock.elapsed() / 1000.0},
                               {QStringLiteral("what"), what},
                               {QStringLiteral("faces"), engine.faces().size()},
                               {QStringLiteral("pan"), int(sent.pan)},
                               {QStringLiteral("tilt"), int(sent.tilt)},
                               {QStringLiteral("zoom"), int(sent.zoom)}});
    });
    if (!engine.start(&problem)) {
        return out.error(
            ExitRefused,
            QStringLiteral("camera %1 cannot be framed: %2").arg(camera.index).arg(problem));
    }
    CliCapture capture(camera, &interrupts);
    capture.setMode(mode);
    capture.setFrameListener([&engine](const QImage& frame) { engine.offerFrame(frame); });
    if (!capture.start()) {
        if (interrupts.count() > 0) {
            return out.error(ExitInterrupted, QStringLiteral("interrupted before framing started"));
        }
        return cameraHeld(camera, out);
    }
    out.progress(seconds > 0
                     ? QStringLiteral("framing camera %1 for %2 s (Ctrl-C stops it early)...")
                           .arg(camera.index)
                           .arg(seconds)
                     : QStringLiteral("framing camera %1 until Ctrl-C...").arg(camera.index));
    QEventLoop loop;
    if (seconds > 0) {
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    }
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    if (interrupts.count() == 0) {
        loop.exec();
    }
    engine.stop();
    QJsonObject result = cameraObject(camera);
    result.insert(QStringLiteral("seconds"), clock.elapsed() / 1000.0);
    result.insert(QStringLiteral("interrupted"), interrupts.count() > 0);
    result.insert(QStringLiteral("log"), log);
    out.document.insert(QStringLiteral("frame"), result);
    return ExitSuccess;
}

} // namespace CliCommands
