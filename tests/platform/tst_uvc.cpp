// The Linux side of a UVC camera's controls: extension units found in the
// USB descriptors (also when the descriptors are garbage), the node's USB
// interface found through sysfs, and requests turned into the uvcvideo and
// V4L2 ioctls of a scripted node.

#include "linuxpropertydevices.h"
#include "testunits.h"
#include "uvcdescriptors.h"
#include "uvcpropertytransport.h"
#include "uvcsysfs.h"
#include "vendordialogdevice.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <map>
#include <unistd.h>

using namespace TestUnits;

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

const QByteArray kDevice =
    bytes({18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x34, 0x12, 0x78, 0x56, 0, 1, 1, 2, 3, 1});

QByteArray configuration(int value)
{
    return bytes({9, 0x02, 0x00, 0x01, 2, value, 0, 0x80, 250});
}

QByteArray interface(int number, int subclass)
{
    return bytes({9, 0x04, number, 0, 1, 0x0E, subclass, 0x00, 0});
}

QByteArray extensionUnit(int unitId, const QUuid& guid)
{
    return bytes({28, 0x24, 0x06, unitId}) + UvcDescriptors::guidToUsb(guid) +
           bytes({24, 1, 2, 3, 0xFF, 0xFF, 0xFF, 0});
}

// A video function as a camera announces it: association, control
// interface with its header, terminals and units, then a streaming
// interface holding a lookalike of an extension unit (subtype 0x06 and
// room for a GUID), which is none.
QByteArray videoFunction(int controlInterface, const QList<UvcExtensionUnit>& units)
{
    QByteArray d = bytes({8, 0x0B, 0, 2, 0x0E, 0x03, 0x00, 2}) + interface(controlInterface, 1) +
                   bytes({13, 0x24, 0x01, 0x10, 0x01, 0x40, 0, 0, 0x6C, 0xDC, 0x02, 1, 1}) +
                   bytes({18, 0x24, 0x02, 1, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x0E, 0x0A, 2});
    for (const UvcExtensionUnit& unit : units) {
        d += extensionUnit(unit.unitId, unit.guid);
    }
    d += bytes({9, 0x24, 0x03, 3, 0x01, 0x01, 0, 2, 0}) + bytes({7, 0x05, 0x83, 0x03, 0x10, 0, 8});
    return d + interface(controlInterface + 1, 2) + extensionUnit(9, Other);
}

const QList<UvcExtensionUnit> kUnits = {{4, Main}, {6, Zoom}, {7, Other}};
const QList<UvcExtensionUnit> kSecond = {{4, Zoom}};

QByteArray composite()
{
    return kDevice + configuration(1) + videoFunction(0, kUnits) + videoFunction(2, kSecond);
}

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
             qPrintable(path));
}

// One recorded UVCIOC_CTRL_QUERY.
struct UnitCall
{
    int unit, selector, query, size;
    QByteArray sent;
};

// The driver side of a camera node: extension-unit controls by (unit,
// selector) and V4L2 controls by id, answering as uvcvideo does.
struct FakeNode
{
    std::map<std::pair<int, int>, QByteArray> unitControls;
    std::map<quint32, std::pair<v4l2_queryctrl, qint32>> controls;
    QList<UnitCall> unitCalls;
    QList<v4l2_control> sets;
    int calls = 0;

    void addControl(quint32 id, qint32 minimum, qint32 maximum, qint32 value, quint32 flags = 0)
    {
        v4l2_queryctrl q{};
        q.id = id, q.minimum = minimum, q.maximum = maximum, q.step = 10, q.flags = flags;
        q.default_value = (minimum + maximum) / 2;
        controls[id] = {q, value};
    }

    std::unique_ptr<UvcPropertyTransport> transport(QList<UvcExtensionUnit> units = kUnits)
    {
        return std::make_unique<UvcPropertyTransport>(
            -1, "/dev/video2", "Vorn Camera", units,
            [this](unsigned long request, void* arg) { return answer(request, arg); });
    }

    int answer(unsigned long request, void* arg)
    {
        ++calls;
        if (request == UVCIOC_CTRL_QUERY) {
            return unitQuery(static_cast<uvc_xu_control_query*>(arg));
        }
        auto* c = static_cast<v4l2_control*>(arg); // id first, in both structs
        auto it = controls.find(c->id);
        if (request == VIDIOC_S_CTRL) {
            sets.append(*c);
        }
        if (it == controls.end()) {
            return -EINVAL;
        }
        if (request == VIDIOC_QUERYCTRL) {
            *static_cast<v4l2_queryctrl*>(arg) = it->second.first;
        } else if (request == VIDIOC_G_CTRL) {
            c->value = it->second.second;
        } else if (c->value < it->second.first.minimum || c->value > it->second.first.maximum) {
            return -ERANGE;
        } else {
            it->second.second = c->value;
        }
        return 0;
    }

