// lumora-vcam-ctl: the registration tool's hands on v4l2loopback's device
// control, run as root by it.
//   lumora-vcam-ctl list              one line per loopback device: node, tab, label
//   lumora-vcam-ctl add LABEL         adds a device, prints its node once it is there
//   lumora-vcam-ctl delete /dev/videoN
// Exit codes: 1 failed, 2 usage, 3 the module is not loaded, 4 the loaded
// module has no device control, 5 the device is in use.
#include "loopbackcontrol.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

QString node(int number)
{
    return QStringLiteral("/dev/video%1").arg(number);
}

int failed(const char* what, int error)
{
    std::fprintf(stderr, "lumora-vcam-ctl: %s: %s\n", what, std::strerror(-error));
    return error == -EBUSY ? 5 : 1;
}

int list(const LoopbackControl& control)
{
    for (const LoopbackControl::Device& device : control.devices()) {
        std::printf("%s\t%s\n", qPrintable(node(device.number)), device.label.toUtf8().constData());
    }
    return 0;
}

int add(const LoopbackControl& control, const QString& label)
{
    const int number = control.add(label);
    if (number < 0) {
        return failed("cannot add a device", number);
    }
    // udev makes the node a moment after the module made the device.
    const QDeadlineTimer deadline(5000);
    while (!QFileInfo::exists(node(number)) && !deadline.hasExpired()) {
        QThread::msleep(20);
    }
    std::printf("%s\n", qPrintable(node(number)));
    return 0;
}

int remove(const LoopbackControl& control, const QString& path)
{
    const QRegularExpressionMatch match =
        QRegularExpression(QStringLiteral("^/dev/video(\\d+)$")).match(path);
    if (!match.hasMatch()) {
        return 2;
    }
    const int result = control.remove(match.captured(1).toInt());
    return result < 0 ? failed("cannot delete the device", result) : 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QStringList args;
    for (int i = 1; i < argc; ++i) {
        args.append(QString::fromLocal8Bit(argv[i]));
    }
    const QString verb = args.value(0);
    if (!(verb == "list" && args.size() == 1) &&
        !((verb == "add" || verb == "delete") && args.size() == 2)) {
        std::fprintf(stderr, "usage: lumora-vcam-ctl list | add LABEL | delete /dev/videoN\n");
        return 2;
    }
    LoopbackControl control;
    switch (control.open()) {
    case LoopbackControl::Status::NotLoaded:
        return 3;
    case LoopbackControl::Status::NoControl:
        std::fprintf(stderr,
                     "lumora-vcam-ctl: v4l2loopback older than 0.12.5 has no device control\n");
        return 4;
    case LoopbackControl::Status::Failed:
        return failed("cannot open /dev/v4l2loopback", -errno);
    case LoopbackControl::Status::Ok:
        break;
    }
    if (verb == "list") {
        return list(control);
    }
    return verb == "add" ? add(control, args[1]) : remove(control, args[1]);
}
