#pragma once

#include "vendordialogdevice.h"

// The device's controls as the dialog reaches them: through the V4L2 node
// when the handle has one, else through the handle's callbacks. Every call
// returns 0 or a negative errno.
class ControlAccess
{
public:
    explicit ControlAccess(const VendorDialogDevice& device);

    // A handle the dialog can work with: the right size and version, and
    // either a node or the callbacks it needs (queryMenu may be missing: menus
    // then show their numbers).
    static bool usable(const VendorDialogDevice* device);

    int queryExtControl(v4l2_query_ext_ctrl* query) const;
    int queryMenu(v4l2_querymenu* item) const;
    int getControl(v4l2_control* control) const;
    int setControl(v4l2_control* control) const;

private:
    int nodeIoctl(unsigned long request, void* arg) const;

    const VendorDialogDevice& m_device;
};
