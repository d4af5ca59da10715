#include "controlcatalogue.h"

#include "camerasettings.h"
#include "propertytransport.h"

using namespace CameraSettings;
using Kind = ControlDescriptor::Kind;
using Access = ControlDescriptor::Access;

namespace {

constexpr int kLongestMotionMs = 10000;

ControlDescriptor control(const char* name, Kind kind, Access access, const char* help)
{
    ControlDescriptor c;
    c.name = QString::fromLatin1(name);
    c.kind = kind;
    c.access = access;
    c.readable = c.writable = kind != Kind::Motion && kind != Kind::Action;
    c.writable = kind != Kind::Text;
    c.help = QString::fromLatin1(help);
    return c;
}

ControlDescriptor number(const char* name, Access access, int minimum, int maximum,
                         const char* help)
{
    ControlDescriptor c = control(name, Kind::Number, access, help);
    c.minimum = minimum;
    c.maximum = maximum;
    return c;
}

ControlDescriptor choice(const char* name, Access access, const QStringList& choices,
                         const char* help)
{
    ControlDescriptor c = control(name, Kind::Choice, access, help);
    c.choices = choices;
    return c;
}

ControlDescriptor onOff(const char* name, unsigned long selector, const char* help)
{
    ControlDescriptor c =
        choice(name, Access::Switch, {QStringLiteral("on"), QStringLiteral("off")}, help);
    c.kind = Kind::Switch;
    c.selector = selector;
    c.maximum = 1;
    c.inProfile = true;
    return c;
}

ControlDescriptor position(const char* name, long property, const char* help)
{
    ControlDescriptor c = number(name, Access::Position, 0, 0, help);
    c.standardId = property;
    c.cameraRange = true;
    return c;
}

ControlDescriptor motion(const char* name, Access access, long property, int direction,
                         const char* help)
{
    ControlDescriptor c = number(name, access, 1, kLongestMotionMs, help);
    c.kind = Kind::Motion;
    c.readable = false;
    c.standardId = property;
    c.direction = direction;
    return c;
}

QList<ControlDescriptor> buildCatalogue()
{
    ControlDescriptor firmware =
        control("firmware", Kind::Text, Access::Firmware, "firmware version (read-only)");
    ControlDescriptor exposure =
        number("exposure", Access::Exposure, kExposureMinimum, kExposureMaximum,
               "exposure; auto (or 0) is the camera's automatic exposure");
    exposure.automatic = exposure.inProfile = true;
    ControlDescriptor contrast =
        number("contrast", Access::Contrast, 0, 0, "contrast; the range is the camera's");
    contrast.cameraRange = contrast.inProfile = true;
    ControlDescriptor red =
        number("red-shift", Access::SignedByte, kShiftMinimum, kShiftMaximum, "red shift");
    red.selector = kRedShift;
    ControlDescriptor blue =
        number("blue-shift", Access::SignedByte, kShiftMinimum, kShiftMaximum, "blue shift");
    blue.selector = kBlueShift;
    red.inProfile = blue.inProfile = true;
    ControlDescriptor whiteBalance = choice(
        "white-balance", Access::WhiteBalance, {QStringLiteral("auto"), QStringLiteral("manual")},
        "white balance mode (read-only); negative colour shifts need manual");
    whiteBalance.writable = false;
    ControlDescriptor style =
        choice("image-style", Access::ImageStyle,
               {QStringLiteral("meeting"), QStringLiteral("live")}, "image style of the picture");
    style.inProfile = true;
    ControlDescriptor speed =
        choice("speed", Access::Speed,
               {QStringLiteral("slow"), QStringLiteral("normal"), QStringLiteral("fast")},
               "pan and tilt speed of the pad, the keys and the motions here");
    namespace CC = CameraControlProperty;
    return {
        firmware,
        exposure,
        contrast,
        red,
        blue,
        whiteBalance,
        style,
        onOff("flip-horizontal", kHorizontalFlip, "mirror the picture left to right"),
        onOff("flip-vertical", kVerticalFlip, "turn the picture upside down"),
        onOff("audio-algo", kAudioProcessing, "the camera's audio processing"),
        // Last of the profile: changing it restarts the camera.
        onOff("audio", kAudioFunction,
              "the camera's audio function; the camera restarts when it changes"),
        position("pan", CC::Pan, "pan position; the range is the camera's"),
        position("tilt", CC::Tilt, "tilt position; the range is the camera's"),
        position("zoom", CC::Zoom, "zoom position; the range is the camera's"),
        speed,
        motion("pan-left", Access::Relative, CC::PanRelative, -1,
               "pan left for the given milliseconds"),
        motion("pan-right", Access::Relative, CC::PanRelative, 1,
               "pan right for the given milliseconds"),
        motion("tilt-up", Access::Relative, CC::TiltRelative, 1,
               "tilt up for the given milliseconds"),
        motion("tilt-down", Access::Relative, CC::TiltRelative, -1,
               "tilt down for the given milliseconds"),
        motion("zoom-in", Access::Zoom, -1, 1, "zoom in for the given milliseconds"),
        motion("zoom-out", Access::Zoom, -1, -1, "zoom out for the given milliseconds"),
        control("home", Kind::Action, Access::Home,
                "move to the home position (pan, tilt and zoom 0)"),
        control("factory-reset", Kind::Action, Access::FactoryReset,
                "restore the camera's factory settings, move home and forget its profile"),
    };
}

} // namespace

QString ControlDescriptor::rangeText() const
{
    switch (kind) {
    case Kind::Number:
        if (cameraRange && minimum == maximum) {
            return QStringLiteral("the camera's range");
        }
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

const QList<ControlDescriptor>& ControlCatalogue::controls()
{
    static const QList<ControlDescriptor> catalogue = buildCatalogue();
    return catalogue;
}

const ControlDescriptor* ControlCatalogue::find(const QString& name)
{
    for (const ControlDescriptor& control : controls()) {
        if (control.name == name) {
            return &control;
        }
    }
    return nullptr;
}

QList<const ControlDescriptor*> ControlCatalogue::profileControls()
{
    QList<const ControlDescriptor*> result;
    for (const ControlDescriptor& control : controls()) {
        if (control.inProfile) {
            result << &control;
        }
    }
    return result;
}
