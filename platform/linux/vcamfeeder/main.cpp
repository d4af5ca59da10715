// lumora-vcam-feeder: feeds the loopback video device that other programs
// see as the camera "Vorn DShow VCamera" from Lumora's shared frame.
#include "filesink.h"
#include "sharedframereader.h"
#include "v4l2outputsink.h"
#include "vcamfeeder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>

#include <csignal>
#include <grp.h>
#include <memory>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stop = 0;

void requestStop(int)
{
    g_stop = 1;
}

void installSignalHandlers()
{
    struct sigaction action
    {
    };
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the pacing sleep returns at once on a stop request.
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

// The registration tool starts the feeder already as the user, with the
// device opened to the user's group. Should it still be started as root with
// a user given, it keeps root only to open the device: the frame's keys and
// lock belong to the user, and a root feeder would create them for root.
bool dropPrivileges(const QString& uidText, const QString& gidText)
{
    if (uidText.isEmpty() || geteuid() != 0) {
        return true;
    }
    bool uidOk = false;
    bool gidOk = false;
    const uid_t uid = uid_t(uidText.toUInt(&uidOk));
    const gid_t gid = gid_t(gidText.toUInt(&gidOk));
    if (!uidOk || !gidOk) {
        return false;
    }
    return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0 && getuid() == uid;
}

int fail(const QString& message)
{
    qCritical("lumora-vcam-feeder: %s", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Feeds a V4L2 loopback device from Lumora's shared frame."));
    parser.addHelpOption();
    const QCommandLineOption device(QStringLiteral("device"),
                                    QStringLiteral("Loopback video device to feed."),
                                    QStringLiteral("path"));
    const QCommandLineOption output(
        QStringLiteral("output"), QStringLiteral("Raw frames into a file or pipe (- for stdout)."),
        QStringLiteral("path"));
    const QCommandLineOption format(QStringLiteral("format"),
                                    QStringLiteral("yuyv (default) or i420."),
                                    QStringLiteral("format"), QStringLiteral("yuyv"));
    const QCommandLineOption fps(QStringLiteral("fps"), QStringLiteral("Frames per second."),
                                 QStringLiteral("rate"), QStringLiteral("30"));
    const QCommandLineOption frames(QStringLiteral("frames"),
                                    QStringLiteral("Stop after this many frames."),
                                    QStringLiteral("count"), QStringLiteral("-1"));
    const QCommandLineOption uid(QStringLiteral("uid"),
                                 QStringLiteral("User to run as once the device is open."),
                                 QStringLiteral("uid"));
    const QCommandLineOption gid(QStringLiteral("gid"), QStringLiteral("Group of that user."),
                                 QStringLiteral("gid"));
    const QCommandLineOption tmpdir(
        QStringLiteral("tmpdir"),
        QStringLiteral("Lumora's temporary folder, where the shared frame's keys are."),
        QStringLiteral("path"));
    parser.addOptions({device, output, format, fps, frames, uid, gid, tmpdir});
    parser.process(app);

    FeederOptions options;
    const QString formatName = parser.value(format).toLower();
    if (formatName == QLatin1String("i420")) {
        options.format = YuvConversion::Format::I420;
    } else if (formatName != QLatin1String("yuyv")) {
        return fail(QStringLiteral("unknown format %1").arg(formatName));
    }
    bool rateOk = false;
    options.framesPerSecond = parser.value(fps).toInt(&rateOk);
    if (!rateOk || options.framesPerSecond < 1 || options.framesPerSecond > 120) {
        return fail(QStringLiteral("the rate must be 1 to 120 frames per second"));
    }
    options.frameCount = parser.value(frames).toLongLong();
    if (parser.isSet(device) == parser.isSet(output)) {
        return fail(QStringLiteral("give either --device or --output"));
    }
    if (parser.isSet(tmpdir)) {
        // QSharedMemory derives the native key from the temporary folder.
        qputenv("TMPDIR", QFile::encodeName(parser.value(tmpdir)));
    }

    std::unique_ptr<FrameSink> sink;
    if (parser.isSet(device)) {
        sink = std::make_unique<V4l2OutputSink>(parser.value(device));
    } else {
        sink = std::make_unique<FileSink>(parser.value(output));
    }
    QString error;
    if (!sink->open(FrameRecord::kWidth, FrameRecord::kHeight,
                    options.format == YuvConversion::Format::I420, &error)) {
        return fail(error);
    }
    if (!dropPrivileges(parser.value(uid), parser.value(gid))) {
        return fail(QStringLiteral("cannot give up root for user %1").arg(parser.value(uid)));
    }

    installSignalHandlers();
    SharedFrameReader reader;
    VcamFeeder feeder(reader, *sink, options);
    return feeder.run(g_stop) ? 0 : fail(QStringLiteral("the output went away"));
}
