#include "simulatedstandardcontrols.h"

#include "simulatedcamera.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>

namespace {

using Kind = SimulatedControlRequest::Kind;

// One standard control, numbered both ways: as the camera-control or
// picture property (-1 when it is only a V4L2 control) and as V4L2 numbers it.
struct StandardControl
{
    quint32 v4l2Id;
    long property;
    bool picture; // picture property, else camera control
    quint32 type;
    const char* name;
    qint64 minimum;
    qint64 maximum;
    quint64 step;
    qint64 defaultValue;
};

// Sorted by V4L2 id, as the enumeration walks them in that order.
constexpr StandardControl kControls[] = {
    {V4L2_CID_USER_CLASS, -1, false, V4L2_CTRL_TYPE_CTRL_CLASS, "User Controls", 0, 0, 0, 0},
    {V4L2_CID_CONTRAST, VideoProcAmpProperty::Contrast, true, V4L2_CTRL_TYPE_INTEGER, "Contrast", 0,
     100, 1, 50},
    {V4L2_CID_AUTO_WHITE_BALANCE, -1, true, V4L2_CTRL_TYPE_BOOLEAN, "White Balance, Automatic", 0,
     1, 1, 1},
    {V4L2_CID_HFLIP, -1, false, V4L2_CTRL_TYPE_BOOLEAN, "Horizontal Flip", 0, 1, 1, 0},
    {V4L2_CID_VFLIP, -1, false, V4L2_CTRL_TYPE_BOOLEAN, "Vertical Flip", 0, 1, 1, 0},
    {V4L2_CID_WHITE_BALANCE_TEMPERATURE, VideoProcAmpProperty::WhiteBalance, true,
     V4L2_CTRL_TYPE_INTEGER, "White Balance Temperature", 2800, 6500, 10, 4600},
    {V4L2_CID_CAMERA_CLASS, -1, false, V4L2_CTRL_TYPE_CTRL_CLASS, "Camera Controls", 0, 0, 0, 0},
    {V4L2_CID_EXPOSURE_AUTO, -1, false, V4L2_CTRL_TYPE_MENU, "Auto Exposure", 1, 3, 1, 3},
    {V4L2_CID_PAN_ABSOLUTE, CameraControlProperty::Pan, false, V4L2_CTRL_TYPE_INTEGER,
     "Pan, Absolute", -180, 180, 1, 0},
    {V4L2_CID_TILT_ABSOLUTE, CameraControlProperty::Tilt, false, V4L2_CTRL_TYPE_INTEGER,
     "Tilt, Absolute", -90, 90, 1, 0},
    {V4L2_CID_ZOOM_ABSOLUTE, CameraControlProperty::Zoom, false, V4L2_CTRL_TYPE_INTEGER,
     "Zoom, Absolute", 0, 100, 1, 0},
    {V4L2_CID_PAN_SPEED, CameraControlProperty::PanRelative, false, V4L2_CTRL_TYPE_INTEGER,
     "Pan, Speed", -8, 8, 1, 4},
    {V4L2_CID_TILT_SPEED, CameraControlProperty::TiltRelative, false, V4L2_CTRL_TYPE_INTEGER,
     "Tilt, Speed", -8, 8, 1, 3},
};

const StandardControl* byProperty(long property, bool picture)
{
    for (const StandardControl& control : kControls) {
        if (control.property == property && control.picture == picture) {
            return &control;
        }
    }
    return nullptr;
}

#if defined(__linux__)
const StandardControl* byV4l2Id(quint32 id)
{
    for (const StandardControl& control : kControls) {
        if (control.v4l2Id == id) {
            return &control;
        }
    }
    return nullptr;
}
#endif

// Contrast ranges differ from camera to camera; the others are fixed.
qint64 maximumOf(const StandardControl& control, const SimulatedControlConfig& config)
{
    return control.v4l2Id == V4L2_CID_CONTRAST ? config.contrastMaximum : control.maximum;
}

PropertyRange rangeOf(const StandardControl& control, const SimulatedControlConfig& config)
{
    PropertyRange range;
    range.minimum = long(control.minimum);
    range.maximum = long(maximumOf(control, config));
    range.step = long(control.step);
    range.defaultValue = long(control.defaultValue);
    range.capsFlags = control.v4l2Id == V4L2_CID_WHITE_BALANCE_TEMPERATURE
                          ? ControlFlags::Auto | ControlFlags::Manual
                          : ControlFlags::Manual;
    return range;
}

bool inRange(const StandardControl& control, const SimulatedControlConfig& config, qint64 value)
{
    return value >= control.minimum && value <= maximumOf(control, config);
}

// The value of a V4L2 control in the camera's state.
qint64 readState(const SimulatedCameraState& s, quint32 id)
{
    switch (id) {
    case V4L2_CID_CONTRAST:
        return s.contrast;
    case V4L2_CID_AUTO_WHITE_BALANCE:
        return s.autoWhiteBalance;
    case V4L2_CID_HFLIP:
        return s.horizontalFlip;
    case V4L2_CID_VFLIP:
        return s.verticalFlip;
    case V4L2_CID_WHITE_BALANCE_TEMPERATURE:
        return s.whiteBalanceTemperature;
    case V4L2_CID_EXPOSURE_AUTO:
        return s.autoExposure ? V4L2_EXPOSURE_APERTURE_PRIORITY : V4L2_EXPOSURE_MANUAL;
    case V4L2_CID_PAN_ABSOLUTE:
        return s.pan;
    case V4L2_CID_TILT_ABSOLUTE:
        return s.tilt;
    case V4L2_CID_ZOOM_ABSOLUTE:
        return s.zoom;
    case V4L2_CID_PAN_SPEED:
        return s.panSpeed;
    case V4L2_CID_TILT_SPEED:
        return s.tiltSpeed;
    default:
        return 0;
    }
}

void writeState(SimulatedCameraState& s, quint32 id, int value)
{
    switch (id) {
    case V4L2_CID_CONTRAST:
        s.contrast = value;
        break;
    case V4L2_CID_AUTO_WHITE_BALANCE:
        s.autoWhiteBalance = value != 0;
        break;
    case V4L2_CID_HFLIP:
        s.horizontalFlip = value != 0;
        break;
    case V4L2_CID_VFLIP:
        s.verticalFlip = value != 0;
        break;
    case V4L2_CID_WHITE_BALANCE_TEMPERATURE:
        s.whiteBalanceTemperature = value;
        break;
    case V4L2_CID_EXPOSURE_AUTO:
        s.autoExposure = value != V4L2_EXPOSURE_MANUAL;
        break;
    case V4L2_CID_PAN_ABSOLUTE:
        s.pan = value;
        break;
    case V4L2_CID_TILT_ABSOLUTE:
        s.tilt = value;
        break;
    case V4L2_CID_ZOOM_ABSOLUTE:
        s.zoom = value;
        break;
    case V4L2_CID_PAN_SPEED:
        s.panSpeed = value;
        break;
    case V4L2_CID_TILT_SPEED:
        s.tiltSpeed = value;
        break;
    default:
        break;
    }
}

#if defined(__linux__)
// The temperature only applies while the white balance is manual, as with
// a UVC camera.
bool inactive(const SimulatedCameraState& s, quint32 id)
{
    return id == V4L2_CID_WHITE_BALANCE_TEMPERATURE && s.autoWhiteBalance;
}
#endif

QString requestName(const char* prefix, const char* what, long property)
{
    return QStringLiteral("%1 %2 %3").arg(QLatin1String(prefix), QLatin1String(what)).arg(property);
}

} // namespace

