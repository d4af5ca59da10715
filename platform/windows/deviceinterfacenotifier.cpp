#include "deviceinterfacenotifier.h"

#include "messagewindow.h"

#include <dbt.h>

namespace {

// KSCATEGORY_VIDEO_CAMERA, the class of cameras since Windows 10, and
// KSCATEGORY_CAPTURE, which older drivers and DirectShow's list go by.
constexpr GUID kVideoCamera = {
    0xe5323777, 0xf976, 0x4f5b, {0x9b, 0x55, 0xb9, 0x46, 0x99, 0xc4, 0x6e, 0x44}};
constexpr GUID kCapture = {
    0x65e8773d, 0x8f56, 0x11d0, {0xa3, 0xb9, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};
constexpr int kSettleMs = 1000;

bool concernsCameras(WPARAM event, LPARAM data)
{
    const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
    if ((event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE) || !header ||
        header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return false;
    }
    const GUID& category =
        reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(header)->dbcc_classguid;
    return category == kVideoCamera || category == kCapture;
}

} // namespace

DeviceInterfaceNotifier::DeviceInterfaceNotifier(QObject* parent)
    : DeviceChangeNotifier(0, parent),
      m_window(std::make_unique<MessageWindow>(L"LumoraDeviceInterfaces",
                                               [this](UINT message, WPARAM event, LPARAM data) {
                                                   if (message != WM_DEVICECHANGE) {
                                                       return false;
                                                   }
                                                   if (concernsCameras(event, data)) {
                                                       emit changed();
                                                       m_settle.start();
                                                   }
                                                   return true;
                                               }))
{
    m_settle.setSingleShot(true);
    m_settle.setInterval(kSettleMs);
    connect(&m_settle, &QTimer::timeout, this, &DeviceChangeNotifier::changed);
    if (!m_window->handle()) {
        return;
    }
    for (const GUID& category : {kVideoCamera, kCapture}) {
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = category;
        if (HDEVNOTIFY registration = RegisterDeviceNotificationW(m_window->handle(), &filter,
                                                                  DEVICE_NOTIFY_WINDOW_HANDLE)) {
            m_registrations.append(registration);
        }
    }
}

DeviceInterfaceNotifier::~DeviceInterfaceNotifier()
{
    for (void* registration : m_registrations) {
        UnregisterDeviceNotification(registration);
    }
}
