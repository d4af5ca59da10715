// The raw USB descriptors of a camera as sysfs hands them out. The first two
// bytes pick the interface and configuration searched (0xff: any).
#include "fuzzexpect.h"
#include "uvcdescriptors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    const int interfaceNumber = data[0] == 0xff ? -1 : data[0];
    const int configurationValue = data[1] == 0xff ? -1 : data[1];
    const QByteArray descriptors(reinterpret_cast<const char*>(data + 2), int(size - 2));
    const QList<UvcExtensionUnit> all = UvcDescriptors::extensionUnits(descriptors);
    const QList<UvcExtensionUnit> some =
        UvcDescriptors::extensionUnits(descriptors, interfaceNumber, configurationValue);
    FUZZ_EXPECT(some.size() <= all.size());
    const double zoom =
        UvcDescriptors::cameraZoomRatio(descriptors, interfaceNumber, configurationValue);
    FUZZ_EXPECT(zoom == 0.0 || (zoom > 1.0 && zoom <= 65535.0));
    for (const UvcExtensionUnit& unit : some) {
        FUZZ_EXPECT(all.contains(unit));
        const QByteArray usb = UvcDescriptors::guidToUsb(unit.guid);
        FUZZ_EXPECT(UvcDescriptors::guidFromUsb(reinterpret_cast<const uchar*>(usb.constData())) ==
                    unit.guid);
    }
    return 0;
}
