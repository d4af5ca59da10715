#include "uvcpropertytransport.h"

#include "retryioctl.h"
#include "uvcstandardcontrols.h"

#include <cerrno>
#include <cstring>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <unistd.h>

namespace {

constexpr unsigned long kSupportQuery = PropertyFlags::Topology | PropertyFlags::SetSupport;
constexpr unsigned long kTransferMask = PropertyFlags::Get | PropertyFlags::Set;

using UvcStandardControls::kCameraControls;
using UvcStandardControls::kVideoProcAmpControls;
using ControlMapping = UvcStandardControls::Mapping;

template <size_t N>
const ControlMapping* findMapping(const ControlMapping (&table)[N], long property)
{
    return UvcStandardControls::byProperty(table, property);
}

int systemIoctl(int fd, unsigned long request, void* arg)
{
    const int r = retryIoctl(fd, request, arg);
    return r < 0 ? int(resultFromErrno(errno)) : 0;
}

} // namespace

long resultFromErrno(int error)
{
    if (error == 0) {
        return -EIO;
    }
    return error > 0 ? -long(error) : long(error);
}

long whiteBalanceFlags(int automaticValue)
{
    return automaticValue ? ControlFlags::Auto : ControlFlags::Manual;
}

UvcPropertyTransport::UvcPropertyTransport(int fd, const QString& devicePath,
                                           const QString& cardName,
                                           const QList<UvcExtensionUnit>& units, Ioctl ioctl)
    : m_fd(fd), m_devicePath(devicePath.toUtf8()), m_cardName(cardName.toUtf8()), m_units(units),
      m_ioctl(std::move(ioctl))
{
    if (!m_ioctl) {
        m_ioctl = [fd](unsigned long request, void* arg) { return systemIoctl(fd, request, arg); };
    }
    // uvcvideo answers every request of a disconnected device with ENODEV.
    m_ioctl = [this, inner = std::move(m_ioctl)](unsigned long request, void* arg) {
        const int result = inner(request, arg);
        m_gone = m_gone || result == -ENODEV;
        return result;
    };
    std::memset(&m_dialogDevice, 0, sizeof m_dialogDevice);
    m_dialogDevice.structSize = sizeof m_dialogDevice;
    m_dialogDevice.version = VENDOR_DIALOG_DEVICE_VERSION;
    m_dialogDevice.fd = m_fd;
    m_dialogDevice.devicePath = m_devicePath.constData();
    m_dialogDevice.cardName = m_cardName.constData();
}

UvcPropertyTransport::~UvcPropertyTransport()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

long UvcPropertyTransport::unitQuery(unsigned long unit, unsigned long selector, quint8 query,
                                     void* data, unsigned long size)
{
    if (unit > 0xFF || selector > 0xFF || size > 0xFFFF) {
        return -EINVAL;
    }
    uvc_xu_control_query request;
    std::memset(&request, 0, sizeof request);
    request.unit = quint8(unit);
    request.selector = quint8(selector);
    request.query = query;
    request.size = quint16(size);
    request.data = static_cast<__u8*>(data);
    return m_ioctl(UVCIOC_CTRL_QUERY, &request);
}

const UvcExtensionUnit* UvcPropertyTransport::unitAtNode(const QUuid& propertySet,
                                                         unsigned long node) const
{
    if (node == 0 || node > static_cast<unsigned long>(m_units.size())) {
        return nullptr;
    }
    const UvcExtensionUnit& unit = m_units.at(int(node - 1));
    return unit.guid == propertySet ? &unit : nullptr;
}

unsigned long UvcPropertyTransport::extensionUnitNode(const QUuid& propertySet) const
{
    for (int i = 0; i < m_units.size(); ++i) {
        if (m_units.at(i).guid == propertySet) {
            return static_cast<unsigned long>(i + 1);
        }
    }
    return 0;
}

long UvcPropertyTransport::nodeProperty(const QUuid& propertySet, unsigned long id,
                                        unsigned long flags, unsigned long node, void* data,
                                        unsigned long length, unsigned long* bytesReturned)
{
    if (bytesReturned) {
        *bytesReturned = 0;
    }
    if (!(flags & PropertyFlags::Topology)) {
        return -EINVAL;
    }
    // The driver would answer for any extension unit it is asked about; the
    // request is meant for the unit of this property set only.
    const UvcExtensionUnit* target = unitAtNode(propertySet, node);
    if (!target) {
        return -ENOENT;
    }
    const unsigned long unit = static_cast<unsigned long>(target->unitId);
    if (flags == kSupportQuery) {
        quint8 info = 0;
        return unitQuery(unit, id, UVC_GET_INFO, &info, sizeof info);
    }
    const unsigned long transfer = flags & kTransferMask;
    if (transfer == PropertyFlags::Get && (!data || length == 0)) {
        quint8 size[2] = {0, 0};
        const long result = unitQuery(unit, id, UVC_GET_LEN, size, sizeof size);
        if (result >= 0 && bytesReturned) {
            *bytesReturned = static_cast<unsigned long>(size[0] | size[1] << 8);
        }
        return result;
    }
    if ((transfer != PropertyFlags::Get && transfer != PropertyFlags::Set) || !data ||
        length == 0) {
        return -EINVAL;
    }
    const quint8 query = transfer == PropertyFlags::Get ? UVC_GET_CUR : UVC_SET_CUR;
    const long result = unitQuery(unit, id, query, data, length);
    if (result >= 0 && bytesReturned) {
        *bytesReturned = length;
    }
    return result;
}

