// A DirectShow program using the virtual camera as meeting programs do, for
// both bitnesses, without Qt (tst_vcamfilter drives it). "list": exit 0 when
// "Vorn DShow VCamera" is listed, else 3. "run RGB24|YUY2": finds it, checks
// the capture category, sets the format, runs a graph with a sink of its own
// and prints "frame <start> <stop> <bytes> <FNV-1a 64, hex>" for each frame
// until a line or the end of standard input.
#include "dshowheaders.h"
#include "vcamenumerators.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <cwchar>

namespace {

const wchar_t kCamera[] = L"Vorn DShow VCamera";

template <typename T> void release(T*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

IBaseFilter* findCamera()
{
    ICreateDevEnum* devices = nullptr;
    IEnumMoniker* monikers = nullptr;
    IBaseFilter* camera = nullptr;
    CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                     reinterpret_cast<void**>(&devices));
    if (!devices ||
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &monikers, 0) != S_OK) {
        release(devices);
        return nullptr;
    }
    IMoniker* moniker = nullptr;
    while (!camera && monikers->Next(1, &moniker, nullptr) == S_OK) {
        IPropertyBag* bag = nullptr;
        VARIANT name;
        VariantInit(&name);
        if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag,
                                             reinterpret_cast<void**>(&bag))) &&
            SUCCEEDED(bag->Read(L"FriendlyName", &name, nullptr)) &&
            std::wcscmp(name.bstrVal, kCamera) == 0) {
            moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                  reinterpret_cast<void**>(&camera));
        }
        VariantClear(&name);
        release(bag);
        release(moniker);
    }
    release(monikers);
    release(devices);
    return camera;
}

// The sink: one input pin that takes any video and prints every sample.
class Sink : public IBaseFilter, public IPin, public IMemInputPin
{
public:
    // IUnknown, shared by the filter and its pin (one object).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override
    {
        if (riid == IID_IUnknown || riid == IID_IBaseFilter || riid == IID_IMediaFilter ||
            riid == IID_IPersist) {
            *object = static_cast<IBaseFilter*>(this);
        } else if (riid == IID_IPin) {
            *object = static_cast<IPin*>(this);
        } else if (riid == IID_IMemInputPin) {
            *object = static_cast<IMemInputPin*>(this);
        } else {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&m_references); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG left = InterlockedDecrement(&m_references);
        if (left == 0) {
            delete this;
        }
        return ULONG(left);
    }

