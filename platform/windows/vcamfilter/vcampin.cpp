#include "vcampin.h"

#include "criticalsectionlock.h"
#include "frameproducer.h"
#include "vcamenumerators.h"
#include "vcamfilter.h"
#include "vcamidentity.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

template <typename T> void releaseAndClear(T*& object)
{
    if (object) {
        object->Release();
        object = nullptr;
    }
}

// The performance counter in 100 ns units, DirectShow's time unit.
LONGLONG nowUnits()
{
    LARGE_INTEGER counter;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    return LONGLONG(counter.QuadPart / frequency.QuadPart * VcamMediaTypes::kUnitsPerSecond +
                    counter.QuadPart % frequency.QuadPart * VcamMediaTypes::kUnitsPerSecond /
                        frequency.QuadPart);
}

} // namespace

VcamPin::VcamPin(VcamFilter& filter, CRITICAL_SECTION& lock) : m_filter(filter), m_lock(lock) {}

VcamPin::~VcamPin()
{
    VcamMediaTypes::clear(m_type);
}

HRESULT VcamPin::QueryInterface(REFIID riid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == IID_IPin) {
        *object = static_cast<IPin*>(this);
    } else if (riid == IID_IAMStreamConfig) {
        *object = static_cast<IAMStreamConfig*>(this);
    } else if (riid == IID_IKsPropertySet) {
        *object = static_cast<IKsPropertySet*>(this);
    } else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG VcamPin::AddRef()
{
    return m_filter.AddRef();
}

ULONG VcamPin::Release()
{
    return m_filter.Release();
}

int VcamPin::offeredFormats(VcamMediaTypes::Format* formats) const
{
    if (m_formatSet) {
        formats[0] = m_format;
        return 1;
    }
    for (int i = 0; i < VcamMediaTypes::kFormatCount; ++i) {
        formats[i] = VcamMediaTypes::formatAt(i);
    }
    return VcamMediaTypes::kFormatCount;
}

