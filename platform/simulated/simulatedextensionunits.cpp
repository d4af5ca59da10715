#include "simulatedextensionunits.h"

#include "simulatedcamera.h"
#include "simulatedhub.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

const QUuid
    SimulatedExtensionUnits::MainUnit(QStringLiteral("{A7A6A934-3A4A-4351-85F4-042EF2CDCAAB}"));
const QUuid
    SimulatedExtensionUnits::ZoomUnit(QStringLiteral("{9D33BBE7-E619-435C-8FAC-528EECCCBCA4}"));

namespace {

// The request kinds, as the flag words of a node-property request tell
// them apart.
constexpr unsigned long kGet = 0x00000001;
constexpr unsigned long kSet = 0x00000002;
constexpr unsigned long kSetSupport = 0x00000100;
constexpr unsigned long kTopology = 0x10000000;
constexpr unsigned long kDeviceInformationLength = 24;

struct UnitControl
{
    unsigned long selector;
    unsigned long length;
    bool readable;
    bool writable;
};

constexpr UnitControl kMainControls[] = {
    {9, kDeviceInformationLength, true, false}, // device information
    {10, 1, true, true},                        // exposure mode: 1 automatic
    {11, 1, true, true},                        // exposure value
    {13, 1, true, true},                        // image style
    {14, 1, true, true},                        // blue shift
    {15, 1, true, true},                        // red shift
    {23, 1, false, true},                       // factory settings
    {24, 1, true, true},                        // vertical flip
    {25, 1, true, true},                        // horizontal flip
    {26, 1, true, true},                        // audio function
    {27, 1, true, true},                        // audio processing
};

constexpr UnitControl kZoomControls[] = {
    {12, 3, false, true}, // relative zoom: direction, 0, speed
};

const UnitControl* findControl(const QUuid& set, unsigned long selector)
{
    const auto find = [selector](const auto& table) -> const UnitControl* {
        for (const UnitControl& control : table) {
            if (control.selector == selector) {
                return &control;
            }
        }
        return nullptr;
    };
    if (set == SimulatedExtensionUnits::MainUnit) {
        return find(kMainControls);
    }
    if (set == SimulatedExtensionUnits::ZoomUnit) {
        return find(kZoomControls);
    }
    return nullptr;
}

unsigned long unitNode(const QUuid& set, const SimulatedControlConfig& config)
{
    return set == SimulatedExtensionUnits::ZoomUnit ? config.zoomUnitNode : config.mainUnitNode;
}

signed char asSigned(unsigned char byte)
{
    return static_cast<signed char>(byte);
}

bool isSwitch(unsigned char byte)
{
    return byte == 0 || byte == 1;
}

} // namespace

SimulatedExtensionUnits::SimulatedExtensionUnits(SimulatedCamera& camera) : m_camera(camera) {}

unsigned long SimulatedExtensionUnits::controlLength(const QUuid& propertySet,
                                                     unsigned long selector)
{
    const UnitControl* control = findControl(propertySet, selector);
    return control ? control->length : 0;
}

long SimulatedExtensionUnits::request(const QUuid& propertySet, unsigned long selector,
                                      unsigned long flags, unsigned long node, void* data,
                                      unsigned long length, unsigned long* bytesReturned)
{
    const SimulatedControlConfig config = m_camera.controlConfig();
    const UnitControl* control = findControl(propertySet, selector);
    // Only the unit's own node knows its controls, as a request to another
    // unit id of a UVC device fails.
    if (!control || node != unitNode(propertySet, config) || !(flags & kTopology)) {
        return -ENOENT;
    }
    const unsigned long reported = config.reportedLengths.value(selector, control->length);
    const unsigned long kind = flags & ~kTopology;
    if (kind == kSetSupport) {
        return 0;
    }
    if (kind == kGet && !data && length == 0) {
        if (bytesReturned) {
            *bytesReturned = reported;
        }
        return 0;
    }
    if (kind != kGet && kind != kSet) {
        return -EINVAL;
    }
    // A transfer carries exactly the length the camera reports.
    if (!data || length != reported) {
        return -EINVAL;
    }
    if ((kind == kGet && !control->readable) || (kind == kSet && !control->writable)) {
        return -EPIPE; // the device stalls the request
    }
    if (config.failingSelectors.contains(selector)) {
        return -EIO;
    }
    auto* bytes = static_cast<unsigned char*>(data);
    const long result = kind == kGet ? get(selector, bytes, length) : set(selector, bytes, length);
    if (result >= 0 && bytesReturned) {
        *bytesReturned = length;
    }
    return result;
}

