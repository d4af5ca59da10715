// A dialog library for the property suite: its ShowDlg records the handle
// it was given (the suite reads it back through lumoraTestLastHandle) and
// returns at once, as a dialog closed by the user would. Built once more
// without ShowDlg, for the missing-export case.
#include "vendordialogdevice.h"

extern "C" {

static void* g_lastHandle = nullptr;
static int g_calls = 0;

__attribute__((visibility("default"))) void* lumoraTestLastHandle()
{
    return g_lastHandle;
}

__attribute__((visibility("default"))) int lumoraTestCalls()
{
    return g_calls;
}

#ifndef LUMORA_TEST_NO_SHOWDLG
__attribute__((visibility("default"))) int ShowDlg(void* device)
{
    g_lastHandle = device;
    ++g_calls;
    // Prove the handle is usable: read a control through it.
    auto* d = static_cast<VendorDialogDevice*>(device);
    if (d && d->structSize == sizeof(VendorDialogDevice) && d->getControl) {
        v4l2_control control{};
        control.id = V4L2_CID_CONTRAST;
        d->getControl(d->context, &control);
    }
    return 0;
}
#endif
}
