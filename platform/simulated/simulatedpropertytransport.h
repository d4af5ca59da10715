#pragma once

#include "lumora_platform_export.h"
#include "propertytransport.h"
#include "simulatedextensionunits.h"
#include "simulatedstandardcontrols.h"
#include "vendordialogdevice.h"

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
    long cameraControlSet(long property, long value, long flags) override;
    long cameraControlGetRange(long property, PropertyRange* range) override;
    long videoProcAmpGet(long property, long* value, long* flags) override;
    long videoProcAmpSet(long property, long value, long flags) override;
    long videoProcAmpGetRange(long property, PropertyRange* range) override;
    VendorDialogDevice* dialogDevice() override;

private:
    bool gone() const;

    std::shared_ptr<SimulatedCamera> m_camera;
    SimulatedExtensionUnits m_units;
    SimulatedStandardControls m_controls;
    QByteArray m_path;
    QByteArray m_card;
    VendorDialogDevice m_dialogDevice{};
};
