#pragma once

#include "dshowheaders.h"
#include "vcampin.h"

#include <atomic>
#include <string>

// The virtual camera, a live source filter with one capture pin. Its
// pictures come from Lumora's shared frame (see FrameProducer).
class VcamFilter final : public IBaseFilter, public IAMFilterMiscFlags
{
public:
    VcamFilter();
    VcamFilter(const VcamFilter&) = delete;
    VcamFilter& operator=(const VcamFilter&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPersist
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;

    // IMediaFilter
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Pause() override;
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override;
    HRESULT STDMETHODCALLTYPE GetState(DWORD timeoutMs, FILTER_STATE* state) override;
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override;
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override;

    // IBaseFilter
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR id, IPin** pin) override;
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override;
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR* info) override;

    // IAMFilterMiscFlags
    ULONG STDMETHODCALLTYPE GetMiscFlags() override;

    FILTER_STATE state() const { return m_state; }
    IPin* pin() { return &m_pin; }

private:
    ~VcamFilter();

    std::atomic<ULONG> m_references{1};
    CRITICAL_SECTION m_lock;
    FILTER_STATE m_state = State_Stopped;
    // The graph holds the filter; the filter does not hold the graph.
    IFilterGraph* m_graph = nullptr;
    IReferenceClock* m_clock = nullptr;
    std::wstring m_name;
    VcamPin m_pin;
};