HRESULT VcamPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type)
{
    if (!receivePin) {
        return E_POINTER;
    }
    CriticalSectionLock guard(m_lock);
    if (m_connected) {
        return VFW_E_ALREADY_CONNECTED;
    }
    if (m_filter.state() != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    VcamMediaTypes::Format formats[VcamMediaTypes::kFormatCount];
    const int count = offeredFormats(formats);
    for (int i = 0; i < count; ++i) {
        if (type && !VcamMediaTypes::fits(*type, formats[i])) {
            continue;
        }
        if (SUCCEEDED(tryConnection(receivePin, formats[i]))) {
            return S_OK;
        }
    }
    return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT VcamPin::tryConnection(IPin* receivePin, VcamMediaTypes::Format format)
{
    AM_MEDIA_TYPE type{};
    HRESULT hr = VcamMediaTypes::fill(format, &type);
    if (FAILED(hr)) {
        return hr;
    }
    hr = receivePin->ReceiveConnection(this, &type);
    if (FAILED(hr)) {
        VcamMediaTypes::clear(type);
        return hr;
    }
    IMemInputPin* input = nullptr;
    IMemAllocator* allocator = nullptr;
    hr = receivePin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
    if (SUCCEEDED(hr)) {
        hr = decideAllocator(input, format, &allocator);
    }
    if (FAILED(hr)) {
        releaseAndClear(input);
        receivePin->Disconnect();
        VcamMediaTypes::clear(type);
        return hr;
    }
    m_connected = receivePin;
    m_connected->AddRef();
    m_input = input;
    m_allocator = allocator;
    VcamMediaTypes::clear(m_type);
    m_type = type;
    m_format = format;
    return S_OK;
}

HRESULT VcamPin::decideAllocator(IMemInputPin* input, VcamMediaTypes::Format format,
                                 IMemAllocator** allocator)
{
    ALLOCATOR_PROPERTIES wanted{};
    input->GetAllocatorRequirements(&wanted);
    wanted.cBuffers = wanted.cBuffers > 2 ? wanted.cBuffers : 2;
    wanted.cbBuffer = VcamMediaTypes::imageBytes(format);
    wanted.cbAlign = wanted.cbAlign > 0 ? wanted.cbAlign : 1;

    // The downstream pin's own allocator first, else the system's.
    IMemAllocator* candidates[2] = {nullptr, nullptr};
    input->GetAllocator(&candidates[0]);
    CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                     reinterpret_cast<void**>(&candidates[1]));
    HRESULT hr = VFW_E_NO_ALLOCATOR;
    for (IMemAllocator*& candidate : candidates) {
        if (!candidate || *allocator) {
            releaseAndClear(candidate);
            continue;
        }
        ALLOCATOR_PROPERTIES actual{};
        hr = candidate->SetProperties(&wanted, &actual);
        if (SUCCEEDED(hr) && actual.cbBuffer < wanted.cbBuffer) {
            hr = VFW_E_SIZENOTSET;
        }
        if (SUCCEEDED(hr)) {
            hr = input->NotifyAllocator(candidate, FALSE);
        }
        if (SUCCEEDED(hr)) {
            *allocator = candidate;
            candidate = nullptr;
        } else {
            releaseAndClear(candidate);
        }
    }
    return *allocator ? S_OK : hr;
}

HRESULT VcamPin::ReceiveConnection(IPin*, const AM_MEDIA_TYPE*)
{
    // An output pin connects; it is not connected to.
    return E_UNEXPECTED;
}

void VcamPin::releaseConnection()
{
    releaseAndClear(m_allocator);
    releaseAndClear(m_input);
    releaseAndClear(m_connected);
    VcamMediaTypes::clear(m_type);
    std::memset(&m_type, 0, sizeof(m_type));
}

HRESULT VcamPin::Disconnect()
{
    CriticalSectionLock guard(m_lock);
    if (m_filter.state() != State_Stopped) {
        return VFW_E_NOT_STOPPED;
    }
    if (!m_connected) {
        return S_FALSE;
    }
    releaseConnection();
    return S_OK;
}

HRESULT VcamPin::ConnectedTo(IPin** pin)
{
    if (!pin) {
        return E_POINTER;
    }
    CriticalSectionLock guard(m_lock);
    *pin = m_connected;
    if (!m_connected) {
        return VFW_E_NOT_CONNECTED;
    }
    m_connected->AddRef();
    return S_OK;
}

HRESULT VcamPin::ConnectionMediaType(AM_MEDIA_TYPE* type)
{
    if (!type) {
        return E_POINTER;
    }
    CriticalSectionLock guard(m_lock);
    if (!m_connected) {
        std::memset(type, 0, sizeof(*type));
        return VFW_E_NOT_CONNECTED;
    }
    return VcamMediaTypes::copy(m_type, type);
}

HRESULT VcamPin::QueryPinInfo(PIN_INFO* info)
{
    if (!info) {
        return E_POINTER;
    }
    info->pFilter = &m_filter;
    m_filter.AddRef();
    info->dir = PINDIR_OUTPUT;
    wcsncpy(info->achName, VcamIdentity::kPinName, MAX_PIN_NAME);
    info->achName[MAX_PIN_NAME - 1] = L'\0';
    return S_OK;
}

HRESULT VcamPin::QueryDirection(PIN_DIRECTION* direction)
{
    if (!direction) {
        return E_POINTER;
    }
    *direction = PINDIR_OUTPUT;
    return S_OK;
}

HRESULT VcamPin::QueryId(LPWSTR* id)
{
    if (!id) {
        return E_POINTER;
    }
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(VcamIdentity::kPinName)));
    if (!*id) {
        return E_OUTOFMEMORY;
    }
    std::memcpy(*id, VcamIdentity::kPinName, sizeof(VcamIdentity::kPinName));
    return S_OK;
}

HRESULT VcamPin::QueryAccept(const AM_MEDIA_TYPE* type)
{
    VcamMediaTypes::Format format;
    return VcamMediaTypes::match(type, &format) ? S_OK : S_FALSE;
}

