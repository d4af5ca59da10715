#include "linuxpropertydevices.h"
#include "uvcpropertytransport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <map>
#include <unistd.h>

namespace {

const QUuid MainUnitSet(QStringLiteral("{A7A6A934-3A4A-4351-85F4-042EF2CDCAAB}"));
const QUuid ZoomUnitSet(QStringLiteral("{9D33BBE7-E619-435C-8FAC-528EECCCBCA4}"));

constexpr unsigned long kSupportQuery = 0x10000100;
constexpr unsigned long kLengthQuery = 0x10000001;
constexpr unsigned long kGetTransfer = 0x10000001;
constexpr unsigned long kSetTransfer = 0x10000002;

// One recorded UVCIOC_CTRL_QUERY.
struct UnitCall
{
    int unit;
    int selector;
    int query;
    int size;
    QByteArray sent;
};

// The driver side of a camera node: extension-unit controls by (unit,
// selector) and V4L2 controls by id, answering the ioctls the transport
// sends and recording them.
class FakeNode
{
public:
    struct Control
    {
        v4l2_queryctrl query;
        qint32 value;
    };

    std::map<std::pair<int, int>, QByteArray> unitControls;
    std::map<quint32, Control> controls;
    QList<UnitCall> unitCalls;
    QList<unsigned long> requests;
    QList<v4l2_control> sets;

    void addControl(quint32 id, qint32 minimum, qint32 maximum, qint32 step, qint32 def,
                    qint32 value, quint32 flags = 0)
    {
        Control c;
        std::memset(&c.query, 0, sizeof c.query);
        c.query.id = id;
        c.query.minimum = minimum;
        c.query.maximum = maximum;
        c.query.step = step;
        c.query.default_value = def;
        c.query.flags = flags;
        c.value = value;
        controls[id] = c;
    }

    UvcPropertyTransport::Ioctl ioctl()
    {
        return [this](unsigned long request, void* arg) { return answer(request, arg); };
    }

private:
    int answer(unsigned long request, void* arg)
    {
        requests.append(request);
        switch (request) {
        case UVCIOC_CTRL_QUERY:
            return unitQuery(static_cast<uvc_xu_control_query*>(arg));
        case VIDIOC_QUERYCTRL: {
            auto* q = static_cast<v4l2_queryctrl*>(arg);
            auto it = controls.find(q->id);
            if (it == controls.end()) {
                return -EINVAL;
            }
            *q = it->second.query;
            return 0;
        }
        case VIDIOC_G_CTRL: {
            auto* c = static_cast<v4l2_control*>(arg);
            auto it = controls.find(c->id);
            if (it == controls.end()) {
                return -EINVAL;
            }
            c->value = it->second.value;
            return 0;
        }
        case VIDIOC_S_CTRL: {
            auto* c = static_cast<v4l2_control*>(arg);
            sets.append(*c);
            auto it = controls.find(c->id);
            if (it == controls.end()) {
                return -EINVAL;
            }
            if (c->value < it->second.query.minimum || c->value > it->second.query.maximum) {
                return -ERANGE;
            }
            it->second.value = c->value;
            return 0;
        }
        default:
            return -ENOTTY;
        }
    }