long UvcPropertyTransport::getControl(quint32 id, long* value)
{
    v4l2_control control;
    std::memset(&control, 0, sizeof control);
    control.id = id;
    const long result = m_ioctl(VIDIOC_G_CTRL, &control);
    if (result >= 0) {
        *value = control.value;
    }
    return result;
}

long UvcPropertyTransport::setControl(quint32 id, long value)
{
    if (value < INT32_MIN || value > INT32_MAX) {
        return -ERANGE;
    }
    v4l2_control control;
    std::memset(&control, 0, sizeof control);
    control.id = id;
    control.value = qint32(value);
    return m_ioctl(VIDIOC_S_CTRL, &control);
}

long UvcPropertyTransport::queryRange(quint32 id, quint32 automaticId, PropertyRange* range)
{
    v4l2_queryctrl query;
    std::memset(&query, 0, sizeof query);
    query.id = id;
    const long result = m_ioctl(VIDIOC_QUERYCTRL, &query);
    if (result < 0) {
        return result;
    }
    if (query.flags & V4L2_CTRL_FLAG_DISABLED) {
        return -EINVAL;
    }
    range->minimum = query.minimum;
    range->maximum = query.maximum;
    range->step = query.step;
    range->defaultValue = query.default_value;
    range->capsFlags = ControlFlags::Manual;
    if (automaticId) {
        v4l2_queryctrl automatic;
        std::memset(&automatic, 0, sizeof automatic);
        automatic.id = automaticId;
        if (m_ioctl(VIDIOC_QUERYCTRL, &automatic) >= 0 &&
            !(automatic.flags & V4L2_CTRL_FLAG_DISABLED)) {
            range->capsFlags |= ControlFlags::Auto;
        }
    }
    return result;
}

long UvcPropertyTransport::cameraControlSet(long property, long value, long flags)
{
    Q_UNUSED(flags); // none of these controls has an automatic mode
    const ControlMapping* mapping = findMapping(kCameraControls, property);
    return mapping ? setControl(mapping->id, value) : -EINVAL;
}

long UvcPropertyTransport::cameraControlGetRange(long property, PropertyRange* range)
{
    const ControlMapping* mapping = findMapping(kCameraControls, property);
    if (!mapping || !range) {
        return -EINVAL;
    }
    return queryRange(mapping->id, mapping->automaticId, range);
}

long UvcPropertyTransport::cameraControlGet(long property, long* value)
{
    const ControlMapping* mapping = findMapping(kCameraControls, property);
    return mapping && value ? getControl(mapping->id, value) : -EINVAL;
}

long UvcPropertyTransport::whiteBalance(long* value, long* flags)
{
    long automatic = 0;
    const long result = getControl(V4L2_CID_AUTO_WHITE_BALANCE, &automatic);
    long temperature = 0;
    const bool haveTemperature = getControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, &temperature) >= 0;
    if (result < 0 && !haveTemperature) {
        return result;
    }
    // A camera with a temperature control and no automatic one is manual.
    *flags = result < 0 ? ControlFlags::Manual : whiteBalanceFlags(int(automatic));
    *value = haveTemperature ? temperature : 0;
    return 0;
}

long UvcPropertyTransport::setWhiteBalance(long value, long flags)
{
    if (flags & ControlFlags::Auto) {
        return setControl(V4L2_CID_AUTO_WHITE_BALANCE, 1);
    }
    // The temperature is read-only (inactive) while the automatic mode is on.
    const long result = setControl(V4L2_CID_AUTO_WHITE_BALANCE, 0);
    if (result < 0 && result != -EINVAL) {
        return result;
    }
    return setControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, value);
}

long UvcPropertyTransport::videoProcAmpGet(long property, long* value, long* flags)
{
    if (!value || !flags) {
        return -EINVAL;
    }
    if (property == VideoProcAmpProperty::WhiteBalance) {
        return whiteBalance(value, flags);
    }
    const ControlMapping* mapping = findMapping(kVideoProcAmpControls, property);
    if (!mapping) {
        return -EINVAL;
    }
    const long result = getControl(mapping->id, value);
    if (result >= 0) {
        *flags = ControlFlags::Manual;
    }
    return result;
}

long UvcPropertyTransport::videoProcAmpSet(long property, long value, long flags)
{
    if (property == VideoProcAmpProperty::WhiteBalance) {
        return setWhiteBalance(value, flags);
    }
    const ControlMapping* mapping = findMapping(kVideoProcAmpControls, property);
    return mapping ? setControl(mapping->id, value) : -EINVAL;
}

long UvcPropertyTransport::videoProcAmpGetRange(long property, PropertyRange* range)
{
    const ControlMapping* mapping = findMapping(kVideoProcAmpControls, property);
    if (!mapping || !range) {
        return -EINVAL;
    }
    return queryRange(mapping->id, mapping->automaticId, range);
}

VendorDialogDevice* UvcPropertyTransport::dialogDevice()
{
    return &m_dialogDevice;
}

void* UvcPropertyTransport::dialogHandle()
{
    return dialogDevice();
}