    // IBaseFilter
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Stop() override { return setState(State_Stopped); }
    HRESULT STDMETHODCALLTYPE Pause() override { return setState(State_Paused); }
    HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return setState(State_Running); }
    HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override
    {
        *state = m_state;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override
    {
        *clock = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** pins) override;
    HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin** pin) override
    {
        return QueryInterface(IID_IPin, reinterpret_cast<void**>(pin));
    }
    HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO* info) override
    {
        std::memset(info, 0, sizeof(*info));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin*, const AM_MEDIA_TYPE*) override { return E_UNEXPECTED; }
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* from, const AM_MEDIA_TYPE* type) override
    {
        if (m_from) {
            return VFW_E_ALREADY_CONNECTED;
        }
        if (type->majortype != MEDIATYPE_Video) {
            return VFW_E_TYPE_NOT_ACCEPTED;
        }
        m_from = from;
        m_from->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Disconnect() override
    {
        release(m_from);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override
    {
        *pin = m_from;
        if (!m_from) {
            return VFW_E_NOT_CONNECTED;
        }
        m_from->AddRef();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override
    {
        std::memset(info, 0, sizeof(*info));
        info->pFilter = this;
        AddRef();
        info->dir = PINDIR_INPUT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override
    {
        *direction = PINDIR_INPUT;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override
    {
        return S_OK;
    }

    // IMemInputPin: the camera brings its own allocator.
    HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator**) override { return VFW_E_NO_ALLOCATOR; }
    HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator*, BOOL) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Receive(IMediaSample* sample) override
    {
        if (m_state == State_Stopped) {
            return VFW_E_WRONG_STATE;
        }
        BYTE* data = nullptr;
        REFERENCE_TIME start = -1, stop = -1;
        sample->GetPointer(&data);
        sample->GetTime(&start, &stop);
        const long bytes = sample->GetActualDataLength();
        std::uint64_t hash = 0xcbf29ce484222325ull;
        for (long i = 0; i < bytes; ++i) {
            hash = (hash ^ data[i]) * 0x100000001b3ull;
        }
        std::printf("frame %" PRId64 " %" PRId64 " %ld %016" PRIx64 "\n", std::int64_t(start),
                    std::int64_t(stop), bytes, hash);
        std::fflush(stdout);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample**, long, long*) override
    {
        return E_NOTIMPL; // the camera sends one sample at a time
    }
    HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override { return S_FALSE; }

private:
    virtual ~Sink() = default;
    HRESULT setState(FILTER_STATE state)
    {
        m_state = state;
        return S_OK;
    }

    LONG m_references = 1;
    volatile FILTER_STATE m_state = State_Stopped;
    IPin* m_from = nullptr;
};

// The filter's own enumerator serves any filter of one pin.
HRESULT Sink::EnumPins(IEnumPins** pins)
{
    *pins = new VcamPinEnumerator(this, static_cast<IPin*>(this));
    return S_OK;
}

IPin* outputPin(IBaseFilter* filter)
{
    IEnumPins* pins = nullptr;
    IPin* pin = nullptr;
    if (SUCCEEDED(filter->EnumPins(&pins))) {
        pins->Next(1, &pin, nullptr);
        pins->Release();
    }
    return pin;
}

bool captureCategory(IPin* pin)
{
    IKsPropertySet* properties = nullptr;
    GUID category = GUID_NULL;
    DWORD returned = 0;
    if (SUCCEEDED(pin->QueryInterface(IID_IKsPropertySet, reinterpret_cast<void**>(&properties)))) {
        properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category,
                        sizeof(category), &returned);
        properties->Release();
    }
    return returned == sizeof(GUID) && category == PIN_CATEGORY_CAPTURE;
}

// Picks the stream capability of the subtype and sets it as the format.
bool chooseFormat(IPin* pin, const GUID& subtype)
{
    IAMStreamConfig* config = nullptr;
    if (FAILED(pin->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(&config)))) {
        return false;
    }
    int count = 0, size = 0;
    bool chosen = false;
    config->GetNumberOfCapabilities(&count, &size);
    for (int i = 0; i < count && !chosen && size == sizeof(VIDEO_STREAM_CONFIG_CAPS); ++i) {
        AM_MEDIA_TYPE* type = nullptr;
        VIDEO_STREAM_CONFIG_CAPS caps;
        if (config->GetStreamCaps(i, &type, reinterpret_cast<BYTE*>(&caps)) != S_OK) {
            continue;
        }
        chosen = type->subtype == subtype && caps.MinFrameInterval == 333333 &&
                 SUCCEEDED(config->SetFormat(type));
        CoTaskMemFree(type->pbFormat);
        CoTaskMemFree(type);
    }
    config->Release();
    return chosen;
}

int run(const GUID& subtype)
{
    IBaseFilter* camera = findCamera();
    IGraphBuilder* graph = nullptr;
    IMediaControl* control = nullptr;
    auto* sink = new Sink();
    IPin* out = camera ? outputPin(camera) : nullptr;
    int status = 1;
    if (!out) {
        std::fprintf(stderr, "no camera or no pin\n");
    } else if (!captureCategory(out)) {
        std::fprintf(stderr, "the pin is not of the capture category\n");
    } else if (!chooseFormat(out, subtype)) {
        std::fprintf(stderr, "the format cannot be set\n");
    } else if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                       IID_IGraphBuilder, reinterpret_cast<void**>(&graph))) ||
               FAILED(graph->AddFilter(camera, L"camera")) ||
               FAILED(graph->AddFilter(sink, L"sink")) ||
               FAILED(graph->ConnectDirect(out, sink, nullptr)) ||
               FAILED(
                   graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control))) ||
               FAILED(control->Run())) {
        std::fprintf(stderr, "the graph cannot be built or run\n");
    } else {
        std::getchar();
        control->Stop();
        status = 0;
    }
    release(control);
    release(out);
    release(graph);
    release(camera);
    sink->Release();
    return status;
}

} // namespace

int main(int argc, char** argv)
{
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    int status = 64;
    if (argc == 2 && std::strcmp(argv[1], "list") == 0) {
        IBaseFilter* camera = findCamera();
        status = camera ? 0 : 3;
        release(camera);
    } else if (argc == 3 && std::strcmp(argv[1], "run") == 0) {
        status = run(std::strcmp(argv[2], "YUY2") == 0 ? MEDIASUBTYPE_YUY2 : MEDIASUBTYPE_RGB24);
    }
    CoUninitialize();
    return status;
}
