#pragma once

#include "propertytransport.h"
#include "uvcdescriptors.h"
#include "vendordialogdevice.h"

#include <QByteArray>

#include <functional>

// The result of a failed system call: -errno, and never 0, so a call that
// failed without setting errno is still reported as a failure.
LUMORA_PLATFORM_EXPORT long resultFromErrno(int error);

// The flags word of the white-balance property from the value of the
// automatic white-balance control.
LUMORA_PLATFORM_EXPORT long whiteBalanceFlags(int automaticValue);

// One V4L2 node of a UVC camera: extension-unit requests through the
// uvcvideo driver's UVCIOC_CTRL_QUERY, standard properties through V4L2
// controls. Owns the node's file descriptor.
class LUMORA_PLATFORM_EXPORT UvcPropertyTransport final : public PropertyTransport
{
public:
    // One ioctl on the node: 0 or -errno.
    using Ioctl = std::function<int(unsigned long request, void* arg)>;

    // fd is closed by the transport. units are the node's extension units
    // from its descriptors, in their order there. ioctl replaces the system
    // call, for tests.
    //
    // The camera protocol finds an extension unit by asking topology nodes,
    // numbered from 1, whether they answer for a property set. Here node n
    // is the n-th extension unit of the camera, whatever its unit id (1 to
    // 255): the id is what the driver is asked about, the node only where
    // the unit sits among the others. So exactly one node answers for each
    // unit, and a camera with units numbered past the nodes the protocol
    // searches stays reachable.
    UvcPropertyTransport(int fd, const QString& devicePath, const QString& cardName,
                         const QList<UvcExtensionUnit>& units, Ioctl ioctl = Ioctl());
    ~UvcPropertyTransport() override;
    UvcPropertyTransport(const UvcPropertyTransport&) = delete;
    UvcPropertyTransport& operator=(const UvcPropertyTransport&) = delete;

    long nodeProperty(const QUuid& propertySet, unsigned long id, unsigned long flags,
                      unsigned long node, void* data, unsigned long length,
                      unsigned long* bytesReturned) override;
    // The unit's place among the descriptors' units; 0 when they name no
    // unit of the property set (or could not be read).
    unsigned long extensionUnitNode(const QUuid& propertySet) const override;
    // The camera's descriptors give the optical zoom ratio at most; its
    // field of view is left to the caller.
    LensOptics lensOptics() const override { return m_optics; }
    void setLensOptics(const LensOptics& optics) { m_optics = optics; }

    long cameraControlSet(long property, long value, long flags) override;
    long cameraControlGetRange(long property, PropertyRange* range) override;
    long cameraControlGet(long property, long* value) override;

    long videoProcAmpGet(long property, long* value, long* flags) override;
    long videoProcAmpSet(long property, long value, long flags) override;
    long videoProcAmpGetRange(long property, PropertyRange* range) override;

    void* dialogHandle() override;
    VendorDialogDevice* dialogDevice();
    bool deviceGone() const override { return m_gone; }

private:
    long unitQuery(unsigned long unit, unsigned long selector, quint8 query, void* data,
                   unsigned long size);
    const UvcExtensionUnit* unitAtNode(const QUuid& propertySet, unsigned long node) const;
    long getControl(quint32 id, long* value);
    long setControl(quint32 id, long value);
    long queryRange(quint32 id, quint32 automaticId, PropertyRange* range);
    long whiteBalance(long* value, long* flags);
    long setWhiteBalance(long value, long flags);

    int m_fd;
    QByteArray m_devicePath;
    QByteArray m_cardName;
    QList<UvcExtensionUnit> m_units;
    Ioctl m_ioctl;
    VendorDialogDevice m_dialogDevice;
    LensOptics m_optics;
    bool m_gone = false;
};
