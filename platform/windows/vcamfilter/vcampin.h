#pragma once

#include "dshowheaders.h"
#include "vcammediatypes.h"

#include <atomic>

class VcamFilter;

// The camera's one output pin: capture category, 640 x 480 at 30 fps in
// RGB24 or YUY2, pushed by a thread of its own while the graph runs. It
// lives inside its filter and counts its references there. The filter's
// lock guards its state; the streaming thread takes it only to look at
// what it sends.
class VcamPin : public IPin, public IAMStreamConfig, public IKsPropertySet
{
public:
    VcamPin(VcamFilter& filter, CRITICAL_SECTION& lock);
    ~VcamPin();
    VcamPin(const VcamPin&) = delete;
    VcamPin& operator=(const VcamPin&) = delete;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IPin
    HRESULT STDMETHODCALLTYPE Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector,
                                                const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE Disconnect() override;
    HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override;
    HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
    HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override;
    HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* id) override;
    HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT STDMETHODCALLTYPE EndOfStream() override;
    HRESULT STDMETHODCALLTYPE BeginFlush() override;
    HRESULT STDMETHODCALLTYPE EndFlush() override;
    HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                         double rate) override;

    // IAMStreamConfig
    HRESULT STDMETHODCALLTYPE SetFormat(AM_MEDIA_TYPE* type) override;
    HRESULT STDMETHODCALLTYPE GetFormat(AM_MEDIA_TYPE** type) override;
    HRESULT STDMETHODCALLTYPE GetNumberOfCapabilities(int* count, int* size) override;
    HRESULT STDMETHODCALLTYPE GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override;

    // IKsPropertySet: the pin category, read-only.
    HRESULT STDMETHODCALLTYPE Set(REFGUID set, DWORD id, void* instance, DWORD instanceBytes,
                                  void* data, DWORD dataBytes) override;
    HRESULT STDMETHODCALLTYPE Get(REFGUID set, DWORD id, void* instance, DWORD instanceBytes,
                                  void* data, DWORD dataBytes, DWORD* returned) override;
    HRESULT STDMETHODCALLTYPE QuerySupported(REFGUID set, DWORD id, DWORD* support) override;

    // The filter's state changes, under the filter's lock.
    HRESULT activate();
    void deactivate();
    void setRunning(bool running);

private:
    HRESULT tryConnection(IPin* receivePin, VcamMediaTypes::Format format);
    HRESULT decideAllocator(IMemInputPin* input, VcamMediaTypes::Format format,
                            IMemAllocator** allocator);
    void releaseConnection();
    // The formats offered now: the one set through IAMStreamConfig, or all.
    int offeredFormats(VcamMediaTypes::Format* formats) const;

    static DWORD WINAPI streamThread(void* pin);
    void stream();
    // Waits until frame is due or the stream stops; false when it stops.
    bool waitForFrame(LONGLONG frame);
    HRESULT deliver(class FrameProducer& producer, LONGLONG frame);

    VcamFilter& m_filter;
    CRITICAL_SECTION& m_lock;
    IPin* m_connected = nullptr;
    IMemInputPin* m_input = nullptr;
    IMemAllocator* m_allocator = nullptr;
    AM_MEDIA_TYPE m_type{};
    VcamMediaTypes::Format m_format = VcamMediaTypes::Format::Rgb24;
    bool m_formatSet = false;

    HANDLE m_thread = nullptr;
    HANDLE m_stop = nullptr;
    HANDLE m_run = nullptr;
    // The counter value at which frame 0 was due; moved on a pause so that
    // the frames go on from where they stopped.
    std::atomic<LONGLONG> m_origin{0};
    LONGLONG m_pausedAt = 0;
    LONGLONG m_lastFrame = -1;
};
