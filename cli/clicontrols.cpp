#include "clicontrols.h"

#include "camerasettings.h"
#include "interruptwatcher.h"
#include "propertytransport.h"
#include "vorn_cameraproperty.h"

#include <QThread>

using namespace CameraSettings;

namespace {

constexpr int kLongestMotionMs = 10000;

ControlInfo number(const char* name, int minimum, int maximum, const char* help)
{
    ControlInfo c;
    c.name = QString::fromLatin1(name);
    c.minimum = minimum;
    c.maximum = maximum;
    c.readable = c.writable = true;
    c.help = QString::fromLatin1(help);
    return c;
}

ControlInfo onOff(const char* name, const char* help)
{
    ControlInfo c = number(name, 0, 1, help);
    c.kind = ControlInfo::Kind::Switch;
    c.choices = QStringList{QStringLiteral("on"), QStringLiteral("off")};
    return c;
}

ControlInfo motion(const char* name, const char* help)
{
    ControlInfo c = number(name, 1, kLongestMotionMs, help);
    c.kind = ControlInfo::Kind::Motion;
    c.readable = false;
    return c;
}

ControlInfo action(const char* name, const char* help)
{
    ControlInfo c = number(name, 0, 0, help);
    c.kind = ControlInfo::Kind::Action;
    c.readable = false;
    return c;
}

unsigned long selectorOf(const QString& name)
{
    if (name == QLatin1String("red-shift")) {
        return kRedShift;
    }
    if (name == QLatin1String("blue-shift")) {
        return kBlueShift;
    }
    if (name == QLatin1String("flip-horizontal")) {
        return kHorizontalFlip;
    }
    if (name == QLatin1String("flip-vertical")) {
        return kVerticalFlip;
    }
    if (name == QLatin1String("audio")) {
        return kAudioFunction;
    }
    return kAudioProcessing;
}

} // namespace

QString ControlInfo::rangeText() const
{
    switch (kind) {
    case Kind::Number:
        return QStringLiteral("%1%2..%3")
            .arg(automatic ? QStringLiteral("auto|") : QString())
            .arg(minimum)
            .arg(maximum);
    case Kind::Switch:
    case Kind::Choice:
        return choices.join(QLatin1Char('|'));
    case Kind::Motion:
        return QStringLiteral("%1..%2 ms").arg(minimum).arg(maximum);
    case Kind::Action:
    case Kind::Text:
        break;
    }
    return QString();
}

QList<ControlInfo> controlTable()
{
    ControlInfo style = number("image-style", 0, 0, "image style of the picture");
    style.kind = ControlInfo::Kind::Choice;
    style.choices = QStringList{QStringLiteral("meeting"), QStringLiteral("live")};
    ControlInfo whiteBalance = number("white-balance", 0, 0,
                                      "white balance mode (read-only); negative colour shifts "
                                      "need manual");
    whiteBalance.kind = ControlInfo::Kind::Choice;
    whiteBalance.choices = QStringList{QStringLiteral("auto"), QStringLiteral("manual")};
    whiteBalance.writable = false;
    ControlInfo exposure = number("exposure", kExposureMinimum, kExposureMaximum,
                                  "exposure; auto (or 0) is the camera's automatic exposure");
    exposure.automatic = true;
    ControlInfo firmware = number("firmware", 0, 0, "firmware version (read-only)");
    firmware.kind = ControlInfo::Kind::Text;
    firmware.writable = false;
    return {
        firmware,
        exposure,
        number("contrast", 0, 0, "contrast; the range is the camera's"),
        number("red-shift", kShiftMinimum, kShiftMaximum, "red shift"),
        number("blue-shift", kShiftMinimum, kShiftMaximum, "blue shift"),
        whiteBalance,
        style,
        onOff("flip-horizontal", "mirror the picture left to right"),
        onOff("flip-vertical", "turn the picture upside down"),
        onOff("audio", "the camera's audio function; the camera restarts when it changes"),
        onOff("audio-algo", "the camera's audio processing"),
        motion("pan-left", "pan left for the given milliseconds"),
        motion("pan-right", "pan right for the given milliseconds"),
        motion("tilt-up", "tilt up for the given milliseconds"),
        motion("tilt-down", "tilt down for the given milliseconds"),
        motion("zoom-in", "zoom in for the given milliseconds"),
        motion("zoom-out", "zoom out for the given milliseconds"),
        action("home", "move to the home position (pan, tilt and zoom 0)"),
        action("factory-reset", "restore the camera's factory settings and move home"),
    };
}

