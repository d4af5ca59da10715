#pragma once

#include "lumora_platform_export.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <memory>

// Kernel-streaming style flag words carried by node-property requests.
namespace PropertyFlags {
constexpr unsigned long Get = 0x00000001;
constexpr unsigned long Set = 0x00000002;
constexpr unsigned long SetSupport = 0x00000100;
constexpr unsigned long Topology = 0x10000000;
} // namespace PropertyFlags

// Standard property numbers, as the camera-control and picture-property
// interfaces number them.
namespace CameraControlProperty {
constexpr long Pan = 0;
constexpr long Tilt = 1;
constexpr long Zoom = 3;
constexpr long PanRelative = 10;
constexpr long TiltRelative = 11;
} // namespace CameraControlProperty

namespace VideoProcAmpProperty {
constexpr long Contrast = 1;
constexpr long WhiteBalance = 7;
} // namespace VideoProcAmpProperty

// Flags words of the standard properties.
namespace ControlFlags {
constexpr long Auto = 1;
constexpr long Manual = 2;
} // namespace ControlFlags

// The range of a standard property.
struct PropertyRange
{
    long minimum = 0;
    long maximum = 0;
    long step = 0;
    long defaultValue = 0;
    long capsFlags = 0;
};

// What a camera tells of its lens. Zero where it tells nothing: the caller
// then assumes what is common.
struct LensOptics
{
    // The widest view across and down, in the camera's own pan and tilt units.
    double widePanView = 0;
    double wideTiltView = 0;
    // Magnification at the longest zoom against the widest.
    double maxZoomFactor = 0;
};

// One bound capture device: the requests the camera protocol is made of.
// Results are 32-bit result codes: 0 or positive success, negative failure
// (on Linux -errno). Nothing throws. Calls come from one thread at a time:
// the camera's control worker, or the thread that opened it.
class LUMORA_PLATFORM_EXPORT PropertyTransport
{
public:
    virtual ~PropertyTransport();

    // A node-property request on an extension unit. data may be null with
    // length 0 (support and length queries); bytesReturned receives the
    // count of bytes the device returned or, for a length query, the
    // control's length.
    virtual long nodeProperty(const QUuid& propertySet, unsigned long id, unsigned long flags,
                              unsigned long node, void* data, unsigned long length,
                              unsigned long* bytesReturned) = 0;
    // The node of the property set's extension unit when the transport
    // knows it without asking the device; 0 makes the caller search the
    // nodes, as the camera protocol does.
    virtual unsigned long extensionUnitNode(const QUuid& propertySet) const;
    // What the device reports of its lens; nothing by default.
    virtual LensOptics lensOptics() const;
    // True once a request found the device gone (unplugged): a camera
    // plugged in again, even at the same node, needs a binding of its own.
    virtual bool deviceGone() const;

    // Camera control (pan, tilt, zoom and their relative forms).
    virtual long cameraControlSet(long property, long value, long flags) = 0;
    virtual long cameraControlGet(long property, long* value) = 0;
    virtual long cameraControlGetRange(long property, PropertyRange* range) = 0;

    // Picture properties (contrast, white balance).
    virtual long videoProcAmpGet(long property, long* value, long* flags) = 0;
    virtual long videoProcAmpSet(long property, long value, long flags) = 0;
    virtual long videoProcAmpGetRange(long property, PropertyRange* range) = 0;

    // What the vendor dialog library's ShowDlg receives for this device
    // (vendordialog.h). Owned by the transport and valid while it lives; null
    // when the device has nothing a dialog could use.
    virtual void* dialogHandle() = 0;
};

// A capture device as the property side enumerates it.
struct PropertyDeviceEntry
{
    QString friendlyName;
    QString devicePath;
    // False when the device's path could not be read; such a device is
    // logged and skipped by the search.
    bool pathReadable = true;
};

// Enumerates capture devices and binds one of them. The process-wide
// instance is the simulated one when LUMORA_SIMULATED_CAMERAS asks for
// simulated cameras (the same rule as the device catalog), else the
// system's own.
class LUMORA_PLATFORM_EXPORT PropertyDevices
{
public:
    virtual ~PropertyDevices();

    // Negative result when the system's device enumeration fails; an empty
    // list with result 0 when there are no video devices.
    virtual long enumerate(QList<PropertyDeviceEntry>* devices) = 0;
    // Binds the device at devicePath; null with *result negative on failure.
    virtual std::unique_ptr<PropertyTransport> bind(const QString& devicePath, long* result) = 0;
    // What tells this camera from any other, wherever it is plugged in: its
    // USB serial number when it has one, else its vendor and product ids
    // with the USB port it sits in. Empty when the system does not say.
    virtual QString identity(const QString& devicePath);

    static PropertyDevices& instance();
    // Replaces the process-wide instance (not owned; null restores the
    // default). For tests.
    static void setInstance(PropertyDevices* devices);
};
