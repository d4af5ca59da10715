#include "coreaudioendpoints.h"

#include "comptr.h"

#include <windows.h>

// Defines the property keys and interface ids used here in this file
// (selectany), so that no extra import library is needed for them.
#include <initguid.h>

#include <endpointvolume.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>

#include <algorithm>

namespace {

EDataFlow dataFlow(AudioEndpoints::Flow flow)
{
    return flow == AudioEndpoints::Flow::Render ? eRender : eCapture;
}

bool createEnumerator(ComPtr<IMMDeviceEnumerator>* enumerator)
{
    // The result is not looked at: a thread already in another apartment
    // still reaches the endpoints.
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    return SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                      __uuidof(IMMDeviceEnumerator), enumerator->outVoid()));
}

bool friendlyName(IMMDevice* device, QString* name)
{
    ComPtr<IPropertyStore> store;
    if (FAILED(device->OpenPropertyStore(STGM_READ, store.out()))) {
        return false;
    }
    PROPVARIANT value;
    PropVariantInit(&value);
    const bool ok = SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) &&
                    value.vt == VT_LPWSTR && value.pwszVal;
    if (ok) {
        *name = QString::fromWCharArray(value.pwszVal);
    }
    PropVariantClear(&value);
    return ok;
}

bool endpointVolume(const QString& id, ComPtr<IAudioEndpointVolume>* volume)
{
    ComPtr<IMMDeviceEnumerator> enumerator;
    if (!createEnumerator(&enumerator)) {
        return false;
    }
    ComPtr<IMMDevice> device;
    const std::wstring wideId = id.toStdWString();
    if (FAILED(enumerator->GetDevice(wideId.c_str(), device.out()))) {
        return false;
    }
    return SUCCEEDED(
        device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr, volume->outVoid()));
}

} // namespace

AudioEndpoints::Status CoreAudioEndpoints::activeEndpoints(Flow flow,
                                                           QList<AudioEndpointInfo>* endpoints)
{
    endpoints->clear();
    ComPtr<IMMDeviceEnumerator> enumerator;
    if (!createEnumerator(&enumerator)) {
        return Status::Unavailable;
    }
    ComPtr<IMMDeviceCollection> collection;
    if (FAILED(enumerator->EnumAudioEndpoints(dataFlow(flow), DEVICE_STATE_ACTIVE,
                                              collection.out()))) {
        return Status::EnumerationFailed;
    }
    UINT count = 0;
    if (FAILED(collection->GetCount(&count))) {
        return Status::CountFailed;
    }
    for (UINT i = 0; i < count; ++i) {
        ComPtr<IMMDevice> device;
        if (FAILED(collection->Item(i, device.out()))) {
            continue;
        }
        LPWSTR id = nullptr;
        if (FAILED(device->GetId(&id)) || !id) {
            continue;
        }
        AudioEndpointInfo info;
        info.id = QString::fromWCharArray(id);
        CoTaskMemFree(id);
        // A device without a name or a volume interface is skipped.
        if (!friendlyName(device.get(), &info.friendlyName)) {
            continue;
        }
        ComPtr<IAudioEndpointVolume> volume;
        if (FAILED(device->Activate(__uuidof(IAudioEndpointVolume), CLSCTX_ALL, nullptr,
                                    volume.outVoid()))) {
            continue;
        }
        UINT channels = 0;
        if (FAILED(volume->GetChannelCount(&channels))) {
            continue;
        }
        info.channelCount = int(channels);
        endpoints->append(info);
    }
    return Status::Ok;
}

bool CoreAudioEndpoints::masterVolume(Flow, const QString& id, float* scalar)
{
    ComPtr<IAudioEndpointVolume> volume;
    if (!endpointVolume(id, &volume)) {
        return false;
    }
    float level = 0.0f;
    if (FAILED(volume->GetMasterVolumeLevelScalar(&level))) {
        return false;
    }
    *scalar = level;
    return true;
}

bool CoreAudioEndpoints::setMasterVolume(Flow, const QString& id, float scalar)
{
    ComPtr<IAudioEndpointVolume> volume;
    if (!endpointVolume(id, &volume)) {
        return false;
    }
    // Core Audio rejects a scalar outside 0.0 to 1.0 (and NaN compares false
    // to both bounds, so it ends at 0.0).
    const float bounded = scalar >= 0.0f ? std::min(scalar, 1.0f) : 0.0f;
    return SUCCEEDED(volume->SetMasterVolumeLevelScalar(bounded, nullptr));
}

const char* CoreAudioEndpoints::failureLine(Status status) const
{
    switch (status) {
    case Status::Unavailable:
        return "CoCreateInstance Failed!/n";
    case Status::EnumerationFailed:
        return "EnumAudioEndpoints Failed!/n";
    case Status::CountFailed:
        return "GetCount Failed!/n";
    default:
        return nullptr;
    }
}
