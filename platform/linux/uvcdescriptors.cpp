#include "uvcdescriptors.h"

namespace {

constexpr uchar kConfigurationType = 0x02;
constexpr uchar kInterfaceType = 0x04;
constexpr uchar kClassInterfaceType = 0x24; // CS_INTERFACE
constexpr uchar kVideoClass = 0x0E;
constexpr uchar kVideoControlSubclass = 0x01;
constexpr uchar kExtensionUnitSubtype = 0x06; // VC_EXTENSION_UNIT
// bLength, bDescriptorType, bDescriptorSubtype, bUnitID, guidExtensionCode.
constexpr int kExtensionUnitGuidOffset = 4;
constexpr int kExtensionUnitMinimumLength = kExtensionUnitGuidOffset + 16;
constexpr uchar kInputTerminalSubtype = 0x02;   // VC_INPUT_TERMINAL
constexpr quint16 kCameraTerminalType = 0x0201; // ITT_CAMERA
// bLength .. iTerminal (8 bytes), wObjectiveFocalLengthMin, -Max,
// wOcularFocalLength, bControlSize.
constexpr int kCameraTerminalMinimumLength = 15;

quint32 little32(const uchar* p)
{
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 little16(const uchar* p)
{
    return quint16(p[0] | p[1] << 8);
}

// Where the walk stands: which configuration and interface the class-specific
// descriptors that follow belong to.
struct WalkState
{
    int configurationValue = -1;
    int interfaceNumber = -1;
    bool inVideoControl = false;
};

void enterDescriptor(const uchar* d, int length, WalkState* state)
{
    if (d[1] == kConfigurationType && length >= 6) {
        state->configurationValue = d[5];
        state->interfaceNumber = -1;
        state->inVideoControl = false;
    } else if (d[1] == kInterfaceType && length >= 7) {
        state->interfaceNumber = d[2];
        state->inVideoControl = d[5] == kVideoClass && d[6] == kVideoControlSubclass;
    }
}

bool wanted(const WalkState& state, int interfaceNumber, int configurationValue)
{
    return state.inVideoControl &&
           (interfaceNumber < 0 || state.interfaceNumber == interfaceNumber) &&
           (configurationValue < 0 || state.configurationValue == configurationValue);
}

// Calls visit(descriptor, length) for each class-specific descriptor of the
// wanted VideoControl interface until it returns false. Malformed input
// ends the walk: a zero or one byte length would never move it on, and a
// length past the end is a truncated descriptor.
template <typename Visit>
void walkVideoControl(const QByteArray& descriptors, int interfaceNumber, int configurationValue,
                      Visit visit)
{
    const uchar* data = reinterpret_cast<const uchar*>(descriptors.constData());
    const int size = descriptors.size();
    WalkState state;
    for (int at = 0; size - at >= 2;) {
        const uchar* d = data + at;
        const int length = d[0];
        if (length < 2 || length > size - at) {
            return;
        }
        enterDescriptor(d, length, &state);
        if (d[1] == kClassInterfaceType && length >= 3 &&
            wanted(state, interfaceNumber, configurationValue) && !visit(d, length)) {
            return;
        }
        at += length;
    }
}

} // namespace

QUuid UvcDescriptors::guidFromUsb(const uchar* b)
{
    return QUuid(little32(b), little16(b + 4), little16(b + 6), b[8], b[9], b[10], b[11], b[12],
                 b[13], b[14], b[15]);
}

QByteArray UvcDescriptors::guidToUsb(const QUuid& guid)
{
    QByteArray bytes(16, '\0');
    uchar* b = reinterpret_cast<uchar*>(bytes.data());
    for (int i = 0; i < 4; ++i) {
        b[i] = uchar(guid.data1 >> (8 * i));
    }
    b[4] = uchar(guid.data2);
    b[5] = uchar(guid.data2 >> 8);
    b[6] = uchar(guid.data3);
    b[7] = uchar(guid.data3 >> 8);
    for (int i = 0; i < 8; ++i) {
        b[8 + i] = guid.data4[i];
    }
    return bytes;
}

QList<UvcExtensionUnit> UvcDescriptors::extensionUnits(const QByteArray& descriptors,
                                                       int interfaceNumber, int configurationValue)
{
    QList<UvcExtensionUnit> units;
    walkVideoControl(
        descriptors, interfaceNumber, configurationValue, [&units](const uchar* d, int length) {
            if (length >= kExtensionUnitMinimumLength && d[2] == kExtensionUnitSubtype) {
                units.append({d[3], guidFromUsb(d + kExtensionUnitGuidOffset)});
            }
            return true;
        });
    return units;
}

double UvcDescriptors::cameraZoomRatio(const QByteArray& descriptors, int interfaceNumber,
                                       int configurationValue)
{
    double ratio = 0.0;
    walkVideoControl(
        descriptors, interfaceNumber, configurationValue, [&ratio](const uchar* d, int length) {
            if (length < kCameraTerminalMinimumLength || d[2] != kInputTerminalSubtype ||
                little16(d + 4) != kCameraTerminalType) {
                return true;
            }
            const quint16 shortest = little16(d + 8);
            const quint16 longest = little16(d + 10);
            // Cameras without optical zoom announce 0 for both.
            if (shortest > 0 && longest > shortest) {
                ratio = double(longest) / shortest;
            }
            return false;
        });
    return ratio;
}