const ControlInfo* findControl(const QString& name)
{
    static const QList<ControlInfo> table = controlTable();
    for (const ControlInfo& control : table) {
        if (control.name == name) {
            return &control;
        }
    }
    return nullptr;
}

CameraControlSession::CameraControlSession(const VideoInputInfo& camera,
                                           InterruptWatcher* interrupts)
    : m_camera(camera), m_interrupts(interrupts),
      m_main(std::make_unique<Vorn_CameraProperty>(MainUnitSet)),
      m_zoom(std::make_unique<Vorn_CameraProperty>(ZoomUnitSet))
{
    m_open = m_zoom->open(camera.deviceName()) >= 0 && m_main->open(camera.deviceName()) >= 0;
}

CameraControlSession::~CameraControlSession() = default;

bool CameraControlSession::motionTime(int msecs)
{
    if (m_interrupts) {
        return m_interrupts->sleep(msecs);
    }
    QThread::msleep(static_cast<unsigned long>(msecs));
    return true;
}

ControlInfo CameraControlSession::resolved(const ControlInfo& control)
{
    ControlInfo result = control;
    if (control.name == QLatin1String("contrast")) {
        contrastRange(*m_main, &result.minimum, &result.maximum);
    }
    return result;
}

QJsonValue CameraControlSession::read(const ControlInfo& control)
{
    const QString& name = control.name;
    int value = 0;
    bool on = false;
    if (name == QLatin1String("firmware")) {
        return firmwareVersionText(*m_main, m_camera);
    }
    if (name == QLatin1String("exposure")) {
        // In automatic exposure the value is the camera's own and no setting.
        if (readAutoExposure(*m_main, &on) && on) {
            return QJsonValue("auto");
        }
        return readSignedByte(*m_main, kExposureValue, &value) ? QJsonValue(value) : QJsonValue();
    }
    if (name == QLatin1String("contrast")) {
        return readContrast(*m_main, &value) ? QJsonValue(value) : QJsonValue();
    }
    if (name == QLatin1String("red-shift") || name == QLatin1String("blue-shift")) {
        return readSignedByte(*m_main, selectorOf(name), &value) ? QJsonValue(value) : QJsonValue();
    }
    if (name == QLatin1String("white-balance")) {
        return readAutoWhiteBalance(*m_main, &on) ? QJsonValue(on ? "auto" : "manual")
                                                  : QJsonValue();
    }
    if (name == QLatin1String("image-style")) {
        unsigned char style = 0;
        if (!readByte(*m_main, kImageStyle, &style)) {
            return QJsonValue();
        }
        return style == kStyleMeeting ? QJsonValue("meeting")
               : style == kStyleLive  ? QJsonValue("live")
                                      : QJsonValue(int(style));
    }
    if (control.kind == ControlInfo::Kind::Switch) {
        return readSwitch(*m_main, selectorOf(name), &on) ? QJsonValue(on) : QJsonValue();
    }
    return QJsonValue();
}

