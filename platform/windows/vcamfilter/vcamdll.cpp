// The library's COM entry points: the class factory of the virtual camera
// and its registration, as regsvr32 calls them.
#include "dshowheaders.h"
#include "vcamfilter.h"
#include "vcamidentity.h"
#include "vcammodule.h"
#include "vcamregistration.h"

#include <atomic>
#include <new>

namespace {

class VcamClassFactory : public IClassFactory
{
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (!object) {
            return E_POINTER;
        }
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    // One factory lives as long as the library; LockServer keeps it loaded.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** object) override
    {
        if (!object) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer) {
            return CLASS_E_NOAGGREGATION;
        }
        auto* filter = new (std::nothrow) VcamFilter();
        if (!filter) {
            return E_OUTOFMEMORY;
        }
        const HRESULT hr = filter->QueryInterface(riid, object);
        filter->Release();
        return hr;
    }

    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override
    {
        VcamModule::lock(lock != FALSE);
        return S_OK;
    }
};

VcamClassFactory g_factory;

} // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_ATTACH) {
        VcamModule::setHandle(instance);
    }
    return TRUE;
}

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID riid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    *object = nullptr;
    if (clsid != VcamIdentity::kClsid) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    return g_factory.QueryInterface(riid, object);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow()
{
    return VcamModule::canUnload() ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer()
{
    wchar_t path[MAX_PATH * 4] = {};
    const DWORD length = GetModuleFileNameW(VcamModule::handle(), path, DWORD(std::size(path)));
    if (length == 0 || length >= std::size(path)) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    return VcamRegistration::registerServer(path);
}

HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    return VcamRegistration::unregisterServer();
}

} // extern "C"
