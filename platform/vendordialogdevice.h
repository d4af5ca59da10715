#pragma once

// Linux only. The handle the vendor dialog library's ShowDlg(void*) receives on Linux:
// a pointer to this C structure, owned by the program and valid for the
// whole call. The library reaches every standard control of the device
// through it, either directly through the V4L2 node (fd >= 0) or, when the
// device has no node (the simulated camera), through the callbacks, which
// take and fill the same V4L2 structures as the ioctls of the same names.

#include "vendordialog.h"

#include <linux/videodev2.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define VENDOR_DIALOG_DEVICE_VERSION 1u

struct VendorDialogDevice
{
    uint32_t structSize;    // sizeof(struct VendorDialogDevice)
    uint32_t version;       // VENDOR_DIALOG_DEVICE_VERSION
    int fd;                 // open V4L2 node of the device, or -1
    const char* devicePath; // "/dev/videoN", or the simulated device name (UTF-8)
    const char* cardName;   // the device's description (UTF-8)

    // Used when fd is -1. Each returns 0 or a negative errno.
    void* context;
    int (*queryExtControl)(void* context, struct v4l2_query_ext_ctrl* query);
    int (*queryMenu)(void* context, struct v4l2_querymenu* item);
    int (*getControl)(void* context, struct v4l2_control* control);
    int (*setControl)(void* context, struct v4l2_control* control);
};

#ifdef __cplusplus
}
#endif
