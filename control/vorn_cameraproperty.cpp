#include "vorn_cameraproperty.h"

#include "companionlibrary.h"
#include "propertynotice.h"
#include "propertytransport.h"
#include "vendordialog.h"

#include <QDebug>
#include <QLibrary>

#include <cstring>
#include <vector>

const QUuid MainUnitSet(QStringLiteral("{A7A6A934-3A4A-4351-85F4-042EF2CDCAAB}"));
const QUuid ZoomUnitSet(QStringLiteral("{9D33BBE7-E619-435C-8FAC-528EECCCBCA4}"));

Vorn_CameraProperty cameraProperty(MainUnitSet);
Vorn_CameraProperty zoomProperty(ZoomUnitSet);

namespace {

constexpr unsigned long kFirstNode = 20;
constexpr unsigned long kLastNode = 1;
constexpr unsigned long kSupportQuery = PropertyFlags::Topology | PropertyFlags::SetSupport;
constexpr unsigned long kLengthQuery = PropertyFlags::Topology | PropertyFlags::Get;

// The device path must end where it occurs in the device name, or be
// followed by a non-digit: /dev/video1 is no match for /dev/video10.
bool containsPath(const QByteArray& deviceName, const QByteArray& path)
{
    if (path.isEmpty()) {
        return false;
    }
    for (int at = deviceName.indexOf(path); at >= 0; at = deviceName.indexOf(path, at + 1)) {
        const int end = at + path.size();
        if (end == deviceName.size() ||
            !std::isdigit(static_cast<unsigned char>(deviceName[end]))) {
            return true;
        }
    }
    return false;
}

// ShowDlg reports an HRESULT on Windows and a negative errno elsewhere.
QString dialogErrorText(int result)
{
#if defined(Q_OS_WIN)
    const QString reason = qt_error_string(result).trimmed();
    return QStringLiteral("%1 (0x%2).").arg(reason).arg(quint32(result), 8, 16, QLatin1Char('0'));
#else
    return qt_error_string(-result) + QLatin1Char('.');
#endif
}

void cannotShowDialog(const QString& reason)
{
    PropertyNotice::show(QStringLiteral("Notice"),
                         QStringLiteral("Advanced settings can't be shown: ") + reason);
}

QString dialogLibraryBesideProgram()
{
#if defined(Q_OS_WIN)
    const QString file = QStringLiteral("VideoCaptureFilter.dll");
#else
    const QString file = QStringLiteral("libVideoCaptureFilter.so");
#endif
    return companionLibraryPath(file);
}

} // namespace

CameraControl::CameraControl(PropertyTransport* transport) : m_transport(transport) {}

long CameraControl::Set(long property, long value, long flags)
{
    return m_transport->cameraControlSet(property, value, flags);
}

long CameraControl::Get(long property, long* value)
{
    return m_transport->cameraControlGet(property, value);
}

long CameraControl::GetRange(long property, long* min, long* max, long* step, long* def,
                             long* capsFlags)
{
    PropertyRange range;
    const long result = m_transport->cameraControlGetRange(property, &range);
    if (result < 0) {
        return result;
    }
    if (min) {
        *min = range.minimum;
    }
    if (max) {
        *max = range.maximum;
    }
    if (step) {
        *step = range.step;
    }
    if (def) {
        *def = range.defaultValue;
    }
    if (capsFlags) {
        *capsFlags = range.capsFlags;
    }
    return result;
}

LensOptics CameraControl::lensOptics() const
{
    return m_transport->lensOptics();
}

Vorn_CameraProperty::Vorn_CameraProperty(const QUuid& set) : propertySet(set) {}

Vorn_CameraProperty::~Vorn_CameraProperty() = default;

void Vorn_CameraProperty::unbind()
{
    cameraControl = nullptr;
    m_cameraControl.reset();
    m_transport.reset();
}

long Vorn_CameraProperty::open(QString deviceName)
{
    // A failed search must not leave the previous camera answering for the
    // one asked for.
    unbind();
    PropertyDevices& devices = PropertyDevices::instance();
    QList<PropertyDeviceEntry> entries;
    const long listed = devices.enumerate(&entries);
    if (listed < 0) {
        return listed;
    }
    const QByteArray name = deviceName.toUtf8();
    const PropertyDeviceEntry* match = nullptr;
    for (const PropertyDeviceEntry& entry : entries) {
        if (!entry.pathReadable) {
            qDebug() << "error: devpath=";
            qDebug() << "error: devname= " << entry.friendlyName;
            continue;
        }
        if (containsPath(name, entry.devicePath.toUtf8())) {
            match = &entry;
            break;
        }
    }
    if (!match) {
        qDebug() << "error: no capture device for" << deviceName;
        return -1;
    }
    long result = 0;
    std::unique_ptr<PropertyTransport> transport = devices.bind(match->devicePath, &result);
    if (!transport) {
        qDebug() << "error: pDeviceFilter" << result;
        return result < 0 ? result : -1;
    }
    m_transport = std::move(transport);
    m_cameraControl = std::make_unique<CameraControl>(m_transport.get());
    cameraControl = m_cameraControl.get();
    long value = 0;
    long flags = 0;
    if (m_transport->videoProcAmpGet(VideoProcAmpProperty::WhiteBalance, &value, &flags) >= 0) {
        whiteBalanceMode = flags;
    } else {
        qDebug() << "error:  WB mode: " << whiteBalanceMode << "  WB value:" << value;
    }
    return 0;
}

