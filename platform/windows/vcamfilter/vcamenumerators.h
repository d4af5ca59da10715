#pragma once

#include "dshowheaders.h"
#include "vcammediatypes.h"

#include <atomic>
#include <vector>

// The enumerators the pin and the filter hand out: over the filter's one
// pin, and over the media types the pin offers.
class VcamPinEnumerator final : public IEnumPins
{
public:
    VcamPinEnumerator(IBaseFilter* filter, IPin* pin, ULONG position = 0);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumPins** clone) override;

private:
    ~VcamPinEnumerator();

    std::atomic<ULONG> m_references{1};
    IBaseFilter* m_filter;
    IPin* m_pin;
    ULONG m_position;
};

class VcamMediaTypeEnumerator final : public IEnumMediaTypes
{
public:
    explicit VcamMediaTypeEnumerator(std::vector<VcamMediaTypes::Format> formats,
                                     ULONG position = 0);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override;
    HRESULT STDMETHODCALLTYPE Skip(ULONG count) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** clone) override;

private:
    ~VcamMediaTypeEnumerator();

    std::atomic<ULONG> m_references{1};
    std::vector<VcamMediaTypes::Format> m_formats;
    ULONG m_position;
};
