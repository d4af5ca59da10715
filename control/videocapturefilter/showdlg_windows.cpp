// The vendor dialog library on Windows: ShowDlg receives the camera's
// DirectShow capture filter and shows the property pages the filter itself
// offers (the driver's camera and picture pages, and a vendor's own),
// returning when the user has closed them.
#include <windows.h>

#include <dshow.h>
#include <olectl.h>

#include "vendordialog.h"

namespace {

// The active window of the calling thread owns the frame, so it stays in
// front of the program while it is open.
HWND ownerWindow()
{
    return GetActiveWindow();
}

} // namespace

extern "C" __declspec(dllexport) int VENDOR_DIALOG_CDECL ShowDlg(void* device)
{
    auto* filter = static_cast<IBaseFilter*>(device);
    if (!filter) {
        return E_POINTER;
    }
    ISpecifyPropertyPages* pages = nullptr;
    HRESULT result =
        filter->QueryInterface(IID_ISpecifyPropertyPages, reinterpret_cast<void**>(&pages));
    if (FAILED(result)) {
        return result;
    }
    CAUUID pageIds = {0, nullptr};
    result = pages->GetPages(&pageIds);
    pages->Release();
    if (FAILED(result)) {
        return result;
    }
    FILTER_INFO info = {};
    filter->QueryFilterInfo(&info);
    IUnknown* objects[] = {filter};
    // Modal: returns when the frame is closed.
    result = OleCreatePropertyFrame(ownerWindow(), 0, 0, info.achName, 1, objects, pageIds.cElems,
                                    pageIds.pElems, 0, 0, nullptr);
    if (info.pGraph) {
        info.pGraph->Release();
    }
    CoTaskMemFree(pageIds.pElems);
    return result;
}
