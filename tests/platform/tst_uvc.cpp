// A UVC camera's controls on Linux: extension units from the descriptors
// (also garbage ones) and sysfs, requests as the ioctls of a scripted node.

#include "testunits.h"
#include "uvcdescriptors.h"
#include "uvcpropertytransport.h"
#include "uvcsysfs.h"
#include "vorn_cameraproperty.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <map>

using namespace TestUnits;
using Units = QList<UvcExtensionUnit>;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

QByteArray configuration(int value)
{
    return hex("0902 0001 02") + char(value) + hex("00 80 FA");
}

QByteArray interface(int number, int subclass)
{
    return hex("0904") + char(number) + hex("00 01 0E") + char(subclass) + hex("0000");
}

QByteArray extensionUnit(int unitId, const QUuid& guid)
{
    return hex("1C 24 06") + char(unitId) + UvcDescriptors::guidToUsb(guid) +
           hex("18010203FFFFFF00");
}

// A video function: the control interface with its header, a camera
// terminal and the units, then a streaming interface holding a lookalike of
// an extension unit, which is none.
QByteArray videoFunction(int number, const Units& units)
{
    QByteArray d = interface(number, 1) + hex("0D24 0110 0140 0000 6CDC 0201 01") +
                   hex("1224 0201 0102 0000 0000 0000 0000 030E 0A02");
    for (const UvcExtensionUnit& unit : units) {
        d += extensionUnit(unit.unitId, unit.guid);
    }
    return d + interface(number + 1, 2) + extensionUnit(9, Other);
}

const QByteArray kHead = hex("1201 0002 EF02 0140 3412 7856 0001 0102 0301");
const Units kUnits = {{4, Main}, {6, Zoom}, {7, Other}};
const Units kSecond = {{4, Zoom}};
const QByteArray kComposite =
    kHead + configuration(1) + videoFunction(0, kUnits) + videoFunction(2, kSecond);

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly) && file.write(content) == content.size(),
             qPrintable(path));
}

// The driver side of a node: extension-unit controls by (unit, selector),
// answering as uvcvideo does and keeping the calls.
struct FakeNode
{
    std::map<std::pair<int, int>, QByteArray> unitControls;
    QList<uvc_xu_control_query> unitCalls;
    QByteArray lastSent;

    std::unique_ptr<UvcPropertyTransport> transport(const Units& units = kUnits)
    {
        return std::make_unique<UvcPropertyTransport>(
            -1, "/dev/video2", "Vorn Camera", units, [this](unsigned long request, void* arg) {
                return request == UVCIOC_CTRL_QUERY
                           ? unitQuery(static_cast<uvc_xu_control_query*>(arg))
                           : -EINVAL;
            });
    }

    int unitQuery(uvc_xu_control_query* q)
    {
        unitCalls.append(*q);
        auto it = unitControls.find({q->unit, q->selector});
        if (it == unitControls.end()) {
            return -ENOENT;
        }
        QByteArray& value = it->second;
        const int size = q->query == UVC_GET_INFO ? 1 : q->query == UVC_GET_LEN ? 2 : value.size();
        if (q->size != size) {
            return -ENOBUFS; // uvcvideo takes only the control's own length
        }
        if (q->query == UVC_GET_LEN) {
            q->data[0] = quint8(value.size()), q->data[1] = quint8(value.size() >> 8);
        } else if (q->query == UVC_GET_CUR) {
            std::memcpy(q->data, value.constData(), size_t(size));
        } else if (q->query == UVC_SET_CUR) {
            value = lastSent = QByteArray(reinterpret_cast<const char*>(q->data), size);
        }
        return 0;
    }
};

} // namespace

Q_DECLARE_METATYPE(UvcExtensionUnit)

class tst_Uvc : public QObject
{
    Q_OBJECT

private slots:
    void garbageEnds()
    {
        // Random bytes, and cut descriptors with bytes flipped: the walk stays
        // inside the buffer (the sanitizer build watches the reads).
        QRandomGenerator random(20261207);
        for (int round = 0; round < 2000; ++round) {
            QByteArray data = kComposite.left(random.bounded(kComposite.size() + 1));
            const int changes = round % 2 ? random.bounded(1, 8) : data.size();
            for (int i = 0; i < changes && !data.isEmpty(); ++i) {
                data[round % 2 ? random.bounded(data.size()) : i] = char(random.bounded(256));
            }
            const QByteArray exact(data.constData(), data.size()); // a heap block of that size
            QVERIFY(UvcDescriptors::extensionUnits(exact).size() * 20 <= exact.size());
        }
    }

    void zoomRatioFromTheCameraTerminal()
    {
        // Both focal lengths 0, as cameras without optical zoom announce them.
        QCOMPARE(UvcDescriptors::cameraZoomRatio(kComposite), 0.0);
        QByteArray zoomed = kComposite;
        const int at = zoomed.indexOf(hex("1224 0201 0102 0000"));
        QVERIFY(at > 0);
        zoomed.replace(at + 8, 4, hex("2800 A000")); // 40 .. 160
        QCOMPARE(UvcDescriptors::cameraZoomRatio(zoomed), 4.0);
        QCOMPARE(UvcDescriptors::cameraZoomRatio(zoomed, 0, 7), 0.0); // no such configuration
        zoomed.replace(at + 8, 4, hex("A000 2800")); // longest below shortest: nonsense
        QCOMPARE(UvcDescriptors::cameraZoomRatio(zoomed), 0.0);
    }

