#include "controlaccess.h"

#include "retryioctl.h"

#include <cerrno>

ControlAccess::ControlAccess(const VendorDialogDevice& device) : m_device(device) {}

bool ControlAccess::usable(const VendorDialogDevice* device)
{
    if (!device || device->structSize != sizeof(VendorDialogDevice) ||
        device->version != VENDOR_DIALOG_DEVICE_VERSION) {
        return false;
    }
    return device->fd >= 0 || (device->queryExtControl && device->getControl && device->setControl);
}

int ControlAccess::nodeIoctl(unsigned long request, void* arg) const
{
    const int r = retryIoctl(m_device.fd, request, arg);
    if (r >= 0) {
        return 0;
    }
    return errno > 0 ? -errno : -EIO;
}

int ControlAccess::queryExtControl(v4l2_query_ext_ctrl* query) const
{
    if (m_device.fd >= 0) {
        return nodeIoctl(VIDIOC_QUERY_EXT_CTRL, query);
    }
    return m_device.queryExtControl(m_device.context, query);
}

int ControlAccess::queryMenu(v4l2_querymenu* item) const
{
    if (m_device.fd >= 0) {
        return nodeIoctl(VIDIOC_QUERYMENU, item);
    }
    return m_device.queryMenu ? m_device.queryMenu(m_device.context, item) : -ENOTTY;
}

int ControlAccess::getControl(v4l2_control* control) const
{
    if (m_device.fd >= 0) {
        return nodeIoctl(VIDIOC_G_CTRL, control);
    }
    return m_device.getControl(m_device.context, control);
}

int ControlAccess::setControl(v4l2_control* control) const
{
    if (m_device.fd >= 0) {
        return nodeIoctl(VIDIOC_S_CTRL, control);
    }
    return m_device.setControl(m_device.context, control);
}
