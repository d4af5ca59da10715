#include "vcamregistration.h"

#include "dshowheaders.h"
#include "vcamidentity.h"

#include <string>

namespace {

std::wstring classKeyPath()
{
    wchar_t clsid[40] = {};
    StringFromGUID2(VcamIdentity::kClsid, clsid, 40);
    return std::wstring(L"CLSID\\") + clsid;
}

HRESULT setString(HKEY root, const std::wstring& path, const wchar_t* name, const wchar_t* value)
{
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status == ERROR_SUCCESS) {
        const DWORD bytes = DWORD((wcslen(value) + 1) * sizeof(wchar_t));
        status = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), bytes);
        RegCloseKey(key);
    }
    return HRESULT_FROM_WIN32(status);
}

HRESULT writeClass(const wchar_t* libraryPath)
{
    const std::wstring classKey = classKeyPath();
    const std::wstring server = classKey + L"\\InprocServer32";
    HRESULT hr = setString(HKEY_CLASSES_ROOT, classKey, nullptr, VcamIdentity::kName);
    if (SUCCEEDED(hr)) {
        hr = setString(HKEY_CLASSES_ROOT, server, nullptr, libraryPath);
    }
    if (SUCCEEDED(hr)) {
        hr = setString(HKEY_CLASSES_ROOT, server, L"ThreadingModel", L"Both");
    }
    return hr;
}

HRESULT removeClass()
{
    const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, classKeyPath().c_str());
    return status == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(status);
}

// COM for the duration of a call from regsvr32 (or any other caller that
// may or may not have it already).
class ComScope
{
public:
    ComScope() : m_result(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope()
    {
        if (SUCCEEDED(m_result)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_result;
};

HRESULT withMapper(HRESULT (*action)(IFilterMapper2*))
{
    const ComScope com;
    IFilterMapper2* mapper = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper2, reinterpret_cast<void**>(&mapper));
    if (SUCCEEDED(hr)) {
        hr = action(mapper);
        mapper->Release();
    }
    return hr;
}

HRESULT addToCategory(IFilterMapper2* mapper)
{
    REGPINTYPES types[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB24},
                           {&MEDIATYPE_Video, &MEDIASUBTYPE_YUY2}};
    REGFILTERPINS2 pin{};
    pin.dwFlags = REG_PINFLAG_B_OUTPUT;
    pin.cInstances = 1;
    pin.nMediaTypes = 2;
    pin.lpMediaType = types;
    pin.clsPinCategory = &PIN_CATEGORY_CAPTURE;
    REGFILTER2 filter{};
    filter.dwVersion = 2;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins2 = 1;
    filter.rgPins2 = &pin;
    // No instance name: the instance key is the class id, which
    // UnregisterFilter finds again.
    return mapper->RegisterFilter(VcamIdentity::kClsid, VcamIdentity::kName, nullptr,
                                  &CLSID_VideoInputDeviceCategory, nullptr, &filter);
}

HRESULT removeFromCategory(IFilterMapper2* mapper)
{
    const HRESULT hr =
        mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, nullptr, VcamIdentity::kClsid);
    // Not registered is what was asked for.
    return hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ? S_OK : hr;
}

} // namespace

namespace VcamRegistration {

HRESULT registerServer(const wchar_t* libraryPath)
{
    HRESULT hr = writeClass(libraryPath);
    if (SUCCEEDED(hr)) {
        hr = withMapper(addToCategory);
    }
    if (FAILED(hr)) {
        // Half a registration would list a camera that cannot be made.
        withMapper(removeFromCategory);
        removeClass();
    }
    return hr;
}

HRESULT unregisterServer()
{
    const HRESULT category = withMapper(removeFromCategory);
    const HRESULT classKeys = removeClass();
    return FAILED(category) ? category : classKeys;
}

} // namespace VcamRegistration