SimulatedStandardControls::SimulatedStandardControls(SimulatedCamera& camera) : m_camera(camera) {}

bool SimulatedStandardControls::failing(const QString& request) const
{
    return m_camera.controlConfig().failingStandardRequests.contains(request);
}

long SimulatedStandardControls::cameraControlSet(long property, long value, long flags)
{
    SimulatedControlRequest logged;
    logged.kind = Kind::CameraControlSet;
    logged.id = static_cast<unsigned long>(property);
    logged.value = value;
    logged.controlFlags = flags;
    const StandardControl* control = byProperty(property, false);
    if (failing(requestName("CC", "Set", property))) {
        logged.result = -EIO;
    } else if (!control || flags != ControlFlags::Manual) {
        logged.result = -EINVAL;
    } else if (!inRange(*control, m_camera.controlConfig(), value)) {
        logged.result = -ERANGE;
    } else {
        m_camera.modifyState(
            [&](SimulatedCameraState& s) { writeState(s, control->v4l2Id, int(value)); });
    }
    m_camera.logRequest(logged);
    return logged.result;
}

long SimulatedStandardControls::cameraControlGet(long property, long* value)
{
    SimulatedControlRequest logged;
    logged.kind = Kind::CameraControlGet;
    logged.id = static_cast<unsigned long>(property);
    const StandardControl* control = byProperty(property, false);
    if (failing(requestName("CC", "Get", property))) {
        logged.result = -EIO;
    } else if (!control || control->type != V4L2_CTRL_TYPE_INTEGER || !value) {
        logged.result = -EINVAL;
    } else {
        *value = logged.value = long(readState(m_camera.state(), control->v4l2Id));
    }
    m_camera.logRequest(logged);
    return logged.result;
}

