#pragma once

#include "lumora_platform_export.h"

#include <QByteArray>
#include <QList>
#include <QUuid>

// A VideoControl extension unit as the device's configuration descriptor
// announces it.
struct UvcExtensionUnit
{
    int unitId = 0;
    QUuid guid;
};

inline bool operator==(const UvcExtensionUnit& a, const UvcExtensionUnit& b)
{
    return a.unitId == b.unitId && a.guid == b.guid;
}

namespace UvcDescriptors {

// Reads a GUID in the layout USB descriptors store it: the first three
// fields little-endian, the last eight bytes as they come.
LUMORA_PLATFORM_EXPORT QUuid guidFromUsb(const uchar* bytes);
LUMORA_PLATFORM_EXPORT QByteArray guidToUsb(const QUuid& guid);

// The extension units of the VideoControl interfaces in raw USB descriptors
// (the device descriptor followed by the configuration descriptors, as sysfs
// hands them out). interfaceNumber and configurationValue, when not -1,
// restrict the search to that interface of that configuration: a composite
// device numbers the units of each video function on its own. Malformed
// input ends the walk; what was read up to there is kept.
LUMORA_PLATFORM_EXPORT QList<UvcExtensionUnit> extensionUnits(const QByteArray& descriptors,
                                                              int interfaceNumber = -1,
                                                              int configurationValue = -1);

// The optical zoom ratio the camera terminal of that VideoControl interface
// announces (its longest objective focal length over its shortest); 0 when
// the descriptors give none.
LUMORA_PLATFORM_EXPORT double cameraZoomRatio(const QByteArray& descriptors,
                                              int interfaceNumber = -1,
                                              int configurationValue = -1);

} // namespace UvcDescriptors
