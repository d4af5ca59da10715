#include "vcamenumerators.h"

#include "vcammodule.h"

#include <new>

namespace {

template <typename Interface> HRESULT queryEnumerator(Interface* self, REFIID riid, void** object)
{
    if (!object) {
        return E_POINTER;
    }
    if (riid == IID_IUnknown || riid == __uuidof(Interface)) {
        *object = self;
        self->AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

} // namespace

VcamPinEnumerator::VcamPinEnumerator(IBaseFilter* filter, IPin* pin, ULONG position)
    : m_filter(filter), m_pin(pin), m_position(position)
{
    m_filter->AddRef();
    VcamModule::objectCreated();
}

VcamPinEnumerator::~VcamPinEnumerator()
{
    m_filter->Release();
    VcamModule::objectDestroyed();
}

HRESULT VcamPinEnumerator::QueryInterface(REFIID riid, void** object)
{
    return queryEnumerator<IEnumPins>(this, riid, object);
}

ULONG VcamPinEnumerator::AddRef()
{
    return ++m_references;
}

ULONG VcamPinEnumerator::Release()
{
    const ULONG left = --m_references;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT VcamPinEnumerator::Next(ULONG count, IPin** pins, ULONG* fetched)
{
    if (!pins || (count > 1 && !fetched)) {
        return E_POINTER;
    }
    ULONG given = 0;
    if (count > 0 && m_position == 0) {
        pins[0] = m_pin;
        m_pin->AddRef();
        given = 1;
        m_position = 1;
    }
    if (fetched) {
        *fetched = given;
    }
    return given == count ? S_OK : S_FALSE;
}

HRESULT VcamPinEnumerator::Skip(ULONG count)
{
    const ULONG target = m_position + count;
    m_position = target > 1 ? 1 : target;
    return target <= 1 ? S_OK : S_FALSE;
}

HRESULT VcamPinEnumerator::Reset()
{
    m_position = 0;
    return S_OK;
}

HRESULT VcamPinEnumerator::Clone(IEnumPins** clone)
{
    if (!clone) {
        return E_POINTER;
    }
    *clone = new (std::nothrow) VcamPinEnumerator(m_filter, m_pin, m_position);
    return *clone ? S_OK : E_OUTOFMEMORY;
}

VcamMediaTypeEnumerator::VcamMediaTypeEnumerator(std::vector<VcamMediaTypes::Format> formats,
                                                 ULONG position)
    : m_formats(std::move(formats)), m_position(position)
{
    VcamModule::objectCreated();
}

VcamMediaTypeEnumerator::~VcamMediaTypeEnumerator()
{
    VcamModule::objectDestroyed();
}

HRESULT VcamMediaTypeEnumerator::QueryInterface(REFIID riid, void** object)
{
    return queryEnumerator<IEnumMediaTypes>(this, riid, object);
}

ULONG VcamMediaTypeEnumerator::AddRef()
{
    return ++m_references;
}

ULONG VcamMediaTypeEnumerator::Release()
{
    const ULONG left = --m_references;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT VcamMediaTypeEnumerator::Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched)
{
    if (!types || (count > 1 && !fetched)) {
        return E_POINTER;
    }
    ULONG given = 0;
    while (given < count && m_position < m_formats.size()) {
        types[given] = VcamMediaTypes::create(m_formats[m_position]);
        if (!types[given]) {
            break;
        }
        ++given;
        ++m_position;
    }
    if (fetched) {
        *fetched = given;
    }
    return given == count ? S_OK : S_FALSE;
}

HRESULT VcamMediaTypeEnumerator::Skip(ULONG count)
{
    const ULONG size = ULONG(m_formats.size());
    const bool whole = count <= size - m_position;
    m_position = whole ? m_position + count : size;
    return whole ? S_OK : S_FALSE;
}

HRESULT VcamMediaTypeEnumerator::Reset()
{
    m_position = 0;
    return S_OK;
}

HRESULT VcamMediaTypeEnumerator::Clone(IEnumMediaTypes** clone)
{
    if (!clone) {
        return E_POINTER;
    }
    *clone = new (std::nothrow) VcamMediaTypeEnumerator(m_formats, m_position);
    return *clone ? S_OK : E_OUTOFMEMORY;
}