HRESULT VcamPin::EnumMediaTypes(IEnumMediaTypes** types)
{
    if (!types) {
        return E_POINTER;
    }
    CriticalSectionLock guard(m_lock);
    VcamMediaTypes::Format formats[VcamMediaTypes::kFormatCount];
    const int count = offeredFormats(formats);
    *types = new (std::nothrow)
        VcamMediaTypeEnumerator(std::vector<VcamMediaTypes::Format>(formats, formats + count));
    return *types ? S_OK : E_OUTOFMEMORY;
}

HRESULT VcamPin::QueryInternalConnections(IPin**, ULONG*)
{
    return E_NOTIMPL;
}

HRESULT VcamPin::EndOfStream()
{
    return E_UNEXPECTED;
}

HRESULT VcamPin::BeginFlush()
{
    return E_UNEXPECTED;
}

HRESULT VcamPin::EndFlush()
{
    return E_UNEXPECTED;
}

HRESULT VcamPin::NewSegment(REFERENCE_TIME, REFERENCE_TIME, double)
{
    return S_OK;
}

HRESULT VcamPin::SetFormat(AM_MEDIA_TYPE* type)
{
    CriticalSectionLock guard(m_lock);
    VcamMediaTypes::Format format = m_format;
    if (type && !VcamMediaTypes::match(type, &format)) {
        return VFW_E_INVALIDMEDIATYPE;
    }
    if (m_connected && (!type || format != m_format)) {
        // Changing the format of a connection would need a reconnection,
        // which the program that connected has to make.
        return VFW_E_ALREADY_CONNECTED;
    }
    // No type: back to offering every format.
    m_formatSet = type != nullptr;
    m_format = format;
    return S_OK;
}

HRESULT VcamPin::GetFormat(AM_MEDIA_TYPE** type)
{
    if (!type) {
        return E_POINTER;
    }
    CriticalSectionLock guard(m_lock);
    *type = VcamMediaTypes::create(m_format);
    return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT VcamPin::GetNumberOfCapabilities(int* count, int* size)
{
    if (!count || !size) {
        return E_POINTER;
    }
    *count = VcamMediaTypes::kFormatCount;
    *size = sizeof(VIDEO_STREAM_CONFIG_CAPS);
    return S_OK;
}

HRESULT VcamPin::GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps)
{
    if (!type || !caps) {
        return E_POINTER;
    }
    if (index < 0 || index >= VcamMediaTypes::kFormatCount) {
        return S_FALSE;
    }
    const VcamMediaTypes::Format format = VcamMediaTypes::formatAt(index);
    *type = VcamMediaTypes::create(format);
    if (!*type) {
        return E_OUTOFMEMORY;
    }
    VcamMediaTypes::fillCaps(format, reinterpret_cast<VIDEO_STREAM_CONFIG_CAPS*>(caps));
    return S_OK;
}

HRESULT VcamPin::Set(REFGUID, DWORD, void*, DWORD, void*, DWORD)
{
    return E_NOTIMPL;
}