    int unitQuery(uvc_xu_control_query* q)
    {
        unitCalls.append(
            {q->unit, q->selector, q->query, q->size,
             q->query == UVC_SET_CUR ? QByteArray((const char*)q->data, q->size) : QByteArray()});
        auto it = unitControls.find({q->unit, q->selector});
        if (it == unitControls.end()) {
            return -ENOENT;
        }
        QByteArray& value = it->second;
        const int wanted = q->query == UVC_GET_INFO  ? 1
                           : q->query == UVC_GET_LEN ? 2
                                                     : value.size();
        if (q->size != wanted) {
            return -ENOBUFS; // uvcvideo takes only the control's own length
        }
        if (q->query == UVC_GET_INFO) {
            q->data[0] = 0x03;
        } else if (q->query == UVC_GET_LEN) {
            q->data[0] = quint8(value.size()), q->data[1] = quint8(value.size() >> 8);
        } else if (q->query == UVC_GET_CUR) {
            std::memcpy(q->data, value.constData(), size_t(value.size()));
        } else {
            value = unitCalls.last().sent;
        }
        return 0;
    }
};

bool fdIsOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) != -1 || errno != EBADF;
}

} // namespace

Q_DECLARE_METATYPE(UvcExtensionUnit)

class tst_Uvc : public QObject
{
    Q_OBJECT

private slots:
    void guidsInUsbByteOrder()
    {
        const QByteArray usb = bytes({0x34, 0xA9, 0xA6, 0xA7, 0x4A, 0x3A, 0x51, 0x43, 0x85, 0xF4,
                                      0x04, 0x2E, 0xF2, 0xCD, 0xCA, 0xAB});
        QCOMPARE(UvcDescriptors::guidToUsb(Main), usb);
        QCOMPARE(UvcDescriptors::guidFromUsb(reinterpret_cast<const uchar*>(usb.constData())),
                 Main);
    }

    void unitsOfTheAskedFunctionAndConfiguration()
    {
        QCOMPARE(UvcDescriptors::extensionUnits(composite(), 0, 1), kUnits);
        QCOMPARE(UvcDescriptors::extensionUnits(composite(), 2, -1), kSecond);
        QCOMPARE(UvcDescriptors::extensionUnits(composite()).size(), 4);
        QVERIFY(UvcDescriptors::extensionUnits(composite(), 1, -1).isEmpty());
        const QByteArray two = kDevice + configuration(1) + videoFunction(0, kUnits) +
                               configuration(2) + videoFunction(0, kSecond);
        QCOMPARE(UvcDescriptors::extensionUnits(two, 0, 2), kSecond);
    }

    void malformedDescriptors_data()
    {
        QTest::addColumn<QByteArray>("descriptors");
        QTest::addColumn<QList<UvcExtensionUnit>>("expected");
        const QByteArray head =
            kDevice + configuration(1) + interface(0, 1) + extensionUnit(4, Main);
        const QByteArray zoom = extensionUnit(6, Zoom);
        const QList<UvcExtensionUnit> main = {{4, Main}};
        QTest::newRow("zero length stops the walk") << head + bytes({0, 0x24, 0x06}) + zoom << main;
        QTest::newRow("truncated unit") << head + zoom.left(15) << main;
        QTest::newRow("length past the end") << head + bytes({200, 0x24, 0x06, 6}) + zoom << main;
        QTest::newRow("too short for a GUID, skipped")
            << head + bytes({10, 0x24, 0x06, 5, 1, 2, 3, 4, 5, 6}) << main;
        QTest::newRow("outside any interface")
            << kDevice + configuration(1) + zoom << QList<UvcExtensionUnit>();
    }

    void malformedDescriptors()
    {
        QFETCH(QByteArray, descriptors);
        QFETCH(QList<UvcExtensionUnit>, expected);
        QCOMPARE(UvcDescriptors::extensionUnits(descriptors), expected);
    }

