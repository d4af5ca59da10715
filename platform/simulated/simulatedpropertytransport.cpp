#include "simulatedpropertytransport.h"

#include "simulatedcamera.h"
#include "simulatedframerenderer.h"

#include <cerrno>

namespace {

using Kind = SimulatedControlRequest::Kind;

#if defined(__linux__)
SimulatedStandardControls& controlsOf(void* context)
{
    return *static_cast<SimulatedStandardControls*>(context);
}

int dialogQuery(void* context, v4l2_query_ext_ctrl* query)
{
    return controlsOf(context).queryExtControl(query);
}

int dialogMenu(void* context, v4l2_querymenu* item)
{
    return controlsOf(context).queryMenu(item);
}

int dialogGet(void* context, v4l2_control* control)
{
    return controlsOf(context).getControl(control);
}

int dialogSet(void* context, v4l2_control* control)
{
    return controlsOf(context).setControl(control);
}
#endif

} // namespace

SimulatedPropertyTransport::SimulatedPropertyTransport(std::shared_ptr<SimulatedCamera> camera)
    : m_camera(std::move(camera)), m_units(*m_camera), m_controls(*m_camera)
{
#if defined(__linux__)
    m_path = m_camera->deviceName().toUtf8();
    m_card = m_camera->config().description.toUtf8();
    m_dialogDevice.structSize = sizeof(VendorDialogDevice);
    m_dialogDevice.version = VENDOR_DIALOG_DEVICE_VERSION;
    m_dialogDevice.fd = -1;
    m_dialogDevice.devicePath = m_path.constData();
    m_dialogDevice.cardName = m_card.constData();
    m_dialogDevice.context = &m_controls;
    m_dialogDevice.queryExtControl = dialogQuery;
    m_dialogDevice.queryMenu = dialogMenu;
    m_dialogDevice.getControl = dialogGet;
    m_dialogDevice.setControl = dialogSet;
#endif
}

SimulatedPropertyTransport::~SimulatedPropertyTransport() = default;

bool SimulatedPropertyTransport::gone() const
{
    return !m_camera->isPlugged();
}

long SimulatedPropertyTransport::nodeProperty(const QUuid& propertySet, unsigned long id,
                                              unsigned long flags, unsigned long node, void* data,
                                              unsigned long length, unsigned long* bytesReturned)
{
    SimulatedControlRequest logged;
    logged.kind = Kind::UnitRequest;
    logged.propertySet = propertySet;
    logged.id = id;
    logged.flags = flags;
    logged.node = node;
    logged.length = length;
    const bool set = flags & PropertyFlags::Set;
    if (set && data) {
        logged.data = QByteArray(static_cast<const char*>(data), int(length));
    }
    unsigned long returned = 0;
    logged.result =
        gone() ? -ENODEV : m_units.request(propertySet, id, flags, node, data, length, &returned);
    if (logged.result >= 0 && !set && data) {
        logged.data = QByteArray(static_cast<const char*>(data), int(returned));
    }
    if (bytesReturned) {
        *bytesReturned = logged.result >= 0 ? returned : 0;
    }
    m_camera->logRequest(logged);
    return logged.result;
}

// The room the simulated camera renders is seen through these optics, so it
// tells them as a camera that knows its lens would.
LensOptics SimulatedPropertyTransport::lensOptics() const
{
    return {kSimulatedWideFieldOfView, kSimulatedWideFieldOfViewTilt, kSimulatedMaxZoomFactor};
}

long SimulatedPropertyTransport::cameraControlSet(long property, long value, long flags)
{
    return gone() ? -ENODEV : m_controls.cameraControlSet(property, value, flags);
}

long SimulatedPropertyTransport::cameraControlGet(long property, long* value)
{
    return gone() ? -ENODEV : m_controls.cameraControlGet(property, value);
}

long SimulatedPropertyTransport::cameraControlGetRange(long property, PropertyRange* range)
{
    return gone() ? -ENODEV : m_controls.cameraControlGetRange(property, range);
}

long SimulatedPropertyTransport::videoProcAmpGet(long property, long* value, long* flags)
{
    return gone() ? -ENODEV : m_controls.pictureGet(property, value, flags);
}

long SimulatedPropertyTransport::videoProcAmpSet(long property, long value, long flags)
{
    return gone() ? -ENODEV : m_controls.pictureSet(property, value, flags);
}

long SimulatedPropertyTransport::videoProcAmpGetRange(long property, PropertyRange* range)
{
    return gone() ? -ENODEV : m_controls.pictureGetRange(property, range);
}

#if defined(__linux__)
VendorDialogDevice* SimulatedPropertyTransport::dialogDevice()
{
    return &m_dialogDevice;
}

void* SimulatedPropertyTransport::dialogHandle()
{
    return dialogDevice();
}
#else
void* SimulatedPropertyTransport::dialogHandle()
{
    return nullptr;
}
#endif
