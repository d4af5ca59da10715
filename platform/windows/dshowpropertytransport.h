#pragma once

#include "comptr.h"
#include "propertytransport.h"

#include "dshowheaders.h"

// One bound DirectShow capture device: extension-unit requests through
// IKsControl on a second binding of its capture filter, the standard
// properties through IAMCameraControl and IAMVideoProcAmp of the first.
// Results are the HRESULTs of those calls. Lives on the thread that bound
// it (COM objects of the GUI thread's apartment).
class LUMORA_PLATFORM_EXPORT DshowPropertyTransport final : public PropertyTransport
{
public:
    // deviceFilter: the filter as the search found it; sourceFilter: the
    // same device bound again. Either interface may be missing.
    DshowPropertyTransport(ComPtr<IBaseFilter> deviceFilter, ComPtr<IBaseFilter> sourceFilter);

    long nodeProperty(const QUuid& propertySet, unsigned long id, unsigned long flags,
                      unsigned long node, void* data, unsigned long length,
                      unsigned long* bytesReturned) override;

    long cameraControlSet(long property, long value, long flags) override;
    long cameraControlGetRange(long property, PropertyRange* range) override;
    long cameraControlGet(long property, long* value) override;

    long videoProcAmpGet(long property, long* value, long* flags) override;
    long videoProcAmpSet(long property, long value, long flags) override;
    long videoProcAmpGetRange(long property, PropertyRange* range) override;

    // The device's capture filter (IBaseFilter*), whose property pages the
    // vendor dialog shows.
    void* dialogHandle() override;

private:
    ComPtr<IBaseFilter> m_deviceFilter;
    ComPtr<IBaseFilter> m_sourceFilter;
    ComPtr<IAMCameraControl> m_cameraControl;
    ComPtr<IAMVideoProcAmp> m_videoProcAmp;
    ComPtr<IKsControl> m_ksControl;
};

// IKsControl's interface id (ksproxy.h declares it without defining it).
extern const IID kIidKsControl;