    void garbageEnds()
    {
        // Random bytes, and real descriptors with bytes flipped: the walk
        // ends without reading past the buffer (the sanitizer build watches
        // the reads), and every unit it reports fits inside the buffer.
        QRandomGenerator random(20261207);
        const QByteArray real = composite();
        for (int round = 0; round < 2000; ++round) {
            QByteArray data = real;
            if (round % 2) {
                for (int flips = random.bounded(1, 8); flips > 0; --flips) {
                    data[random.bounded(data.size())] = char(random.bounded(256));
                }
                data.truncate(random.bounded(data.size() + 1));
            } else {
                data.resize(random.bounded(300));
                for (char& c : data) {
                    c = char(random.bounded(256));
                }
            }
            const QByteArray exact(data.constData(), data.size()); // a heap block of that size
            QVERIFY(UvcDescriptors::extensionUnits(exact).size() * 20 <= exact.size());
        }
    }

    void sysfsLeadsFromTheNodeToItsFunction()
    {
        // The layout the kernel gives a composite USB camera: each node's
        // class link points, relatively, at its own control interface.
        QTemporaryDir root;
        const QString device = root.filePath("devices/pci0000:00/usb1/1-2");
        writeFile(device + "/descriptors", composite());
        writeFile(device + "/bConfigurationValue", "1\n");
        for (int number : {0, 2}) {
            const QString dir = device + "/1-2:1." + QString::number(number);
            writeFile(dir + "/bInterfaceNumber", "0" + QByteArray::number(number) + "\n");
            const QString classDir = root.filePath("class/video4linux/video%1").arg(number);
            QDir().mkpath(classDir);
            QVERIFY(QFile::link(QDir(classDir).relativeFilePath(dir), classDir + "/device"));
        }
        QCOMPARE(UvcSysfs::extensionUnits(root.path(), "/dev/video0"), kUnits);
        QCOMPARE(UvcSysfs::extensionUnits(root.path(), "/dev/video2"), kSecond);
        // Through a link to the node, as /dev/v4l/by-id gives it.
        QTemporaryDir dev;
        writeFile(dev.filePath("video2"), QByteArray());
        QVERIFY(QFile::link(dev.filePath("video2"), dev.filePath("usb-Vorn-video-index0")));
        QCOMPARE(UvcSysfs::extensionUnits(root.path(), dev.filePath("usb-Vorn-video-index0")),
                 kSecond);
        // A node that is no USB device, and one that does not exist.
        const QString platform = root.filePath("devices/platform/vivid.0");
        QDir().mkpath(platform);
        QDir().mkpath(root.filePath("class/video4linux/video4"));
        QVERIFY(
            QFile::link(QDir(root.filePath("class/video4linux/video4")).relativeFilePath(platform),
                        root.filePath("class/video4linux/video4/device")));
        UvcSysfsLocation location;
        QCOMPARE(UvcSysfs::locate(root.path(), "/dev/video4", &location), long(-ENODEV));
        QCOMPARE(UvcSysfs::locate(root.path(), "/dev/video9", &location), long(-ENOENT));
        QVERIFY(UvcSysfs::extensionUnits(root.path(), "/dev/video9").isEmpty());
    }

    void unitRequestsBecomeUvcQueries()
    {
        FakeNode node;
        node.unitControls[{4, 9}] = QByteArray(0x118, 'x');
        node.unitControls[{6, 9}] = QByteArray(0x118, 'x');
        node.unitControls[{4, 13}] = QByteArray(1, '\x06');
        node.unitControls[{6, 12}] = QByteArray(3, '\0');
        auto t = node.transport();
        unsigned long returned = 99;
        QCOMPARE(t->nodeProperty(Main, 9, SupportQuery, 4, nullptr, 0, &returned), 0L);
        QCOMPARE(node.unitCalls.last().query, int(UVC_GET_INFO));
        // Unit 6 has selector 9 too, but it is the zoom unit: the main set
        // is not answered there, and the driver is not even asked.
        QVERIFY(t->nodeProperty(Main, 9, SupportQuery, 6, nullptr, 0, &returned) < 0);
        QVERIFY(t->nodeProperty(Main, 9, SupportQuery, 5, nullptr, 0, &returned) < 0);
        QCOMPARE(node.unitCalls.size(), 1);
        QCOMPARE(t->nodeProperty(Main, 8, SupportQuery, 4, nullptr, 0, &returned), long(-ENOENT));

        QCOMPARE(t->nodeProperty(Main, 9, LengthQuery, 4, nullptr, 0, &returned), 0L);
        QCOMPARE(returned, 0x118UL); // little endian
        quint8 style = 0;
        QCOMPARE(t->nodeProperty(Main, 13, GetTransfer, 4, &style, 1, &returned), 0L);
        QCOMPARE(style, quint8(6));
        QCOMPARE(returned, 1UL);
        quint8 zoom[3] = {1, 0, 6};
        QCOMPARE(t->nodeProperty(Zoom, 12, SetTransfer, 6, zoom, 3, &returned), 0L);
        QCOMPARE(node.unitCalls.last().query, int(UVC_SET_CUR));
        QCOMPARE(node.unitCalls.last().sent, QByteArray("\x01\x00\x06", 3));
        // Another length than the control's: refused, nothing returned.
        quint8 wide[4] = {};
        QCOMPARE(t->nodeProperty(Main, 13, GetTransfer, 4, wide, 4, &returned), long(-ENOBUFS));
        QCOMPARE(returned, 0UL);
    }

