#include "dshowpropertytransport.h"

#include <cstring>

const IID kIidKsControl = {
    0x28f54685, 0x06fd, 0x11d2, {0xb2, 0x7a, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};

namespace {

// The frame of a node-property request is the published KSP_NODE layout.
static_assert(sizeof(KSP_NODE) == 32, "KSP_NODE is 32 bytes");

GUID toGuid(const QUuid& uuid)
{
    GUID guid;
    guid.Data1 = uuid.data1;
    guid.Data2 = uuid.data2;
    guid.Data3 = uuid.data3;
    std::memcpy(guid.Data4, uuid.data4, sizeof guid.Data4);
    return guid;
}

// IAMCameraControl and IAMVideoProcAmp share their method shapes.
template <typename Interface> long rangeOf(Interface* control, long property, PropertyRange* range)
{
    if (!control) {
        return E_NOINTERFACE;
    }
    long minimum = 0, maximum = 0, step = 0, defaultValue = 0, caps = 0;
    const HRESULT result =
        control->GetRange(property, &minimum, &maximum, &step, &defaultValue, &caps);
    if (SUCCEEDED(result) && range) {
        range->minimum = minimum;
        range->maximum = maximum;
        range->step = step;
        range->defaultValue = defaultValue;
        range->capsFlags = caps;
    }
    return result;
}

template <typename Interface>
long valueOf(Interface* control, long property, long* value, long* flags)
{
    if (!control) {
        return E_NOINTERFACE;
    }
    long v = 0, f = 0;
    const HRESULT result = control->Get(property, &v, &f);
    if (SUCCEEDED(result)) {
        if (value) {
            *value = v;
        }
        if (flags) {
            *flags = f;
        }
    }
    return result;
}

} // namespace

DshowPropertyTransport::DshowPropertyTransport(ComPtr<IBaseFilter> deviceFilter,
                                               ComPtr<IBaseFilter> sourceFilter)
    : m_deviceFilter(std::move(deviceFilter)), m_sourceFilter(std::move(sourceFilter))
{
    if (m_deviceFilter) {
        m_deviceFilter->QueryInterface(IID_IAMCameraControl, m_cameraControl.outVoid());
        m_deviceFilter->QueryInterface(IID_IAMVideoProcAmp, m_videoProcAmp.outVoid());
    }
    if (m_sourceFilter) {
        m_sourceFilter->QueryInterface(kIidKsControl, m_ksControl.outVoid());
    }
}

long DshowPropertyTransport::nodeProperty(const QUuid& propertySet, unsigned long id,
                                          unsigned long flags, unsigned long node, void* data,
                                          unsigned long length, unsigned long* bytesReturned)
{
    if (!m_ksControl) {
        return E_NOINTERFACE;
    }
    KSP_NODE frame;
    std::memset(&frame, 0, sizeof frame);
    frame.Property.Set = toGuid(propertySet);
    frame.Property.Id = ULONG(id);
    frame.Property.Flags = ULONG(flags);
    frame.NodeId = ULONG(node);
    frame.Reserved = 0;
    ULONG returned = 0;
    const HRESULT result =
        m_ksControl->KsProperty(&frame.Property, sizeof frame, data, ULONG(length), &returned);
    if (bytesReturned) {
        *bytesReturned = returned;
    }
    return result;
}

long DshowPropertyTransport::cameraControlSet(long property, long value, long flags)
{
    return m_cameraControl ? m_cameraControl->Set(property, value, flags) : E_NOINTERFACE;
}

long DshowPropertyTransport::cameraControlGet(long property, long* value)
{
    long flags = 0;
    return m_cameraControl && value ? m_cameraControl->Get(property, value, &flags) : E_NOINTERFACE;
}

long DshowPropertyTransport::cameraControlGetRange(long property, PropertyRange* range)
{
    return rangeOf(m_cameraControl.get(), property, range);
}

long DshowPropertyTransport::videoProcAmpGet(long property, long* value, long* flags)
{
    return valueOf(m_videoProcAmp.get(), property, value, flags);
}

long DshowPropertyTransport::videoProcAmpSet(long property, long value, long flags)
{
    return m_videoProcAmp ? m_videoProcAmp->Set(property, value, flags) : E_NOINTERFACE;
}

long DshowPropertyTransport::videoProcAmpGetRange(long property, PropertyRange* range)
{
    return rangeOf(m_videoProcAmp.get(), property, range);
}

void* DshowPropertyTransport::dialogHandle()
{
    return m_deviceFilter.get();
}
