#pragma once

#include "lumora_platform_export.h"
#include "propertytransport.h"
#include "simulatedextensionunits.h"
#include "simulatedstandardcontrols.h"

#if defined(__linux__)
#include "vendordialogdevice.h"
#endif

#include <QByteArray>

#include <memory>

class SimulatedCamera;

// The property side of one simulated camera: every request goes to the
// camera's units and standard controls and is logged on the camera. Once
// the camera is unplugged every request fails, as with a vanished device.
class LUMORA_PLATFORM_EXPORT SimulatedPropertyTransport final : public PropertyTransport
{
public:
    explicit SimulatedPropertyTransport(std::shared_ptr<SimulatedCamera> camera);
    ~SimulatedPropertyTransport() override;

    long nodeProperty(const QUuid& propertySet, unsigned long id, unsigned long flags,
                      unsigned long node, void* data, unsigned long length,
                      unsigned long* bytesReturned) override;
    LensOptics lensOptics() const override;
    long cameraControlSet(long property, long value, long flags) override;
    long cameraControlGetRange(long property, PropertyRange* range) override;
    long cameraControlGet(long property, long* value) override;
    long videoProcAmpGet(long property, long* value, long* flags) override;
    long videoProcAmpSet(long property, long value, long flags) override;
    long videoProcAmpGetRange(long property, PropertyRange* range) override;
    // On Linux the V4L2 view of the controls (the Linux dialog library
    // works with it); elsewhere null, as a simulated camera has no capture
    // filter whose pages a dialog could show.
    void* dialogHandle() override;
    bool deviceGone() const override { return gone(); }
#if defined(__linux__)
    VendorDialogDevice* dialogDevice();
#endif

private:
    bool gone() const;

    std::shared_ptr<SimulatedCamera> m_camera;
    SimulatedExtensionUnits m_units;
    SimulatedStandardControls m_controls;
#if defined(__linux__)
    QByteArray m_path;
    QByteArray m_card;
    VendorDialogDevice m_dialogDevice{};
#endif
};