unsigned long Vorn_CameraProperty::searchNode(unsigned long selector)
{
    unsigned long node = kFirstNode;
    for (; node > kLastNode; --node) {
        unsigned long ignored = 0;
        if (m_transport->nodeProperty(propertySet, selector, kSupportQuery, node, nullptr, 0,
                                      &ignored) >= 0) {
            return node;
        }
    }
    // The last node is asked too, and stays when no node answered.
    unsigned long ignored = 0;
    m_transport->nodeProperty(propertySet, selector, kSupportQuery, node, nullptr, 0, &ignored);
    return node;
}

long Vorn_CameraProperty::extensionUnitRequest(unsigned long selector, unsigned long flags,
                                               void* data, unsigned long length)
{
    if (!bound()) {
        return -1;
    }
    // Where the descriptors were read (Linux) the unit's node is known;
    // otherwise the nodes are asked in turn.
    unsigned long node = m_transport->extensionUnitNode(propertySet);
    if (node == 0) {
        node = searchNode(selector);
    }
    unsigned long controlLength = 0;
    m_transport->nodeProperty(propertySet, selector, kLengthQuery, node, nullptr, 0,
                              &controlLength);
    const unsigned long transferFlags = flags | PropertyFlags::Topology;
    unsigned long returned = 0;
    if (controlLength <= length) {
        return m_transport->nodeProperty(propertySet, selector, transferFlags, node, data,
                                         controlLength, &returned);
    }
    // The device wants more than the caller's buffer holds. A SET would send
    // bytes the caller never gave; a GET is read in full and cut to size.
    if (flags & PropertyFlags::Set) {
        qDebug() << "error: control" << selector << "length" << controlLength << "exceeds buffer"
                 << length;
        return -1;
    }
    std::vector<unsigned char> scratch(controlLength);
    const long result = m_transport->nodeProperty(propertySet, selector, transferFlags, node,
                                                  scratch.data(), controlLength, &returned);
    if (result >= 0 && data && length > 0) {
        std::memcpy(data, scratch.data(), length);
    }
    return result;
}

bool Vorn_CameraProperty::deviceGone() const
{
    return m_transport && m_transport->deviceGone();
}

long Vorn_CameraProperty::readWhiteBalanceMode()
{
    if (!bound()) {
        return -1;
    }
    long value = 0;
    long flags = 0;
    const long result =
        m_transport->videoProcAmpGet(VideoProcAmpProperty::WhiteBalance, &value, &flags);
    if (result >= 0) {
        whiteBalanceMode = flags;
        return result;
    }
    qDebug() << "error: WB mode:" << whiteBalanceMode;
    qDebug() << "error: WB value:" << value;
    return result;
}

long Vorn_CameraProperty::setVideoProcAmp(long property, long value, long flags)
{
    if (!bound()) {
        return -1;
    }
    const long result = m_transport->videoProcAmpSet(property, value, flags);
    if (result < 0) {
        qDebug("set Property: %ld failed!\n", property);
    }
    return result;
}

long Vorn_CameraProperty::getVideoProcAmp(long property, long* value, long* flags)
{
    if (!bound()) {
        return -1;
    }
    long v = 0;
    long f = 0;
    const long result = m_transport->videoProcAmpGet(property, &v, &f);
    if (result < 0) {
        qDebug("get Property: %ld failed!\n", property);
        return result;
    }
    if (value) {
        *value = v;
    }
    if (flags) {
        *flags = f;
    }
    return result;
}

long Vorn_CameraProperty::getVideoProcAmpRange(long property, long* minimum, long* maximum)
{
    if (!bound()) {
        return -1;
    }
    PropertyRange range;
    const long result = m_transport->videoProcAmpGetRange(property, &range);
    if (result >= 0) {
        if (minimum) {
            *minimum = range.minimum;
        }
        if (maximum) {
            *maximum = range.maximum;
        }
    }
    return result;
}

bool Vorn_CameraProperty::showPropertyDialog()
{
    if (dialogOpen) {
        return false;
    }
    if (!bound()) {
        cannotShowDialog(QStringLiteral("the camera's controls could not be reached."));
        return false;
    }
    QLibrary library;
    bool loaded = false;
    if (!m_dialogLibraryFile.isEmpty()) {
        library.setFileName(m_dialogLibraryFile);
        loaded = library.load();
    } else {
        // The program's own folder first, as the library ships beside it.
        library.setFileName(dialogLibraryBesideProgram());
        loaded = library.load();
        if (!loaded) {
            library.setFileName(QStringLiteral("VideoCaptureFilter"));
            loaded = library.load();
        }
    }
    if (!loaded) {
        PropertyNotice::show(QStringLiteral("Notice"), QStringLiteral("DLL is not loaded!"));
    } else if (auto showDlg = reinterpret_cast<VendorShowDlgFunction>(library.resolve("ShowDlg"))) {
        dialogOpen = true;
        const int result = showDlg(m_transport->dialogHandle());
        if (result < 0) {
            qDebug() << "ShowDlg failed:" << result;
            // The camera offers no property page (or refused it): nothing
            // was changed, and the user learns why nothing opened.
            dialogOpen = false;
            library.unload();
            cannotShowDialog(dialogErrorText(result));
            return false;
        }
    } else {
        PropertyNotice::show(QStringLiteral("Notice"),
                             QStringLiteral("Linke to Function is not OK!!!!"));
    }
    if (library.isLoaded()) {
        library.unload();
    }
    qDebug() << "uvc page exit";
    dialogOpen = false;
    return true;
}
