#include "capturedevice.h"

#include "devicecatalog.h"

#include <QRegularExpression>

int findCaptureInput(const VideoInputList& inputs, const QString& name, int ordinal)
{
    if (ordinal < 0) {
        return -1;
    }
    int seen = 0;
    for (int i = 0; i < inputs.size(); ++i) {
        if (inputs[i].isUsbCamera() && inputs[i].description() == name) {
            if (seen == ordinal) {
                return i;
            }
            ++seen;
        }
    }
    return -1;
}

CaptureDevice resolveCaptureDevice(const CaptureTarget& target)
{
    const VideoInputList inputs = DeviceCatalog::instance().videoInputs();
    int index = -1;
    if (target.deviceName.empty()) {
        index = findCaptureInput(inputs, QString::fromStdString(target.name), target.ordinal);
    } else {
        const QString wanted = QString::fromStdString(target.deviceName);
        for (int i = 0; i < inputs.size() && index < 0; ++i) {
            if (inputs[i].deviceName() == wanted) {
                index = i;
            }
        }
    }
    if (index < 0) {
        return {};
    }
    CaptureDevice device;
    device.deviceName = inputs[index].deviceName();
    return device;
}

bool parseVideoSize(const std::string& text, int& width, int& height)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\s*(\\d{1,5})\\s*[xX*]\\s*(\\d{1,5})\\s*$"));
    const QRegularExpressionMatch match = pattern.match(QString::fromStdString(text));
    if (!match.hasMatch()) {
        return false;
    }
    const int w = match.captured(1).toInt();
    const int h = match.captured(2).toInt();
    // 8K is past anything a UVC camera sends; beyond it a typo is likelier.
    if (w < 16 || h < 16 || w > 7680 || h > 4320) {
        return false;
    }
    width = w;
    height = h;
    return true;
}