    int unitQuery(uvc_xu_control_query* q)
    {
        UnitCall call{q->unit, q->selector, q->query, q->size, QByteArray()};
        auto it = unitControls.find({q->unit, q->selector});
        if (q->query == UVC_SET_CUR) {
            call.sent = QByteArray(reinterpret_cast<const char*>(q->data), q->size);
        }
        unitCalls.append(call);
        if (it == unitControls.end()) {
            return -ENOENT;
        }
        QByteArray& value = it->second;
        switch (q->query) {
        case UVC_GET_INFO:
            if (q->size != 1) {
                return -ENOBUFS;
            }
            q->data[0] = 0x03;
            return 0;
        case UVC_GET_LEN:
            if (q->size != 2) {
                return -ENOBUFS;
            }
            q->data[0] = quint8(value.size());
            q->data[1] = quint8(value.size() >> 8);
            return 0;
        case UVC_GET_CUR:
        case UVC_SET_CUR:
            // uvcvideo takes only the control's own length.
            if (q->size != value.size()) {
                return -ENOBUFS;
            }
            if (q->query == UVC_GET_CUR) {
                std::memcpy(q->data, value.constData(), size_t(value.size()));
            } else {
                value = call.sent;
            }
            return 0;
        default:
            return -EINVAL;
        }
    }
};

const QList<UvcExtensionUnit> kUnits = {{1, QUuid()},     {2, QUuid()}, {3, QUuid()},
                                        {4, MainUnitSet}, {5, QUuid()}, {6, ZoomUnitSet}};

std::unique_ptr<UvcPropertyTransport> transportOn(FakeNode& node, int fd = -1)
{
    return std::make_unique<UvcPropertyTransport>(
        fd, QStringLiteral("/dev/video2"), QStringLiteral("Vorn Camera"), kUnits, node.ioctl());
}

bool fdIsOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

void touch(const QString& path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class tst_UvcPropertyTransport : public QObject
{
    Q_OBJECT

private slots:
    void errnoBecomesANegativeResult_data()
    {
        QTest::addColumn<int>("error");
        QTest::addColumn<long>("result");
        QTest::newRow("ENOENT") << ENOENT << long(-ENOENT);
        QTest::newRow("EIO") << EIO << long(-EIO);
        QTest::newRow("ERANGE") << ERANGE << long(-ERANGE);
        QTest::newRow("EACCES") << EACCES << long(-EACCES);
        // A failed call that left errno unset must still fail.
        QTest::newRow("zero") << 0 << long(-EIO);
        QTest::newRow("already negative") << -EBUSY << long(-EBUSY);
    }

    void errnoBecomesANegativeResult()
    {
        QFETCH(int, error);
        QFETCH(long, result);
        QCOMPARE(resultFromErrno(error), result);
    }

    void whiteBalanceFlagsFromTheAutomaticControl()
    {
        QCOMPARE(whiteBalanceFlags(1), ControlFlags::Auto);
        QCOMPARE(whiteBalanceFlags(0), ControlFlags::Manual);
    }

    void supportQueryAnswersOnlyOnTheUnitOfThePropertySet()
    {
        FakeNode node;
        node.unitControls[{4, 2}] = QByteArray(24, 'x');
        node.unitControls[{6, 12}] = QByteArray(3, '\0');
        node.unitControls[{6, 2}] = QByteArray(24, 'x');
        auto transport = transportOn(node);
        unsigned long returned = 99;

        QCOMPARE(transport->nodeProperty(MainUnitSet, 2, kSupportQuery, 4, nullptr, 0, &returned),
                 0L);
        QCOMPARE(returned, 0UL);
        QCOMPARE(node.unitCalls.size(), 1);
        QCOMPARE(node.unitCalls[0].unit, 4);
        QCOMPARE(node.unitCalls[0].selector, 2);
        QCOMPARE(node.unitCalls[0].query, int(UVC_GET_INFO));
        QCOMPARE(node.unitCalls[0].size, 1);

        // Unit 6 has selector 2 too, but it is the zoom unit: the main set
        // must not be answered there, and the driver is not even asked.
        QVERIFY(transport->nodeProperty(MainUnitSet, 2, kSupportQuery, 6, nullptr, 0, &returned) <
                0);
        QVERIFY(transport->nodeProperty(MainUnitSet, 2, kSupportQuery, 5, nullptr, 0, &returned) <
                0);
        QCOMPARE(node.unitCalls.size(), 1);

        // The right unit without that selector: the driver's failure.
        QCOMPARE(transport->nodeProperty(MainUnitSet, 9, kSupportQuery, 4, nullptr, 0, &returned),
                 long(-ENOENT));
        QCOMPARE(node.unitCalls.size(), 2);
        QCOMPARE(transport->nodeProperty(ZoomUnitSet, 12, kSupportQuery, 6, nullptr, 0, &returned),
                 0L);
    }

    void lengthQueryReadsTheLittleEndianLength()
    {
        FakeNode node;
        node.unitControls[{4, 2}] = QByteArray(0x118, 'x');
        node.unitControls[{4, 13}] = QByteArray(1, '\x06');
        auto transport = transportOn(node);
        unsigned long returned = 0;
        QCOMPARE(transport->nodeProperty(MainUnitSet, 2, kLengthQuery, 4, nullptr, 0, &returned),
                 0L);
        QCOMPARE(returned, 0x118UL);
        QCOMPARE(node.unitCalls.last().query, int(UVC_GET_LEN));
        QCOMPARE(node.unitCalls.last().size, 2);
        QCOMPARE(transport->nodeProperty(MainUnitSet, 13, kLengthQuery, 4, nullptr, 0, &returned),
                 0L);
        QCOMPARE(returned, 1UL);
        returned = 7;
        QCOMPARE(transport->nodeProperty(MainUnitSet, 14, kLengthQuery, 4, nullptr, 0, &returned),
                 long(-ENOENT));
        QCOMPARE(returned, 0UL);
    }

    void getAndSetTransfers()
    {
        FakeNode node;
        node.unitControls[{4, 13}] = QByteArray(1, '\x06');
        node.unitControls[{6, 12}] = QByteArray(3, '\0');
        auto transport = transportOn(node);
        unsigned long returned = 0;

        quint8 style = 0;
        QCOMPARE(transport->nodeProperty(MainUnitSet, 13, kGetTransfer, 4, &style, 1, &returned),
                 0L);
        QCOMPARE(style, quint8(6));
        QCOMPARE(returned, 1UL);
        QCOMPARE(node.unitCalls.last().query, int(UVC_GET_CUR));

        quint8 zoom[3] = {1, 0, 6};
        QCOMPARE(transport->nodeProperty(ZoomUnitSet, 12, kSetTransfer, 6, zoom, 3, &returned), 0L);
        QCOMPARE(returned, 3UL);
        QCOMPARE(node.unitCalls.last().query, int(UVC_SET_CUR));
        QCOMPARE(node.unitCalls.last().sent, QByteArray("\x01\x00\x06", 3));
        QCOMPARE(node.unitControls[std::make_pair(6, 12)], QByteArray("\x01\x00\x06", 3));

        // A length the control does not have: the driver refuses, nothing
        // is reported as returned.
        quint8 wide[4] = {0xAA, 0xAA, 0xAA, 0xAA};
        QCOMPARE(transport->nodeProperty(MainUnitSet, 13, kGetTransfer, 4, wide, 4, &returned),
                 long(-ENOBUFS));
        QCOMPARE(returned, 0UL);
    }

    void malformedRequestsAreRefused_data()
    {
        QTest::addColumn<unsigned long>("flags");
        QTest::addColumn<unsigned long>("node");
        QTest::addColumn<bool>("withData");
        QTest::newRow("no topology flag") << 0x00000001UL << 4UL << true;
        QTest::newRow("get and set at once") << 0x10000003UL << 4UL << true;
        QTest::newRow("set without data") << kSetTransfer << 4UL << false;
        QTest::newRow("neither get nor set") << 0x10000000UL << 4UL << true;
        QTest::newRow("node past a byte") << kGetTransfer << 260UL << true;
    }

    void malformedRequestsAreRefused()
    {
        QFETCH(unsigned long, flags);
        QFETCH(unsigned long, node);
        QFETCH(bool, withData);
        FakeNode fake;
        fake.unitControls[{4, 13}] = QByteArray(1, '\x06');
        // Unit numbers are one byte: 260 must not reach unit 4.
        QList<UvcExtensionUnit> units = kUnits;
        units.append({260, MainUnitSet});
        UvcPropertyTransport transport(-1, QStringLiteral("/dev/video2"), QStringLiteral("c"),
                                       units, fake.ioctl());
        quint8 byte = 0;
        unsigned long returned = 5;
        QVERIFY(transport.nodeProperty(MainUnitSet, 13, flags, node, withData ? &byte : nullptr,
                                       withData ? 1 : 0, &returned) < 0);
        QCOMPARE(returned, 0UL);
        QVERIFY(fake.unitCalls.isEmpty());
    }

    void cameraControlsMapToV4l2Controls_data()
    {
        QTest::addColumn<long>("property");
        QTest::addColumn<quint32>("id");
        QTest::newRow("pan") << CameraControlProperty::Pan << quint32(V4L2_CID_PAN_ABSOLUTE);
        QTest::newRow("tilt") << CameraControlProperty::Tilt << quint32(V4L2_CID_TILT_ABSOLUTE);
        QTest::newRow("zoom") << CameraControlProperty::Zoom << quint32(V4L2_CID_ZOOM_ABSOLUTE);
        QTest::newRow("pan relative")
            << CameraControlProperty::PanRelative << quint32(V4L2_CID_PAN_SPEED);
        QTest::newRow("tilt relative")
            << CameraControlProperty::TiltRelative << quint32(V4L2_CID_TILT_SPEED);
    }

    void cameraControlsMapToV4l2Controls()
    {
        QFETCH(long, property);
        QFETCH(quint32, id);
        FakeNode node;
        node.addControl(id, -36000, 36000, 3600, 1800, 0);
        auto transport = transportOn(node);

        PropertyRange range;
        QCOMPARE(transport->cameraControlGetRange(property, &range), 0L);
        QCOMPARE(range.minimum, -36000L);
        QCOMPARE(range.maximum, 36000L);
        QCOMPARE(range.step, 3600L);
        QCOMPARE(range.defaultValue, 1800L);
        QCOMPARE(range.capsFlags, ControlFlags::Manual);

        QCOMPARE(transport->cameraControlSet(property, -1800, ControlFlags::Manual), 0L);
        QCOMPARE(node.sets.size(), 1);
        QCOMPARE(node.sets[0].id, id);
        QCOMPARE(node.sets[0].value, -1800);
        // Sent as given, not clamped: the driver's refusal is the answer.
        QCOMPARE(transport->cameraControlSet(property, 50000, ControlFlags::Manual), long(-ERANGE));
        QCOMPARE(node.sets.last().value, 50000);
    }

    void missingOrUnknownControls()
    {
        FakeNode node;
        node.addControl(V4L2_CID_ZOOM_ABSOLUTE, 0, 10, 1, 0, 0, V4L2_CTRL_FLAG_DISABLED);
        auto transport = transportOn(node);
        PropertyRange range;
        QVERIFY(transport->cameraControlGetRange(CameraControlProperty::Pan, &range) < 0);
        QVERIFY(transport->cameraControlGetRange(CameraControlProperty::Zoom, &range) < 0);
        QVERIFY(transport->cameraControlSet(CameraControlProperty::Pan, 0, 2) < 0);
        const int before = node.requests.size();
        QCOMPARE(transport->cameraControlGetRange(2, &range), long(-EINVAL));
        QCOMPARE(transport->cameraControlSet(42, 0, 2), long(-EINVAL));
        long value = 0;
        long flags = 0;
        QCOMPARE(transport->videoProcAmpGet(0, &value, &flags), long(-EINVAL));
        QCOMPARE(transport->videoProcAmpSet(3, 0, 2), long(-EINVAL));
        QCOMPARE(transport->videoProcAmpGetRange(8, &range), long(-EINVAL));
        QCOMPARE(node.requests.size(), before);
    }

    void contrast()
    {
        FakeNode node;
        node.addControl(V4L2_CID_CONTRAST, 0, 100, 1, 50, 64);
        auto transport = transportOn(node);
        long value = 0;
        long flags = 0;
        QCOMPARE(transport->videoProcAmpGet(VideoProcAmpProperty::Contrast, &value, &flags), 0L);
        QCOMPARE(value, 64L);
        QCOMPARE(flags, ControlFlags::Manual);
        PropertyRange range;
        QCOMPARE(transport->videoProcAmpGetRange(VideoProcAmpProperty::Contrast, &range), 0L);
        QCOMPARE(range.maximum, 100L);
        QCOMPARE(range.defaultValue, 50L);
        QCOMPARE(range.capsFlags, ControlFlags::Manual);
        QCOMPARE(transport->videoProcAmpSet(VideoProcAmpProperty::Contrast, 30, 2), 0L);
        QCOMPARE(node.controls[V4L2_CID_CONTRAST].value, 30);
    }

    void whiteBalance_data()
    {
        QTest::addColumn<bool>("hasAutomatic");
        QTest::addColumn<int>("automatic");
        QTest::addColumn<bool>("hasTemperature");
        QTest::addColumn<long>("flags");
        QTest::addColumn<long>("value");
        QTest::newRow("automatic") << true << 1 << true << ControlFlags::Auto << 4600L;
        QTest::newRow("manual") << true << 0 << true << ControlFlags::Manual << 4600L;
        QTest::newRow("no temperature") << true << 1 << false << ControlFlags::Auto << 0L;
        QTest::newRow("only temperature") << false << 0 << true << ControlFlags::Manual << 4600L;
    }

    void whiteBalance()
    {
        QFETCH(bool, hasAutomatic);
        QFETCH(int, automatic);
        QFETCH(bool, hasTemperature);
        QFETCH(long, flags);
        QFETCH(long, value);
        FakeNode node;
        if (hasAutomatic) {
            node.addControl(V4L2_CID_AUTO_WHITE_BALANCE, 0, 1, 1, 1, automatic);
        }
        if (hasTemperature) {
            node.addControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, 2800, 6500, 10, 4600, 4600);
        }
        auto transport = transportOn(node);
        long readValue = -1;
        long readFlags = -1;
        QCOMPARE(
            transport->videoProcAmpGet(VideoProcAmpProperty::WhiteBalance, &readValue, &readFlags),
            0L);
        QCOMPARE(readFlags, flags);
        QCOMPARE(readValue, value);
        if (hasTemperature) {
            PropertyRange range;
            QCOMPARE(transport->videoProcAmpGetRange(VideoProcAmpProperty::WhiteBalance, &range),
                     0L);
            QCOMPARE(range.minimum, 2800L);
            QCOMPARE(range.capsFlags, hasAutomatic ? ControlFlags::Auto | ControlFlags::Manual
                                                   : ControlFlags::Manual);
        }
    }

    void whiteBalanceWithoutControls()
    {
        FakeNode node;
        auto transport = transportOn(node);
        long value = 11;
        long flags = 22;
        QVERIFY(transport->videoProcAmpGet(VideoProcAmpProperty::WhiteBalance, &value, &flags) < 0);
        QCOMPARE(value, 11L);
        QCOMPARE(flags, 22L);
    }

    void settingWhiteBalance()
    {
        FakeNode node;
        node.addControl(V4L2_CID_AUTO_WHITE_BALANCE, 0, 1, 1, 1, 1);
        node.addControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, 2800, 6500, 10, 4600, 4600);
        auto transport = transportOn(node);
        QCOMPARE(transport->videoProcAmpSet(VideoProcAmpProperty::WhiteBalance, 3000,
                                            ControlFlags::Manual),
                 0L);
        QCOMPARE(node.controls[V4L2_CID_AUTO_WHITE_BALANCE].value, 0);
        QCOMPARE(node.controls[V4L2_CID_WHITE_BALANCE_TEMPERATURE].value, 3000);
        QCOMPARE(
            transport->videoProcAmpSet(VideoProcAmpProperty::WhiteBalance, 0, ControlFlags::Auto),
            0L);
        QCOMPARE(node.controls[V4L2_CID_AUTO_WHITE_BALANCE].value, 1);
        QCOMPARE(node.controls[V4L2_CID_WHITE_BALANCE_TEMPERATURE].value, 3000);
    }

