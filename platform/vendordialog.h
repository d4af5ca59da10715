#pragma once

// The one export of the vendor dialog library, "ShowDlg": shows the
// device's property dialog, modal, and returns when the user has closed it.
// What it receives is the transport's dialog handle: on Windows the
// device's capture filter (IBaseFilter*), on Linux a VendorDialogDevice
// (vendordialogdevice.h). The C calling convention is spelled out for
// 32-bit Windows, where it is not the only one.

#if defined(_WIN32) && !defined(_WIN64)
#define VENDOR_DIALOG_CDECL __cdecl
#else
#define VENDOR_DIALOG_CDECL
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef int(VENDOR_DIALOG_CDECL* VendorShowDlgFunction)(void* device);

#ifdef __cplusplus
}
#endif