HRESULT VcamPin::Get(REFGUID set, DWORD id, void*, DWORD, void* data, DWORD dataBytes,
                     DWORD* returned)
{
    if (set != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (id != AMPROPERTY_PIN_CATEGORY) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (!data && !returned) {
        return E_POINTER;
    }
    if (returned) {
        *returned = sizeof(GUID);
    }
    if (!data) {
        return S_OK;
    }
    if (dataBytes < sizeof(GUID)) {
        return E_UNEXPECTED;
    }
    *static_cast<GUID*>(data) = PIN_CATEGORY_CAPTURE;
    return S_OK;
}

HRESULT VcamPin::QuerySupported(REFGUID set, DWORD id, DWORD* support)
{
    if (set != AMPROPSETID_Pin) {
        return E_PROP_SET_UNSUPPORTED;
    }
    if (id != AMPROPERTY_PIN_CATEGORY) {
        return E_PROP_ID_UNSUPPORTED;
    }
    if (support) {
        *support = KSPROPERTY_SUPPORT_GET;
    }
    return S_OK;
}

HRESULT VcamPin::activate()
{
    if (!m_connected || m_thread) {
        return S_OK;
    }
    HRESULT hr = m_allocator->Commit();
    if (FAILED(hr)) {
        return hr;
    }
    m_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_run = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    m_lastFrame = -1;
    m_pausedAt = nowUnits();
    m_origin = m_pausedAt;
    m_thread = m_stop && m_run ? CreateThread(nullptr, 0, streamThread, this, 0, nullptr) : nullptr;
    if (!m_thread) {
        deactivate();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

void VcamPin::deactivate()
{
    if (m_stop) {
        SetEvent(m_stop);
    }
    // Decommitting wakes a thread waiting for a free buffer.
    if (m_allocator) {
        m_allocator->Decommit();
    }
    if (m_thread) {
        // The thread takes the lock for nothing while it runs: waiting for
        // it here, under the lock, cannot deadlock.
        WaitForSingleObject(m_thread, INFINITE);
        CloseHandle(m_thread);
        m_thread = nullptr;
    }
    for (HANDLE* event : {&m_stop, &m_run}) {
        if (*event) {
            CloseHandle(*event);
            *event = nullptr;
        }
    }
}

void VcamPin::setRunning(bool running)
{
    if (!m_run) {
        return;
    }
    const LONGLONG now = nowUnits();
    if (running && WaitForSingleObject(m_run, 0) != WAIT_OBJECT_0) {
        // Frames go on from where the pause stopped them, without a burst.
        m_origin += now - m_pausedAt;
        SetEvent(m_run);
    } else if (!running) {
        ResetEvent(m_run);
        m_pausedAt = now;
    }
}

DWORD WINAPI VcamPin::streamThread(void* pin)
{
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    static_cast<VcamPin*>(pin)->stream();
    if (SUCCEEDED(com)) {
        CoUninitialize();
    }
    return 0;
}

bool VcamPin::waitForFrame(LONGLONG frame)
{
    for (;;) {
        HANDLE events[] = {m_stop, m_run};
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) {
            return false;
        }
        const LONGLONG due = m_origin + VcamMediaTypes::frameTime(frame);
        const LONGLONG now = nowUnits();
        if (now >= due) {
            return true;
        }
        const DWORD waitMs = DWORD((due - now + 9999) / 10000);
        if (WaitForSingleObject(m_stop, waitMs) == WAIT_OBJECT_0) {
            return false;
        }
    }
}

void VcamPin::stream()
{
    // The producer lives as long as the stream: a stopped camera holds
    // nothing of Lumora's.
    FrameProducer producer;
    for (;;) {
        LONGLONG frame = m_lastFrame + 1;
        // A stream that fell behind (a slow downstream) skips the frames it
        // missed, as a camera does, instead of sending them in a burst;
        // the time stamps show the gap.
        const LONGLONG behind = (nowUnits() - m_origin) / VcamMediaTypes::kFramePeriod;
        if (behind > frame + 1) {
            frame = behind;
        }
        if (!waitForFrame(frame)) {
            return;
        }
        const HRESULT hr = deliver(producer, frame);
        if (hr == VFW_E_NOT_COMMITTED || hr == VFW_E_WRONG_STATE) {
            return;
        }
        m_lastFrame = frame;
    }
}

HRESULT VcamPin::deliver(FrameProducer& producer, LONGLONG frame)
{
    IMediaSample* sample = nullptr;
    HRESULT hr = m_allocator->GetBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) {
        return hr;
    }
    BYTE* data = nullptr;
    const long bytes = VcamMediaTypes::imageBytes(m_format);
    if (SUCCEEDED(sample->GetPointer(&data)) && sample->GetSize() >= bytes) {
        producer.produce(m_format, data);
        REFERENCE_TIME start = VcamMediaTypes::frameTime(frame);
        REFERENCE_TIME stop = VcamMediaTypes::frameTime(frame + 1);
        sample->SetTime(&start, &stop);
        sample->SetActualDataLength(bytes);
        sample->SetSyncPoint(TRUE);
        sample->SetDiscontinuity(m_lastFrame < 0 || frame != m_lastFrame + 1);
        hr = m_input->Receive(sample);
    }
    sample->Release();
    return hr;
}