QJsonValue CameraControlSession::parse(const ControlInfo& given, const QJsonValue& value,
                                       QString* problem)
{
    const ControlInfo control = resolved(given);
    problem->clear();
    const QString text = value.isString() ? value.toString().trimmed().toLower() : QString();
    switch (control.kind) {
    case ControlInfo::Kind::Text:
        break;
    case ControlInfo::Kind::Action:
        if (value.isNull() || value.isUndefined() || text.isEmpty() || text == QLatin1String("1") ||
            value.toBool()) {
            return QJsonValue(true);
        }
        *problem = QStringLiteral("%1 takes no value; write \"%1\" alone").arg(control.name);
        return QJsonValue();
    case ControlInfo::Kind::Switch: {
        if (value.isBool()) {
            return value;
        }
        if (text == QLatin1String("on") || text == QLatin1String("1") ||
            text == QLatin1String("true")) {
            return QJsonValue(true);
        }
        if (text == QLatin1String("off") || text == QLatin1String("0") ||
            text == QLatin1String("false")) {
            return QJsonValue(false);
        }
        if (value.isDouble() && (value.toDouble() == 0 || value.toDouble() == 1)) {
            return QJsonValue(value.toDouble() == 1);
        }
        *problem = QStringLiteral("%1 is on or off, not \"%2\"")
                       .arg(control.name,
                            value.isString() ? value.toString() : value.toVariant().toString());
        return QJsonValue();
    }
    case ControlInfo::Kind::Choice:
        if (control.choices.contains(text)) {
            return QJsonValue(text);
        }
        *problem = QStringLiteral("%1 is one of %2, not \"%3\"")
                       .arg(control.name, control.rangeText(),
                            value.isString() ? value.toString() : value.toVariant().toString());
        return QJsonValue();
    case ControlInfo::Kind::Number:
    case ControlInfo::Kind::Motion: {
        bool ok = false;
        int number = 0;
        if (control.automatic && text == QLatin1String("auto")) {
            return QJsonValue(0);
        }
        if (value.isDouble()) {
            const double d = value.toDouble();
            ok = d == double(int(d));
            number = int(d);
        } else {
            number = text.toInt(&ok);
        }
        if (!ok) {
            *problem = QStringLiteral("%1 takes a whole number in %2, not \"%3\"")
                           .arg(control.name, control.rangeText(),
                                value.isString() ? value.toString() : value.toVariant().toString());
            return QJsonValue();
        }
        if (number < control.minimum || number > control.maximum) {
            *problem =
                QStringLiteral("%1 must be %2in %3..%4; %5 is out of range")
                    .arg(control.name, control.automatic ? QStringLiteral("auto or ") : QString())
                    .arg(control.minimum)
                    .arg(control.maximum)
                    .arg(number);
            return QJsonValue();
        }
        if ((control.name == QLatin1String("red-shift") ||
             control.name == QLatin1String("blue-shift")) &&
            !colourShiftAllowed(*m_main, number)) {
            *problem = QStringLiteral("%1 below 0 needs manual white balance, and the camera's "
                                      "white balance is automatic")
                           .arg(control.name);
            return QJsonValue();
        }
        return QJsonValue(number);
    }
    }
    *problem = QStringLiteral("%1 is read-only").arg(control.name);
    return QJsonValue();
}

bool CameraControlSession::write(const ControlInfo& control, const QJsonValue& value,
                                 QString* problem)
{
    const QString& name = control.name;
    long result = 0;
    if (name == QLatin1String("exposure")) {
        result = writeExposure(*m_main, value.toInt());
    } else if (name == QLatin1String("contrast")) {
        result = writeContrast(*m_main, value.toInt());
    } else if (name == QLatin1String("red-shift") || name == QLatin1String("blue-shift")) {
        result =
            writeByte(*m_main, selectorOf(name), static_cast<unsigned char>(value.toInt() & 0xFF));
    } else if (name == QLatin1String("image-style")) {
        result = writeByte(*m_main, kImageStyle,
                           value.toString() == QLatin1String("live") ? kStyleLive : kStyleMeeting);
    } else if (name == QLatin1String("audio")) {
        // Switching the audio function restarts the camera: only a change
        // is sent.
        bool on = false;
        if (readSwitch(*m_main, kAudioFunction, &on) && on == value.toBool()) {
            return true;
        }
        result = writeSwitch(*m_main, kAudioFunction, value.toBool());
    } else if (control.kind == ControlInfo::Kind::Switch) {
        result = writeSwitch(*m_main, selectorOf(name), value.toBool());
    } else if (name == QLatin1String("home")) {
        goHome(*m_main);
    } else if (name == QLatin1String("factory-reset")) {
        restoreFactorySettings(*m_main);
    } else if (name.startsWith(QLatin1String("zoom-"))) {
        result = sendZoomMotion(*m_zoom, name == QLatin1String("zoom-in") ? kZoomIn : kZoomOut);
        const bool full = motionTime(value.toInt());
        sendZoomMotion(*m_zoom, 0);
        if (!full) {
            *problem = QStringLiteral("interrupted; %1 was stopped").arg(name);
            return false;
        }
    } else if (control.kind == ControlInfo::Kind::Motion) {
        const long property = name.startsWith(QLatin1String("pan-"))
                                  ? CameraControlProperty::PanRelative
                                  : CameraControlProperty::TiltRelative;
        const int direction =
            (name == QLatin1String("pan-right") || name == QLatin1String("tilt-up")) ? 1 : -1;
        if (!startRelativeMotion(*m_main, property, direction)) {
            *problem = QStringLiteral("the camera reports no speed for %1").arg(name);
            return false;
        }
        const bool full = motionTime(value.toInt());
        stopRelativeMotion(*m_main, property);
        if (!full) {
            *problem = QStringLiteral("interrupted; %1 was stopped").arg(name);
            return false;
        }
    }
    if (result < 0) {
        *problem = QStringLiteral("the camera did not take %1 (error %2)").arg(name).arg(result);
        return false;
    }
    return true;
}