    void malformedRequestsAreRefused_data()
    {
        QTest::addColumn<unsigned long>("flags");
        QTest::addColumn<unsigned long>("node");
        QTest::addColumn<bool>("withData");
        QTest::newRow("no topology flag") << 0x00000001UL << 4UL << true;
        QTest::newRow("get and set at once") << 0x10000003UL << 4UL << true;
        QTest::newRow("set without data") << SetTransfer << 4UL << false;
        QTest::newRow("neither get nor set") << 0x10000000UL << 4UL << true;
        QTest::newRow("node past a byte") << GetTransfer << 260UL << true;
    }

    void malformedRequestsAreRefused()
    {
        QFETCH(unsigned long, flags);
        QFETCH(unsigned long, node);
        QFETCH(bool, withData);
        FakeNode fake;
        fake.unitControls[{4, 13}] = QByteArray(1, '\x06');
        // Unit numbers are one byte: 260 must not reach unit 4.
        auto t = fake.transport(kUnits + QList<UvcExtensionUnit>{{260, Main}});
        quint8 byte = 0;
        unsigned long returned = 5;
        QVERIFY(t->nodeProperty(Main, 13, flags, node, withData ? &byte : nullptr, withData ? 1 : 0,
                                &returned) < 0);
        QCOMPARE(returned, 0UL);
        QVERIFY(fake.unitCalls.isEmpty());
    }

    void standardPropertiesBecomeV4l2Controls()
    {
        QCOMPARE(resultFromErrno(EIO), long(-EIO));
        QCOMPARE(resultFromErrno(0), long(-EIO)); // failed without errno: still failed
        QCOMPARE(resultFromErrno(-EBUSY), long(-EBUSY));
        const QList<QPair<long, quint32>> map = {
            {CameraControlProperty::Pan, V4L2_CID_PAN_ABSOLUTE},
            {CameraControlProperty::Tilt, V4L2_CID_TILT_ABSOLUTE},
            {CameraControlProperty::Zoom, V4L2_CID_ZOOM_ABSOLUTE},
            {CameraControlProperty::PanRelative, V4L2_CID_PAN_SPEED},
            {CameraControlProperty::TiltRelative, V4L2_CID_TILT_SPEED}};
        for (const auto& entry : map) {
            FakeNode node;
            node.addControl(entry.second, -36000, 36000, 0);
            auto t = node.transport();
            PropertyRange range;
            QCOMPARE(t->cameraControlGetRange(entry.first, &range), 0L);
            QCOMPARE(range.maximum, 36000L);
            QCOMPARE(range.step, 10L);
            QCOMPARE(t->cameraControlSet(entry.first, -1800, ControlFlags::Manual), 0L);
            QCOMPARE(node.sets.last().id, entry.second);
            // Sent as given, not clamped: the driver's refusal is the answer.
            QCOMPARE(t->cameraControlSet(entry.first, 50000, ControlFlags::Manual), long(-ERANGE));
        }
        FakeNode node;
        node.addControl(V4L2_CID_CONTRAST, 0, 100, 64);
        node.addControl(V4L2_CID_ZOOM_ABSOLUTE, 0, 10, 0, V4L2_CTRL_FLAG_DISABLED);
        auto t = node.transport();
        long value = 0, flags = 0;
        QCOMPARE(t->videoProcAmpGet(VideoProcAmpProperty::Contrast, &value, &flags), 0L);
        QCOMPARE(value, 64L);
        QCOMPARE(t->videoProcAmpSet(VideoProcAmpProperty::Contrast, 30, 2), 0L);
        QCOMPARE(node.controls[V4L2_CID_CONTRAST].second, 30);
        PropertyRange range;
        QVERIFY(t->cameraControlGetRange(CameraControlProperty::Zoom, &range) < 0); // disabled
        QVERIFY(t->cameraControlGetRange(CameraControlProperty::Pan, &range) < 0);  // missing
        // Unknown properties never reach the node.
        const int before = node.calls;
        QCOMPARE(t->cameraControlGetRange(2, &range), long(-EINVAL));
        QCOMPARE(t->cameraControlSet(42, 0, 2), long(-EINVAL));
        QCOMPARE(t->videoProcAmpGet(0, &value, &flags), long(-EINVAL));
        QCOMPARE(t->videoProcAmpSet(3, 0, 2), long(-EINVAL));
        QCOMPARE(node.calls, before);
    }

