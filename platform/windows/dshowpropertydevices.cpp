#include "dshowpropertydevices.h"

#include "comptr.h"
#include "dshowpropertytransport.h"

#include "dshowheaders.h"

#include <QStringList>

#include <functional>

namespace {

// COM stays initialised for the thread from its first use on: the bound
// interfaces live as long as the camera is open. A thread that is already
// in another apartment (RPC_E_CHANGED_MODE) reaches the devices all the same.
void initialiseCom()
{
    thread_local const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    (void)result;
}

bool readText(IPropertyBag* bag, const wchar_t* name, QString* text)
{
    VARIANT value;
    VariantInit(&value);
    const bool ok = SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR;
    if (ok) {
        *text = QString::fromWCharArray(value.bstrVal, int(SysStringLen(value.bstrVal)));
    }
    VariantClear(&value);
    return ok;
}

// Walks the video input devices in the enumerator's order; visit returns
// false to stop. The result of creating the enumerators, S_FALSE (with no
// visit) when there are no video devices.
HRESULT forEachVideoInput(const std::function<bool(IMoniker*, const PropertyDeviceEntry&)>& visit)
{
    initialiseCom();
    ComPtr<ICreateDevEnum> devices;
    HRESULT result = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC,
                                      IID_ICreateDevEnum, devices.outVoid());
    if (FAILED(result)) {
        return result;
    }
    ComPtr<IEnumMoniker> monikers;
    result = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.out(), 0);
    if (FAILED(result) || !monikers) {
        return FAILED(result) ? result : S_FALSE;
    }
    ComPtr<IMoniker> moniker;
    while (monikers->Next(1, moniker.out(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.outVoid()))) {
            continue;
        }
        PropertyDeviceEntry entry;
        readText(bag.get(), L"FriendlyName", &entry.friendlyName);
        entry.pathReadable = readText(bag.get(), L"DevicePath", &entry.devicePath);
        if (!visit(moniker.get(), entry)) {
            break;
        }
    }
    return S_OK;
}

} // namespace

long DshowPropertyDevices::enumerate(QList<PropertyDeviceEntry>* devices)
{
    devices->clear();
    const HRESULT result =
        forEachVideoInput([devices](IMoniker*, const PropertyDeviceEntry& entry) {
            devices->append(entry);
            return true;
        });
    // No video devices is an empty list, not a failure.
    return FAILED(result) ? result : S_OK;
}

std::unique_ptr<PropertyTransport> DshowPropertyDevices::bind(const QString& devicePath,
                                                              long* result)
{
    ComPtr<IBaseFilter> deviceFilter;
    ComPtr<IBaseFilter> sourceFilter;
    HRESULT bound = E_FAIL; // no device with that path
    const HRESULT listed = forEachVideoInput([&](IMoniker* moniker,
                                                 const PropertyDeviceEntry& entry) {
        if (!entry.pathReadable || entry.devicePath != devicePath) {
            return true;
        }
        // The filter twice, as the device is used through two bindings:
        // the standard properties on the first, kernel streaming on the
        // second.
        bound = moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, deviceFilter.outVoid());
        if (SUCCEEDED(bound)) {
            bound =
                moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, sourceFilter.outVoid());
        }
        return false;
    });
    *result = FAILED(listed) ? listed : bound;
    if (FAILED(*result)) {
        return nullptr;
    }
    ComPtr<IKsControl> ksControl;
    *result = sourceFilter->QueryInterface(kIidKsControl, ksControl.outVoid());
    if (FAILED(*result)) {
        return nullptr;
    }
    return std::make_unique<DshowPropertyTransport>(std::move(deviceFilter),
                                                    std::move(sourceFilter));
}

// A USB camera's path is \\?\usb#vid_XXXX&pid_YYYY[&mi_NN]#INSTANCE#{class}.
// The instance is the serial number for a camera that has one; otherwise
// Windows derives it from the parent device's own id (the serial, or the
// hub port for a camera without one), so it names the camera, not its
// place in the device list.
QString DshowPropertyDevices::identity(const QString& devicePath)
{
    const QString path = devicePath.toLower();
    const int vid = path.indexOf(QLatin1String("vid_"));
    const int pid = path.indexOf(QLatin1String("pid_"));
    const QStringList parts = path.split(QLatin1Char('#'));
    if (vid < 0 || pid < 0 || parts.size() < 3) {
        return QString();
    }
    const QString ids = path.mid(vid + 4, 4) + QLatin1Char(':') + path.mid(pid + 4, 4);
    const QString instance = parts.at(2);
    return instance.contains(QLatin1Char('&')) ? ids + QStringLiteral(" port ") + instance
                                               : ids + QStringLiteral(" serial ") + instance;
}