    void dialogDeviceDescribesTheNode()
    {
        FakeNode node;
        int fds[2];
        QCOMPARE(::pipe2(fds, O_CLOEXEC), 0);
        ::close(fds[1]);
        {
            auto transport = transportOn(node, fds[0]);
            auto* device = static_cast<VendorDialogDevice*>(transport->dialogHandle());
            QVERIFY(device);
            QCOMPARE(device->structSize, quint32(sizeof(VendorDialogDevice)));
            QCOMPARE(device->version, VENDOR_DIALOG_DEVICE_VERSION);
            QCOMPARE(device->fd, fds[0]);
            QCOMPARE(QByteArray(device->devicePath), QByteArray("/dev/video2"));
            QCOMPARE(QByteArray(device->cardName), QByteArray("Vorn Camera"));
            QVERIFY(!device->context);
            QVERIFY(!device->queryExtControl);
            QVERIFY(!device->queryMenu);
            QVERIFY(!device->getControl);
            QVERIFY(!device->setControl);
            QCOMPARE(transport->dialogDevice(), device);
            QVERIFY(fdIsOpen(fds[0]));
        }
        // The transport owned the node's descriptor.
        QVERIFY(!fdIsOpen(fds[0]));
    }

    void enumeratesVideoNodesInNumericOrder()
    {
        QTemporaryDir dev;
        for (const char* name : {"video10", "video2", "video0", "videox", "vbi0", "media0"}) {
            touch(dev.filePath(QString::fromLatin1(name)));
        }
        LinuxPropertyDevices devices(dev.path(), QStringLiteral("/nonexistent"));
        QList<PropertyDeviceEntry> entries;
        entries.append(PropertyDeviceEntry());
        QCOMPARE(devices.enumerate(&entries), 0L);
        // Plain files answer no VIDIOC_QUERYCAP: listed, but unreadable.
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0].devicePath, dev.filePath(QStringLiteral("video0")));
        QCOMPARE(entries[1].devicePath, dev.filePath(QStringLiteral("video2")));
        QCOMPARE(entries[2].devicePath, dev.filePath(QStringLiteral("video10")));
        for (const PropertyDeviceEntry& entry : entries) {
            QVERIFY(!entry.pathReadable);
        }
    }

    void enumerationWithoutNodes()
    {
        QTemporaryDir dev;
        LinuxPropertyDevices devices(dev.path(), QStringLiteral("/nonexistent"));
        QList<PropertyDeviceEntry> entries;
        QCOMPARE(devices.enumerate(&entries), 0L);
        QVERIFY(entries.isEmpty());
        LinuxPropertyDevices missing(dev.filePath(QStringLiteral("gone")), QStringLiteral("/sys"));
        entries.append(PropertyDeviceEntry());
        QCOMPARE(missing.enumerate(&entries), long(-ENOENT));
        QVERIFY(entries.isEmpty());
    }

    void bindingWhatIsNoCaptureNode()
    {
        QTemporaryDir dev;
        touch(dev.filePath(QStringLiteral("video0")));
        LinuxPropertyDevices devices(dev.path(), QStringLiteral("/nonexistent"));
        long result = 0;
        QVERIFY(!devices.bind(dev.filePath(QStringLiteral("video7")), &result));
        QCOMPARE(result, long(-ENOENT));
        QVERIFY(!devices.bind(dev.filePath(QStringLiteral("video0")), &result));
        QCOMPARE(result, long(-ENOTTY));
    }

    void realCaptureNode()
    {
        LinuxPropertyDevices devices;
        QList<PropertyDeviceEntry> entries;
        QVERIFY(devices.enumerate(&entries) >= 0);
        const PropertyDeviceEntry* capture = nullptr;
        for (const PropertyDeviceEntry& entry : entries) {
            if (entry.pathReadable) {
                capture = &entry;
                break;
            }
        }
        if (!capture) {
            QSKIP("no V4L2 capture node on this machine (/dev/video*)");
        }
        QVERIFY(!capture->friendlyName.isEmpty());
        long result = -1;
        std::unique_ptr<PropertyTransport> transport = devices.bind(capture->devicePath, &result);
        QVERIFY2(transport, qPrintable(QString::number(result)));
        QCOMPARE(result, 0L);
        auto* device = static_cast<VendorDialogDevice*>(transport->dialogHandle());
        QVERIFY(device->fd >= 0);
        QCOMPARE(QString::fromUtf8(device->devicePath), capture->devicePath);
        QCOMPARE(QString::fromUtf8(device->cardName), capture->friendlyName);
        // Whatever the camera offers, an unknown property is refused.
        PropertyRange range;
        QCOMPARE(transport->cameraControlGetRange(42, &range), long(-EINVAL));
    }
};

QTEST_GUILESS_MAIN(tst_UvcPropertyTransport)
#include "tst_uvcpropertytransport.moc"