    void unitsOfTheNodesFunctionAndConfiguration()
    {
        QCOMPARE(UvcDescriptors::guidToUsb(Main), hex("34A9A6A7 4A3A 5143 85F4 042EF2CDCAAB"));
        QCOMPARE(UvcDescriptors::extensionUnits(kComposite).size(), 4);
        QVERIFY(UvcDescriptors::extensionUnits(kComposite, 1, -1).isEmpty());
        const QByteArray two = kHead + configuration(1) + videoFunction(0, kUnits) +
                               configuration(2) + videoFunction(0, kSecond);
        QCOMPARE(UvcDescriptors::extensionUnits(two, 0, 2), kSecond);
        // As the kernel lays out a composite USB camera: each node's class
        // link points, relatively, at its own control interface.
        QTemporaryDir root;
        const QString device = root.filePath("devices/pci0000:00/usb1/1-2");
        writeFile(device + "/descriptors", kComposite);
        writeFile(device + "/bConfigurationValue", "1\n");
        const auto addNode = [&](const QString& node, const QString& target) {
            QDir().mkpath(target);
            QDir().mkpath(root.filePath("class/video4linux/" + node));
            QVERIFY(QFile::link(
                QDir(root.filePath("class/video4linux/" + node)).relativeFilePath(target),
                root.filePath("class/video4linux/" + node + "/device")));
        };
        for (int number : {0, 2}) {
            const QString dir = device + "/1-2:1." + QString::number(number);
            writeFile(dir + "/bInterfaceNumber", "0" + QByteArray::number(number) + "\n");
            addNode("video" + QString::number(number), dir);
        }
        addNode("video4", root.filePath("devices/platform/vivid.0")); // no USB device
        QCOMPARE(UvcSysfs::extensionUnits(root.path(), "/dev/video0"), kUnits);
        QCOMPARE(UvcSysfs::extensionUnits(root.path(), "/dev/video2"), kSecond);
        UvcSysfsLocation location;
        QCOMPARE(UvcSysfs::locate(root.path(), "/dev/video4", &location), long(-ENODEV));
        QCOMPARE(UvcSysfs::locate(root.path(), "/dev/video9", &location), long(-ENOENT));
    }

    // A sound card belongs to the device of its interface folder, whole
    // folder names compared: "1-1" is not "1-10", "1-1.2" not "1-1.2.1".
    void soundCardsBelongToTheirOwnUsbDevice()
    {
        const QString bus = "/devices/pci0000:00/0000:00:14.0/usb1";
        for (const QString port : {"/1-10", "/1-1", "/1-1/1-1.2", "/1-1/1-1.2/1-1.2.1"}) {
            const QString name = port.section('/', -1);
            QCOMPARE(UvcSysfs::usbDeviceOf(bus + port + "/" + name + ":1.3/sound/card1"),
                     "/sys" + bus + port);
        }
        QCOMPARE(UvcSysfs::usbDeviceOf(bus + "/1-1/1-10:1.3/sound/card1"), QString());
        QCOMPARE(UvcSysfs::usbDeviceOf("/devices/pci0000:00/0000:00:1f.3/sound/card0"), QString());
    }

    void unitRequestsBecomeUvcQueries()
    {
        FakeNode node;
        node.unitControls = {{{4, 9}, QByteArray(0x118, 'x')},
                             {{6, 9}, QByteArray(0x118, 'x')},
                             {{4, 13}, QByteArray(1, '\x06')},
                             {{6, 12}, QByteArray(3, '\0')}};
        auto t = node.transport();
        // The descriptors give each unit's node, so no node search is needed.
        QCOMPARE(t->extensionUnitNode(Zoom), 2UL);
        QCOMPARE(t->extensionUnitNode(QUuid()), 0UL);
        unsigned long n = 99;
        QCOMPARE(t->nodeProperty(Main, 9, SupportQuery, 1, nullptr, 0, &n), 0L);
        // Node n is the n-th extension unit; node 2 (unit 6) has selector 9
        // too but is the zoom unit, so the driver is not even asked.
        QVERIFY(t->nodeProperty(Main, 9, SupportQuery, 2, nullptr, 0, &n) < 0);
        QVERIFY(t->nodeProperty(Main, 9, SupportQuery, 5, nullptr, 0, &n) < 0);
        QCOMPARE(node.unitCalls.size(), 1);
        QCOMPARE(t->nodeProperty(Main, 8, SupportQuery, 1, nullptr, 0, &n), long(-ENOENT));
        QCOMPARE(t->nodeProperty(Main, 9, LengthQuery, 1, nullptr, 0, &n), 0L);
        QCOMPARE(n, 0x118UL); // little endian
        quint8 style = 0;
        QCOMPARE(t->nodeProperty(Main, 13, GetTransfer, 1, &style, 1, &n), 0L);
        QCOMPARE(style, quint8(6));
        QCOMPARE(n, 1UL);
        quint8 zoom[3] = {1, 0, 6};
        QCOMPARE(t->nodeProperty(Zoom, 12, SetTransfer, 2, zoom, 3, &n), 0L);
        QCOMPARE(node.lastSent, QByteArray("\x01\x00\x06", 3));
        quint8 wide[4] = {}; // another length than the control's
        QCOMPARE(t->nodeProperty(Main, 13, GetTransfer, 1, wide, 4, &n), long(-ENOBUFS));
        QCOMPARE(n, 0UL);
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
        auto t = fake.transport(kUnits + Units{{260, Main}});
        quint8 byte = 0;
        unsigned long returned = 5;
        QVERIFY(t->nodeProperty(Main, 13, flags, node, withData ? &byte : nullptr, withData,
                                &returned) < 0);
        QCOMPARE(returned, 0UL);
        QVERIFY(fake.unitCalls.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_Uvc)
#include "tst_uvc.moc"