    void whiteBalance_data()
    {
        QTest::addColumn<bool>("hasAutomatic");
        QTest::addColumn<bool>("hasTemperature");
        QTest::addColumn<long>("flags");
        QTest::addColumn<long>("value");
        QTest::newRow("automatic") << true << true << ControlFlags::Auto << 4600L;
        QTest::newRow("no temperature") << true << false << ControlFlags::Auto << 0L;
        QTest::newRow("only temperature") << false << true << ControlFlags::Manual << 4600L;
    }

    void whiteBalance()
    {
        QFETCH(bool, hasAutomatic);
        QFETCH(bool, hasTemperature);
        QFETCH(long, flags);
        QFETCH(long, value);
        FakeNode node;
        if (hasAutomatic) {
            node.addControl(V4L2_CID_AUTO_WHITE_BALANCE, 0, 1, 1);
        }
        if (hasTemperature) {
            node.addControl(V4L2_CID_WHITE_BALANCE_TEMPERATURE, 2800, 6500, 4600);
        }
        auto t = node.transport();
        long readValue = -1, readFlags = -1;
        QCOMPARE(t->videoProcAmpGet(VideoProcAmpProperty::WhiteBalance, &readValue, &readFlags),
                 0L);
        QCOMPARE(readFlags, flags);
        QCOMPARE(readValue, value);
        if (hasAutomatic && hasTemperature) {
            QCOMPARE(t->videoProcAmpSet(VideoProcAmpProperty::WhiteBalance, 3000, 2), 0L);
            QCOMPARE(node.controls[V4L2_CID_AUTO_WHITE_BALANCE].second, 0);
            QCOMPARE(node.controls[V4L2_CID_WHITE_BALANCE_TEMPERATURE].second, 3000);
            QCOMPARE(t->videoProcAmpSet(VideoProcAmpProperty::WhiteBalance, 0, 1), 0L);
            QCOMPARE(node.controls[V4L2_CID_AUTO_WHITE_BALANCE].second, 1);
        }
    }

    void transportOwnsTheNodesDescriptor()
    {
        int fds[2];
        QCOMPARE(::pipe2(fds, O_CLOEXEC), 0);
        ::close(fds[1]);
        {
            UvcPropertyTransport transport(fds[0], "/dev/video2", "Vorn Camera", kUnits);
            VendorDialogDevice* device = transport.dialogDevice();
            QCOMPARE(device->structSize, quint32(sizeof(VendorDialogDevice)));
            QCOMPARE(device->fd, fds[0]);
            QCOMPARE(QByteArray(device->devicePath), QByteArray("/dev/video2"));
            QCOMPARE(QByteArray(device->cardName), QByteArray("Vorn Camera"));
            QVERIFY(fdIsOpen(fds[0]));
        }
        QVERIFY(!fdIsOpen(fds[0]));
    }

    void videoNodesInNumericOrder()
    {
        QTemporaryDir dev;
        for (const char* name : {"video10", "video2", "video0", "videox", "vbi0"}) {
            writeFile(dev.filePath(name), QByteArray());
        }
        LinuxPropertyDevices devices(dev.path(), "/nonexistent");
        QList<PropertyDeviceEntry> entries{PropertyDeviceEntry()};
        QCOMPARE(devices.enumerate(&entries), 0L);
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0].devicePath, dev.filePath("video0"));
        QCOMPARE(entries[2].devicePath, dev.filePath("video10"));
        QVERIFY(!entries[1].pathReadable); // a plain file answers no VIDIOC_QUERYCAP
        long result = 0;
        QVERIFY(!devices.bind(dev.filePath("video7"), &result));
        QCOMPARE(result, long(-ENOENT));
        QVERIFY(!devices.bind(dev.filePath("video0"), &result));
        QCOMPARE(result, long(-ENOTTY));
        LinuxPropertyDevices missing(dev.filePath("gone"), "/sys");
        QCOMPARE(missing.enumerate(&entries), long(-ENOENT));
        QVERIFY(entries.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Uvc)
#include "tst_uvc.moc"
