#include "controlaccess.h"
#include "vorn_videocapturefilterdialog.h"

#include <QApplication>

#include <cerrno>

// The one export of the library; the program resolves it by name.
extern "C" __attribute__((visibility("default"))) int ShowDlg(void* device)
{
    const auto* handle = static_cast<const VendorDialogDevice*>(device);
    if (!ControlAccess::usable(handle)) {
        return -EINVAL;
    }
    // Widgets need the caller's QApplication.
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
        return -ENOTSUP;
    }
    Vorn_VideoCaptureFilterDialog dialog(*handle);
    dialog.exec();
    return 0;
}