long SimulatedStandardControls::cameraControlGetRange(long property, PropertyRange* range)
{
    SimulatedControlRequest logged;
    logged.kind = Kind::CameraControlGetRange;
    logged.id = static_cast<unsigned long>(property);
    const StandardControl* control = byProperty(property, false);
    if (failing(requestName("CC", "GetRange", property))) {
        logged.result = -EIO;
    } else if (!control || control->type != V4L2_CTRL_TYPE_INTEGER) {
        logged.result = -EINVAL;
    } else if (range) {
        *range = rangeOf(*control, m_camera.controlConfig());
    }
    m_camera.logRequest(logged);
    return logged.result;
}

long SimulatedStandardControls::pictureGet(long property, long* value, long* flags)
{
    SimulatedControlRequest logged;
    logged.kind = Kind::PictureGet;
    logged.id = static_cast<unsigned long>(property);
    const StandardControl* control = byProperty(property, true);
    if (failing(requestName("PA", "Get", property))) {
        logged.result = -EIO;
    } else if (!control) {
        logged.result = -EINVAL;
    } else {
        const SimulatedCameraState s = m_camera.state();
        logged.value = long(readState(s, control->v4l2Id));
        logged.controlFlags = property == VideoProcAmpProperty::WhiteBalance && s.autoWhiteBalance
                                  ? ControlFlags::Auto
                                  : ControlFlags::Manual;
        if (value) {
            *value = logged.value;
        }
        if (flags) {
            *flags = logged.controlFlags;
        }
    }
    m_camera.logRequest(logged);
    return logged.result;
}

long SimulatedStandardControls::pictureSet(long property, long value, long flags)
{
    SimulatedControlRequest logged;
    logged.kind = Kind::PictureSet;
    logged.id = static_cast<unsigned long>(property);
    logged.value = value;
    logged.controlFlags = flags;
    const StandardControl* control = byProperty(property, true);
    const bool whiteBalance = property == VideoProcAmpProperty::WhiteBalance;
    if (failing(requestName("PA", "Set", property))) {
        logged.result = -EIO;
    } else if (!control ||
               (flags != ControlFlags::Manual && !(whiteBalance && flags == ControlFlags::Auto))) {
        logged.result = -EINVAL;
    } else if (flags == ControlFlags::Manual &&
               !inRange(*control, m_camera.controlConfig(), value)) {
        logged.result = -ERANGE;
    } else {
        m_camera.modifyState([&](SimulatedCameraState& s) {
            if (whiteBalance) {
                s.autoWhiteBalance = flags == ControlFlags::Auto;
                if (flags == ControlFlags::Auto) {
                    return;
                }
            }
            writeState(s, control->v4l2Id, int(value));
        });
    }
    m_camera.logRequest(logged);
    return logged.result;
}

long SimulatedStandardControls::pictureGetRange(long property, PropertyRange* range)
{
    SimulatedControlRequest logged;
    logged.kind = Kind::PictureGetRange;
    logged.id = static_cast<unsigned long>(property);
    const StandardControl* control = byProperty(property, true);
    if (failing(requestName("PA", "GetRange", property))) {
        logged.result = -EIO;
    } else if (!control) {
        logged.result = -EINVAL;
    } else if (range) {
        *range = rangeOf(*control, m_camera.controlConfig());
    }
    m_camera.logRequest(logged);
    return logged.result;
}

