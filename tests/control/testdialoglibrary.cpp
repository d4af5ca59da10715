// A dialog library for the property suite: its ShowDlg records the handle
// it was given (the suite reads it back through lumoraTestLastHandle) and
// returns at once, as a dialog closed by the user would. Built once more
// without ShowDlg, for the missing-export case.
#if defined(__linux__)
#include "vendordialogdevice.h"
#define TEST_EXPORT __attribute__((visibility("default")))
#else
#define TEST_EXPORT __declspec(dllexport)
#endif

extern "C" {

static void* g_lastHandle = nullptr;
static int g_calls = 0;

TEST_EXPORT void* lumoraTestLastHandle()
{
    return g_lastHandle;
}

TEST_EXPORT int lumoraTestCalls()
{
    return g_calls;
}

#ifndef LUMORA_TEST_NO_SHOWDLG
TEST_EXPORT int ShowDlg(void* device)
{
    g_lastHandle = device;
    ++g_calls;
#if defined(__linux__)
    // Prove the handle is usable: read a control through it.
    auto* d = static_cast<VendorDialogDevice*>(device);
    if (d && d->structSize == sizeof(VendorDialogDevice) && d->getControl) {
        v4l2_control control{};
        control.id = V4L2_CID_CONTRAST;
        d->getControl(d->context, &control);
    }
#endif
    return 0;
}
#endif
}
