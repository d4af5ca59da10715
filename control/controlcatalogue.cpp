#include "controlcatalogue.h"

#include "camerasettings.h"
#include "propertytransport.h"

using namespace CameraSettings;
using Kind = ControlDescriptor::Kind;
using Access = ControlDescriptor::Access;
using Transport = ControlDescriptor::Transport;

namespace {

constexpr int kLongestMotionMs = 10000;

Transport transportOf(Access access)
{
    switch (access) {
    case Access::Picture:
    case Access::WhiteBalance:
        return Transport::PictureProperty;
    case Access::Position:
    case Access::Relative:
    case Access::Home:
        return Transport::CameraControl;
    case Access::Zoom:
        return Transport::ZoomUnit;
    case Access::Speed:
        return Transport::Program;
    default:
        return Transport::MainUnit;
    }
}

QStringList widgets(const char* first, const char* second = nullptr)
{
    QStringList names{QString::fromLatin1(first)};
    if (second) {
        names << QString::fromLatin1(second);
    }
    return names;
}

ControlDescriptor control(const char* name, Kind kind, Access access, const char* help)
{
    ControlDescriptor c;
    c.name = QString::fromLatin1(name);
    c.kind = kind;
    c.access = access;
    c.transport = transportOf(access);
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

ControlDescriptor onOff(const char* name, unsigned long selector, const char* widget,
                        const char* help)
{
    ControlDescriptor c =
        choice(name, Access::Switch, {QStringLiteral("on"), QStringLiteral("off")}, help);
    c.kind = Kind::Switch;
    c.selector = selector;
    c.maximum = 1;
    c.choiceValues = {1, 0};
    c.inProfile = true;
    c.widgets = widgets(widget);
    return c;
}

ControlDescriptor position(const char* name, long property, const char* help)
{
    ControlDescriptor c = number(name, Access::Position, 0, 0, help);
    c.standardId = property;
    c.cameraRange = true;
    return c;
}

// A value of the video page's settings: a slider and its value label.
ControlDescriptor setting(const char* name, Access access, unsigned long selector, int minimum,
                          int maximum, const char* slider, const char* label, const char* help)
{
    ControlDescriptor c = number(name, access, minimum, maximum, help);
    c.selector = selector;
    c.inProfile = true;
    c.widgets = widgets(slider, label);
    return c;
}

ControlDescriptor motion(const char* name, Access access, long property, int direction,
                         const char* button, const char* help)
{
    ControlDescriptor c = number(name, access, 1, kLongestMotionMs, help);
    c.kind = Kind::Motion;
    c.readable = false;
    c.direction = direction;
    c.display.unit = QStringLiteral("ms");
    c.widgets = widgets(button);
    if (access == Access::Zoom) {
        c.selector = kZoomMotion;
    } else {
        c.standardId = property;
    }
    return c;
}

ControlDescriptor action(const char* name, Access access, unsigned long selector,
                         const char* widget, const char* help)
{
    ControlDescriptor c = control(name, Kind::Action, access, help);
    c.selector = selector;
    c.widgets = widgets(widget);
    return c;
}

QList<ControlDescriptor> pictureControls()
{
    namespace PA = VideoProcAmpProperty;
    ControlDescriptor firmware =
        control("firmware", Kind::Text, Access::Firmware, "firmware version (read-only)");
    firmware.selector = kDeviceInfo;
    ControlDescriptor exposure =
        setting("exposure", Access::Exposure, kExposureValue, kExposureMinimum, kExposureMaximum,
                "horizontalSlider", "label_SliderValue",
                "exposure; auto (or 0) is the camera's automatic exposure");
    exposure.automatic = true;
    exposure.display.automaticText = QStringLiteral("Auto");
    // The slider's position and its label are the number the camera holds,
    // whatever its range: a camera may report one reaching past 255.
    ControlDescriptor contrast =
        setting("contrast", Access::Picture, 0, 0, 0, "horizontalSlider_DRC",
                "label_SliderValue_DRC", "contrast; the range is the camera's");
    contrast.standardId = PA::Contrast;
    contrast.cameraRange = true;
    const ControlDescriptor red =
        setting("red-shift", Access::SignedByte, kRedShift, kShiftMinimum, kShiftMaximum,
                "horizontalSlider_RG", "label_SliderValue_RG", "red shift");
    const ControlDescriptor blue =
        setting("blue-shift", Access::SignedByte, kBlueShift, kShiftMinimum, kShiftMaximum,
                "horizontalSlider_BG", "label_SliderValue_BG", "blue shift");
    ControlDescriptor whiteBalance = choice(
        "white-balance", Access::WhiteBalance, {QStringLiteral("auto"), QStringLiteral("manual")},
        "white balance mode (read-only); negative colour shifts need manual");
    whiteBalance.standardId = PA::WhiteBalance;
    whiteBalance.choiceValues = {1, 0};
    whiteBalance.writable = false;
    ControlDescriptor style =
        choice("image-style", Access::Byte, {QStringLiteral("meeting"), QStringLiteral("live")},
               "image style of the picture");
    style.selector = kImageStyle;
    style.choiceValues = {kStyleMeeting, kStyleLive};
    style.inProfile = true;
    style.widgets = widgets("checkBox_Meeting", "checkBox_Live");
    return {firmware, exposure, contrast, red, blue, whiteBalance, style};
}

QList<ControlDescriptor> headControls()
{
    namespace CC = CameraControlProperty;
    ControlDescriptor speed =
        choice("speed", Access::Speed,
               {QStringLiteral("slow"), QStringLiteral("normal"), QStringLiteral("fast")},
               "pan and tilt speed of the pad, the keys and the motions here");
    return {
        position("pan", CC::Pan, "pan position; the range is the camera's"),
        position("tilt", CC::Tilt, "tilt position; the range is the camera's"),
        position("zoom", CC::Zoom, "zoom position; the range is the camera's"),
        speed,
        motion("pan-left", Access::Relative, CC::PanRelative, -1, "pushButton_left",
               "pan left for the given milliseconds"),
        motion("pan-right", Access::Relative, CC::PanRelative, 1, "pushButton_right",
               "pan right for the given milliseconds"),
        motion("tilt-up", Access::Relative, CC::TiltRelative, 1, "pushButton_up",
               "tilt up for the given milliseconds"),
        motion("tilt-down", Access::Relative, CC::TiltRelative, -1, "pushButton_down",
               "tilt down for the given milliseconds"),
        motion("zoom-in", Access::Zoom, -1, 1, "pushButton_zoomin",
               "zoom in for the given milliseconds"),
        motion("zoom-out", Access::Zoom, -1, -1, "pushButton_zoomout",
               "zoom out for the given milliseconds"),
        action("home", Access::Home, 0, "pushButton_home",
               "move to the home position (pan, tilt and zoom 0)"),
        action("factory-reset", Access::FactoryReset, kFactoryReset,
               "label_restore_to_factory_settings",
               "restore the camera's factory settings, move home and forget its profile"),
    };
}

QList<ControlDescriptor> buildCatalogue()
{
    return pictureControls() +
           QList<ControlDescriptor>{
               onOff("flip-horizontal", kHorizontalFlip, "pushButton_FlipH",
                     "mirror the picture left to right"),
               onOff("flip-vertical", kVerticalFlip, "pushButton_FlipV",
                     "turn the picture upside down"),
               onOff("audio-algo", kAudioProcessing, "pushButton_Audio_Algo",
                     "the camera's audio processing"),
               // Last of the profile: changing it restarts the camera.
               onOff("audio", kAudioFunction, "pushButton_Audio",
                     "the camera's audio function; the camera restarts when it changes"),
           } +
           headControls();
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
        return QStringLiteral("%1..%2 %3").arg(minimum).arg(maximum).arg(display.unit);
    case Kind::Action:
    case Kind::Text:
        break;
    }
    return QString();
}

QString ControlDescriptor::shownText(int value) const
{
    if (automatic && value == 0 && !display.automaticText.isEmpty()) {
        return display.automaticText;
    }
    const QString number = QString::number(shown(value));
    return display.unit.isEmpty() ? number : number + QLatin1Char(' ') + display.unit;
}

QString ControlDescriptor::choiceOf(int value) const
{
    const int index = choiceValues.indexOf(value);
    return index < 0 ? QString() : choices.value(index);
}

int ControlDescriptor::valueOf(const QString& choice) const
{
    const int index = choices.indexOf(choice);
    return index < 0 ? -1 : choiceValues.value(index, -1);
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

const ControlDescriptor& ControlCatalogue::get(const char* name)
{
    const ControlDescriptor* control = find(QLatin1String(name));
    Q_ASSERT_X(control, "ControlCatalogue::get", name);
    return *control;
}

const ControlDescriptor* ControlCatalogue::carriedBy(Transport transport, long id)
{
    const bool unit = transport == Transport::MainUnit || transport == Transport::ZoomUnit;
    for (const ControlDescriptor& control : controls()) {
        if (control.transport == transport &&
            (unit ? long(control.selector) == id : control.standardId == id)) {
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
