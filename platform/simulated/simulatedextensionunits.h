#pragma once

#include "lumora_platform_export.h"

#include <QUuid>

class SimulatedCamera;

// The two vendor extension units of the simulated camera, byte for byte as
// the firmware answers them: the main unit (device information, exposure,
// style, colour shifts, flips, factory reset, audio switches) and the zoom
// unit (continuous zoom).
class LUMORA_PLATFORM_EXPORT SimulatedExtensionUnits
{
public:
    static const QUuid MainUnit;
    static const QUuid ZoomUnit;

    explicit SimulatedExtensionUnits(SimulatedCamera& camera);

    // A node-property request: support query, length query or transfer,
    // told apart by the flags. Negative errno on failure, with the caller's
    // buffer untouched.
    long request(const QUuid& propertySet, unsigned long selector, unsigned long flags,
                 unsigned long node, void* data, unsigned long length,
                 unsigned long* bytesReturned);

    // The length of a control as the firmware defines it; 0 when the unit
    // has no such selector.
    static unsigned long controlLength(const QUuid& propertySet, unsigned long selector);

private:
    long get(unsigned long selector, unsigned char* data, unsigned long length);
    long set(unsigned long selector, const unsigned char* data, unsigned long length);

    SimulatedCamera& m_camera;
};