#if defined(__linux__)
int SimulatedStandardControls::queryExtControl(v4l2_query_ext_ctrl* query)
{
    if (!query) {
        return -EFAULT;
    }
    const quint32 nextFlags = V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND;
    const bool next = query->id & nextFlags;
    const quint32 id = query->id & ~nextFlags;
    const StandardControl* found = nullptr;
    for (const StandardControl& control : kControls) {
        if (next ? control.v4l2Id > id : control.v4l2Id == id) {
            found = &control;
            break;
        }
    }
    SimulatedControlRequest logged;
    logged.kind = Kind::DialogQuery;
    logged.id = query->id;
    if (!found) {
        logged.result = -EINVAL;
        m_camera.logRequest(logged);
        return -EINVAL;
    }
    const SimulatedCameraState s = m_camera.state();
    std::memset(query, 0, sizeof(*query));
    query->id = found->v4l2Id;
    query->type = found->type;
    std::strncpy(query->name, found->name, sizeof(query->name) - 1);
    query->minimum = found->minimum;
    query->maximum = maximumOf(*found, m_camera.controlConfig());
    query->step = found->step;
    query->default_value = found->defaultValue;
    query->elems = 1;
    query->elem_size = sizeof(qint32);
    if (found->type == V4L2_CTRL_TYPE_CTRL_CLASS) {
        query->flags = V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY;
    } else if (inactive(s, found->v4l2Id)) {
        query->flags = V4L2_CTRL_FLAG_INACTIVE;
    }
    m_camera.logRequest(logged);
    return 0;
}

int SimulatedStandardControls::queryMenu(v4l2_querymenu* item)
{
    if (!item) {
        return -EFAULT;
    }
    // The exposure menu has the two modes of a UVC camera; 0 and 2 are
    // holes, as uvcvideo reports them.
    if (item->id != V4L2_CID_EXPOSURE_AUTO ||
        (item->index != V4L2_EXPOSURE_MANUAL && item->index != V4L2_EXPOSURE_APERTURE_PRIORITY)) {
        return -EINVAL;
    }
    std::memset(item->name, 0, sizeof(item->name));
    const char* name =
        item->index == V4L2_EXPOSURE_MANUAL ? "Manual Mode" : "Aperture Priority Mode";
    std::strncpy(reinterpret_cast<char*>(item->name), name, sizeof(item->name) - 1);
    return 0;
}

int SimulatedStandardControls::getControl(v4l2_control* control)
{
    if (!control) {
        return -EFAULT;
    }
    const StandardControl* found = byV4l2Id(control->id);
    SimulatedControlRequest logged;
    logged.kind = Kind::DialogGet;
    logged.id = control->id;
    if (!found || found->type == V4L2_CTRL_TYPE_CTRL_CLASS) {
        logged.result = -EINVAL;
    } else {
        control->value = int(readState(m_camera.state(), control->id));
        logged.value = control->value;
    }
    m_camera.logRequest(logged);
    return int(logged.result);
}

int SimulatedStandardControls::setControl(v4l2_control* control)
{
    if (!control) {
        return -EFAULT;
    }
    const StandardControl* found = byV4l2Id(control->id);
    SimulatedControlRequest logged;
    logged.kind = Kind::DialogSet;
    logged.id = control->id;
    logged.value = control->value;
    const SimulatedCameraState s = m_camera.state();
    if (!found || found->type == V4L2_CTRL_TYPE_CTRL_CLASS) {
        logged.result = -EINVAL;
    } else if (!inRange(*found, m_camera.controlConfig(), control->value)) {
        logged.result = -ERANGE;
    } else if (inactive(s, control->id)) {
        logged.result = -EBUSY;
    } else if (found->type == V4L2_CTRL_TYPE_MENU && control->value != V4L2_EXPOSURE_MANUAL &&
               control->value != V4L2_EXPOSURE_APERTURE_PRIORITY) {
        logged.result = -EINVAL;
    } else {
        m_camera.modifyState(
            [&](SimulatedCameraState& state) { writeState(state, control->id, control->value); });
    }
    m_camera.logRequest(logged);
    return int(logged.result);
}
#endif
