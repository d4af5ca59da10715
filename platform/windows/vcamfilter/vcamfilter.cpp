#include "vcamfilter.h"

#include "criticalsectionlock.h"
#include "vcamenumerators.h"
#include "vcamidentity.h"
#include "vcammodule.h"

#include <algorithm>
#include <cwchar>
#include <new>

VcamFilter::VcamFilter() : m_pin(*this, m_lock)
{
    InitializeCriticalSection(&m_lock);
    VcamModule::objectCreated();
}

VcamFilter::~VcamFilter()
{
    Stop();
    if (m_clock) {
        m_clock->Release();
    }
    // The pin goes after this body: it must not find the lock gone first.
    m_pin.Disconnect();
    DeleteCriticalSection(&m_lock);
    VcamModule::objectDestroyed();
}

HRESULT VcamFilter::QueryInterface(REFIID riid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
        riid == IID_IBaseFilter) {
        *object = static_cast<IBaseFilter*>(this);
    } else if (riid == IID_IAMFilterMiscFlags) {
        *object = static_cast<IAMFilterMiscFlags*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG VcamFilter::AddRef()
{
    return ++m_references;
}

ULONG VcamFilter::Release()
{
    const ULONG left = --m_references;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT VcamFilter::GetClassID(CLSID* clsid)
{
    if (!clsid) {
        return E_POINTER;
    }
    *clsid = VcamIdentity::kClsid;
    return S_OK;
}

HRESULT VcamFilter::Stop()
{
    CriticalSectionLock guard(m_lock);
    if (m_state != State_Stopped) {
        m_pin.deactivate();
        m_state = State_Stopped;
    }
    return S_OK;
}

HRESULT VcamFilter::Pause()
{
    CriticalSectionLock guard(m_lock);
    if (m_state == State_Stopped) {
        const HRESULT hr = m_pin.activate();
        if (FAILED(hr)) {
            return hr;
        }
    }
    m_pin.setRunning(false);
    m_state = State_Paused;
    return S_OK;
}

HRESULT VcamFilter::Run(REFERENCE_TIME)
{
    CriticalSectionLock guard(m_lock);
    if (m_state == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr)) {
            return hr;
        }
    }
    m_pin.setRunning(true);
    m_state = State_Running;
    return S_OK;
}

HRESULT VcamFilter::GetState(DWORD, FILTER_STATE* state)
{
    if (!state) {
        return E_POINTER;
    }
    CriticalSectionLock guard(m_lock);
    *state = m_state;
    // A live source has nothing to show while paused.
    return m_state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

HRESULT VcamFilter::SetSyncSource(IReferenceClock* clock)
{
    CriticalSectionLock guard(m_lock);
    if (clock) {
        clock->AddRef();
    }
    if (m_clock) {
        m_clock->Release();
    }
    m_clock = clock;
    return S_OK;
}

HRESULT VcamFilter::GetSyncSource(IReferenceClock** clock)
{
    if (!clock) {
        return E_POINTER;
    }
    CriticalSectionLock guard(m_lock);
    *clock = m_clock;
    if (m_clock) {
        m_clock->AddRef();
    }
    return S_OK;
}

HRESULT VcamFilter::EnumPins(IEnumPins** pins)
{
    if (!pins) {
        return E_POINTER;
    }
    *pins = new (std::nothrow) VcamPinEnumerator(this, &m_pin);
    return *pins ? S_OK : E_OUTOFMEMORY;
}

HRESULT VcamFilter::FindPin(LPCWSTR id, IPin** pin)
{
    if (!id || !pin) {
        return E_POINTER;
    }
    if (std::wcscmp(id, VcamIdentity::kPinName) != 0) {
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    *pin = &m_pin;
    m_pin.AddRef();
    return S_OK;
}

HRESULT VcamFilter::QueryFilterInfo(FILTER_INFO* info)
{
    if (!info) {
        return E_POINTER;
    }
    CriticalSectionLock guard(m_lock);
    const size_t length = std::min(m_name.size(), size_t(MAX_FILTER_NAME - 1));
    m_name.copy(info->achName, length);
    info->achName[length] = L'\0';
    info->pGraph = m_graph;
    if (m_graph) {
        m_graph->AddRef();
    }
    return S_OK;
}

HRESULT VcamFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name)
{
    CriticalSectionLock guard(m_lock);
    m_graph = graph;
    m_name = name ? name : L"";
    return S_OK;
}

HRESULT VcamFilter::QueryVendorInfo(LPWSTR*)
{
    return E_NOTIMPL;
}

ULONG VcamFilter::GetMiscFlags()
{
    return AM_FILTER_MISC_FLAGS_IS_SOURCE;
}