long SimulatedExtensionUnits::get(unsigned long selector, unsigned char* data, unsigned long length)
{
    if (selector == 9) {
        const QByteArray text = m_camera.controlConfig().deviceInformation;
        std::memset(data, 0, length);
        std::memcpy(data, text.constData(),
                    std::min<size_t>(
                        {size_t(length), size_t(text.size()), size_t(kDeviceInformationLength)}));
        return 0;
    }
    const SimulatedCameraState s = m_camera.state();
    int value = 0;
    switch (selector) {
    case 10:
        value = s.autoExposure ? 1 : 0;
        break;
    case 11:
        value = s.exposure;
        break;
    case 13:
        value = s.imageStyle;
        break;
    case 14:
        value = s.blueShift;
        break;
    case 15:
        value = s.redShift;
        break;
    case 24:
        value = s.verticalFlip;
        break;
    case 25:
        value = s.horizontalFlip;
        break;
    case 26:
        value = s.audioFunction;
        break;
    case 27:
        value = s.audioProcessing;
        break;
    default:
        return -ENOENT;
    }
    std::memset(data, 0, length);
    data[0] = static_cast<unsigned char>(value);
    return 0;
}

long SimulatedExtensionUnits::set(unsigned long selector, const unsigned char* data,
                                  unsigned long length)
{
    if (length < controlLength(selector == 12 ? ZoomUnit : MainUnit, selector)) {
        return -EINVAL;
    }
    const unsigned char byte = data[0];
    long result = 0;
    m_camera.modifyState([&](SimulatedCameraState& s) {
        switch (selector) {
        case 10:
            if (!isSwitch(byte)) {
                result = -EINVAL;
                return;
            }
            s.autoExposure = byte == 1;
            return;
        case 11:
            if (asSigned(byte) < -7 || asSigned(byte) > 7) {
                result = -ERANGE;
                return;
            }
            s.exposure = asSigned(byte);
            return;
        case 12:
            if (byte != 0 && byte != 1 && byte != 0xFF) {
                result = -EINVAL;
                return;
            }
            s.zoomDirection = byte == 1 ? 1 : byte == 0xFF ? -1 : 0;
            s.zoomSpeed = byte == 0 ? 0 : data[2];
            return;
        case 13:
            if (byte != 5 && byte != 6) {
                result = -EINVAL;
                return;
            }
            s.imageStyle = byte;
            return;
        case 14:
        case 15:
            if (asSigned(byte) < -10 || asSigned(byte) > 10) {
                result = -ERANGE;
                return;
            }
            (selector == 14 ? s.blueShift : s.redShift) = asSigned(byte);
            return;
        case 23: {
            if (byte != 1) {
                result = -EINVAL;
                return;
            }
            // The picture and the head return to their defaults; the audio
            // switches belong to the next boot and stay.
            SimulatedCameraState defaults;
            defaults.audioFunction = s.audioFunction;
            defaults.audioProcessing = s.audioProcessing;
            s = defaults;
            return;
        }
        case 24:
        case 25:
        case 26:
        case 27:
            if (!isSwitch(byte)) {
                result = -EINVAL;
                return;
            }
            (selector == 24   ? s.verticalFlip
             : selector == 25 ? s.horizontalFlip
             : selector == 26 ? s.audioFunction
                              : s.audioProcessing) = byte == 1;
            return;
        default:
            result = -ENOENT;
        }
    });
    if (result >= 0 && selector == 26) {
        SimulatedHub::instance().restart(m_camera.deviceName());
    }
    return result;
}
