#include "uvcdescriptors.h"
#include "uvcsysfs.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>

namespace {

const QUuid MainUnitSet(QStringLiteral("{A7A6A934-3A4A-4351-85F4-042EF2CDCAAB}"));
const QUuid ZoomUnitSet(QStringLiteral("{9D33BBE7-E619-435C-8FAC-528EECCCBCA4}"));
const QUuid OtherUnitSet(QStringLiteral("{0F3F95DC-2632-4C4E-92C9-A04782F43BC8}"));

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values) {
        out.append(char(v));
    }
    return out;
}

// The descriptors of a UVC device as it would announce them, built piece by
// piece so each test can place the pieces it needs.
QByteArray deviceDescriptor()
{
    return bytes({18, 0x01, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x34, 0x12, 0x78, 0x56, 0x00, 0x01, 1,
                  2, 3, 1});
}

QByteArray configurationDescriptor(int value)
{
    // wTotalLength is not relied on; the walk goes by each bLength.
    return bytes({9, 0x02, 0x00, 0x01, 2, value, 0, 0x80, 250});
}

QByteArray interfaceAssociation()
{
    return bytes({8, 0x0B, 0, 2, 0x0E, 0x03, 0x00, 2});
}

QByteArray interfaceDescriptor(int number, int subclass, int alternate = 0)
{
    return bytes({9, 0x04, number, alternate, 1, 0x0E, subclass, 0x00, 0});
}

QByteArray videoControlHeader()
{
    return bytes({13, 0x24, 0x01, 0x10, 0x01, 0x40, 0x00, 0x00, 0x6C, 0xDC, 0x02, 1, 1});
}

QByteArray cameraTerminal()
{
    return bytes({18, 0x24, 0x02, 1, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x0E, 0x0A, 0x02});
}

QByteArray processingUnit()
{
    return bytes({13, 0x24, 0x05, 2, 1, 0, 0, 3, 0x5B, 0x17, 0x00, 0, 0x00});
}

QByteArray extensionUnit(int unitId, const QUuid& guid, int controlBytes = 3)
{
    QByteArray d = bytes({24 + 1 + controlBytes, 0x24, 0x06, unitId});
    d += UvcDescriptors::guidToUsb(guid);
    d += bytes({controlBytes * 8, 1, 2, controlBytes});
    d += QByteArray(controlBytes, char(0xFF));
    d += bytes({0});
    return d;
}

QByteArray outputTerminal()
{
    return bytes({9, 0x24, 0x03, 3, 0x01, 0x01, 0, 2, 0});
}

QByteArray interruptEndpoint()
{
    return bytes({7, 0x05, 0x83, 0x03, 0x10, 0x00, 0x08}) + bytes({5, 0x25, 0x03, 0x10, 0x00});
}

// A class-specific descriptor of a streaming interface with subtype 0x06 and
// room for a GUID: what an extension unit looks like outside VideoControl.
QByteArray streamingLookalike()
{
    QByteArray d = bytes({28, 0x24, 0x06, 9});
    d += UvcDescriptors::guidToUsb(OtherUnitSet);
    d += QByteArray(8, '\0');
    return d;
}

QByteArray videoFunction(int controlInterface, const QList<UvcExtensionUnit>& units)
{
    QByteArray d = interfaceAssociation() + interfaceDescriptor(controlInterface, 0x01) +
                   videoControlHeader() + cameraTerminal() + processingUnit();
    for (const UvcExtensionUnit& unit : units) {
        d += extensionUnit(unit.unitId, unit.guid);
    }
    d += outputTerminal() + interruptEndpoint();
    d += interfaceDescriptor(controlInterface + 1, 0x02) + streamingLookalike();
    return d;
}

const QList<UvcExtensionUnit> kCameraUnits = {
    {4, MainUnitSet}, {6, ZoomUnitSet}, {7, OtherUnitSet}};

QByteArray cameraDescriptors()
{
    return deviceDescriptor() + configurationDescriptor(1) + videoFunction(0, kCameraUnits);
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

// sysfs as the kernel lays it out for a USB camera: the class link of each
// node points, relatively, into the device tree at a USB interface.
class FakeSysfs
{
public:
    FakeSysfs() { QVERIFY(m_dir.isValid()); }

    QString root() const { return m_dir.path(); }

    QString addUsbDevice(const QString& name, const QByteArray& descriptors,
                         const QByteArray& configuration = "1\n")
    {
        const QString dir =
            root() + QStringLiteral("/devices/pci0000:00/0000:00:14.0/usb1/") + name;
        QDir().mkpath(dir);
        writeFile(dir + QStringLiteral("/descriptors"), descriptors);
        writeFile(dir + QStringLiteral("/bConfigurationValue"), configuration);
        return dir;
    }

    void addInterface(const QString& usbDeviceDir, int number)
    {
        const QString dir = interfaceDir(usbDeviceDir, number);
        QDir().mkpath(dir);
        writeFile(dir + QStringLiteral("/bInterfaceNumber"),
                  QByteArray::number(number, 16).rightJustified(2, '0') + '\n');
    }

    static QString interfaceDir(const QString& usbDeviceDir, int number)
    {
        const QString name = QFileInfo(usbDeviceDir).fileName();
        return usbDeviceDir + '/' + name + QStringLiteral(":1.") + QString::number(number);
    }

    void addNode(const QString& node, const QString& target)
    {
        const QString classDir = root() + QStringLiteral("/class/video4linux/") + node;
        QDir().mkpath(classDir);
        const QString relative = QDir(classDir).relativeFilePath(target);
        QVERIFY(QFile::link(relative, classDir + QStringLiteral("/device")));
    }

private:
    QTemporaryDir m_dir;
};

} // namespace

Q_DECLARE_METATYPE(UvcExtensionUnit)

class tst_UvcDescriptors : public QObject
{
    Q_OBJECT

private slots:
    void guidByteOrder()
    {
        const QByteArray usb = bytes({0x34, 0xA9, 0xA6, 0xA7, 0x4A, 0x3A, 0x51, 0x43, 0x85, 0xF4,
                                      0x04, 0x2E, 0xF2, 0xCD, 0xCA, 0xAB});
        QCOMPARE(UvcDescriptors::guidFromUsb(reinterpret_cast<const uchar*>(usb.constData())),
                 MainUnitSet);
        QCOMPARE(UvcDescriptors::guidToUsb(MainUnitSet), usb);
        const QByteArray zoom = UvcDescriptors::guidToUsb(ZoomUnitSet);
        QCOMPARE(zoom, bytes({0xE7, 0xBB, 0x33, 0x9D, 0x19, 0xE6, 0x5C, 0x43, 0x8F, 0xAC, 0x52,
                              0x8E, 0xEC, 0xCC, 0xBC, 0xA4}));
        QCOMPARE(UvcDescriptors::guidFromUsb(reinterpret_cast<const uchar*>(zoom.constData())),
                 ZoomUnitSet);
    }

    void findsEveryExtensionUnitOfTheControlInterface()
    {
        const QList<UvcExtensionUnit> units = UvcDescriptors::extensionUnits(cameraDescriptors());
        // The streaming interface's lookalike (unit 9) is no extension unit.
        QCOMPARE(units, kCameraUnits);
        QCOMPARE(UvcDescriptors::extensionUnits(cameraDescriptors(), 0, 1), kCameraUnits);
    }

    void noExtensionUnits()
    {
        const QByteArray plain =
            deviceDescriptor() + configurationDescriptor(1) + videoFunction(0, {});
        QVERIFY(UvcDescriptors::extensionUnits(plain).isEmpty());
    }

    void keepsToTheAskedInterfaceAndConfiguration()
    {
        // Two video functions in one device, each numbering its units from 1.
        const QList<UvcExtensionUnit> second = {{4, ZoomUnitSet}};
        const QByteArray composite = deviceDescriptor() + configurationDescriptor(1) +
                                     videoFunction(0, kCameraUnits) + videoFunction(2, second);
        QCOMPARE(UvcDescriptors::extensionUnits(composite, 0, -1), kCameraUnits);
        QCOMPARE(UvcDescriptors::extensionUnits(composite, 2, -1), second);
        QCOMPARE(UvcDescriptors::extensionUnits(composite).size(), 4);
        QVERIFY(UvcDescriptors::extensionUnits(composite, 1, -1).isEmpty());

        const QList<UvcExtensionUnit> otherConfiguration = {{5, OtherUnitSet}};
        const QByteArray twoConfigurations =
            deviceDescriptor() + configurationDescriptor(1) + videoFunction(0, kCameraUnits) +
            configurationDescriptor(2) + videoFunction(0, otherConfiguration);
        QCOMPARE(UvcDescriptors::extensionUnits(twoConfigurations, 0, 1), kCameraUnits);
        QCOMPARE(UvcDescriptors::extensionUnits(twoConfigurations, 0, 2), otherConfiguration);
    }

    void malformedInput_data()
    {
        QTest::addColumn<QByteArray>("descriptors");
        QTest::addColumn<QList<UvcExtensionUnit>>("expected");
        const QByteArray head = deviceDescriptor() + configurationDescriptor(1) +
                                interfaceDescriptor(0, 0x01) + videoControlHeader();
        const QByteArray main = extensionUnit(4, MainUnitSet);
        const QList<UvcExtensionUnit> mainOnly = {{4, MainUnitSet}};
        QTest::newRow("empty") << QByteArray() << QList<UvcExtensionUnit>();
        QTest::newRow("one byte") << bytes({24}) << QList<UvcExtensionUnit>();
        QTest::newRow("zero length stops the walk")
            << head + main + bytes({0, 0x24, 0x06}) + extensionUnit(6, ZoomUnitSet) << mainOnly;
        QTest::newRow("length one stops the walk")
            << head + main + bytes({1}) + extensionUnit(6, ZoomUnitSet) << mainOnly;
        QTest::newRow("truncated extension unit")
            << head + main + extensionUnit(6, ZoomUnitSet).left(15) << mainOnly;
        QTest::newRow("length past the end")
            << head + main + bytes({200, 0x24, 0x06, 6}) + UvcDescriptors::guidToUsb(ZoomUnitSet)
            << mainOnly;
        // Too short to hold a GUID: skipped, the walk goes on.
        QTest::newRow("short extension unit")
            << head + bytes({10, 0x24, 0x06, 5, 1, 2, 3, 4, 5, 6}) + main << mainOnly;
        QTest::newRow("extension unit outside any interface")
            << deviceDescriptor() + configurationDescriptor(1) + main << QList<UvcExtensionUnit>();
    }

    void malformedInput()
    {
        QFETCH(QByteArray, descriptors);
        QFETCH(QList<UvcExtensionUnit>, expected);
        QCOMPARE(UvcDescriptors::extensionUnits(descriptors), expected);
    }

    void garbageEnds()
    {
        // Random bytes, and a real stream with random bytes flipped: the walk
        // must end without reading past the buffer (the sanitizer build
        // watches the reads) and every unit it reports came from a full
        // descriptor inside the buffer.
        QRandomGenerator random(20261207);
        const QByteArray real = cameraDescriptors();
        for (int round = 0; round < 2000; ++round) {
            QByteArray data;
            if (round % 2) {
                data = real;
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
            // A heap copy of exactly the size, so a read past it is caught.
            const QByteArray exact(data.constData(), data.size());
            const QList<UvcExtensionUnit> units = UvcDescriptors::extensionUnits(exact);
            QVERIFY(units.size() * 20 <= exact.size());
        }
    }

    void locatesTheUsbInterfaceOfANode()
    {
        FakeSysfs sysfs;
        const QString device = sysfs.addUsbDevice(QStringLiteral("1-4"), cameraDescriptors());
        sysfs.addInterface(device, 0);
        sysfs.addInterface(device, 1);
        sysfs.addNode(QStringLiteral("video0"), FakeSysfs::interfaceDir(device, 0));

        UvcSysfsLocation location;
        QCOMPARE(UvcSysfs::locate(sysfs.root(), QStringLiteral("/dev/video0"), &location), 0L);
        QCOMPARE(location.interfaceDir,
                 QFileInfo(FakeSysfs::interfaceDir(device, 0)).canonicalFilePath());
        QCOMPARE(location.usbDeviceDir, QFileInfo(device).canonicalFilePath());
        QCOMPARE(location.interfaceNumber, 0);
        QCOMPARE(location.configurationValue, 1);
        QCOMPARE(UvcSysfs::extensionUnits(sysfs.root(), QStringLiteral("/dev/video0")),
                 kCameraUnits);
    }

    void locatesThroughALinkToTheNode()
    {
        FakeSysfs sysfs;
        const QString device = sysfs.addUsbDevice(QStringLiteral("2-1"), cameraDescriptors());
        sysfs.addInterface(device, 0);
        sysfs.addNode(QStringLiteral("video3"), FakeSysfs::interfaceDir(device, 0));
        QTemporaryDir dev;
        writeFile(dev.filePath(QStringLiteral("video3")), QByteArray());
        QDir().mkpath(dev.filePath(QStringLiteral("v4l/by-id")));
        const QString link = dev.filePath(QStringLiteral("v4l/by-id/usb-Vorn_Camera-video-index0"));
        QVERIFY(QFile::link(dev.filePath(QStringLiteral("video3")), link));
        QCOMPARE(UvcSysfs::extensionUnits(sysfs.root(), link), kCameraUnits);
    }

    void compositeDeviceUsesTheNodesOwnFunction()
    {
        FakeSysfs sysfs;
        const QList<UvcExtensionUnit> second = {{4, ZoomUnitSet}};
        const QString device = sysfs.addUsbDevice(
            QStringLiteral("1-2"), deviceDescriptor() + configurationDescriptor(1) +
                                       videoFunction(0, kCameraUnits) + videoFunction(2, second));
        sysfs.addInterface(device, 0);
        sysfs.addInterface(device, 2);
        sysfs.addNode(QStringLiteral("video0"), FakeSysfs::interfaceDir(device, 0));
        sysfs.addNode(QStringLiteral("video2"), FakeSysfs::interfaceDir(device, 2));
        QCOMPARE(UvcSysfs::extensionUnits(sysfs.root(), QStringLiteral("/dev/video0")),
                 kCameraUnits);
        QCOMPARE(UvcSysfs::extensionUnits(sysfs.root(), QStringLiteral("/dev/video2")), second);
    }

    void unconfiguredDeviceIsNotFiltered()
    {
        FakeSysfs sysfs;
        const QString device =
            sysfs.addUsbDevice(QStringLiteral("1-3"), cameraDescriptors(), QByteArray("\n"));
        sysfs.addInterface(device, 0);
        sysfs.addNode(QStringLiteral("video0"), FakeSysfs::interfaceDir(device, 0));
        UvcSysfsLocation location;
        QCOMPARE(UvcSysfs::locate(sysfs.root(), QStringLiteral("/dev/video0"), &location), 0L);
        QCOMPARE(location.configurationValue, -1);
        QCOMPARE(UvcSysfs::extensionUnits(sysfs.root(), QStringLiteral("/dev/video0")),
                 kCameraUnits);
    }

    void nodesWithoutAUsbCamera()
    {
        FakeSysfs sysfs;
        // A platform video device (a test driver, a loopback device): no USB
        // interface number, no descriptors.
        const QString platform = sysfs.root() + QStringLiteral("/devices/platform/vivid.0");
        QDir().mkpath(platform);
        sysfs.addNode(QStringLiteral("video4"), platform);
        UvcSysfsLocation location;
        QCOMPARE(UvcSysfs::locate(sysfs.root(), QStringLiteral("/dev/video4"), &location),
                 long(-ENODEV));
        QVERIFY(UvcSysfs::extensionUnits(sysfs.root(), QStringLiteral("/dev/video4")).isEmpty());
        QCOMPARE(UvcSysfs::locate(sysfs.root(), QStringLiteral("/dev/video9"), &location),
                 long(-ENOENT));
        QVERIFY(location.usbDeviceDir.isEmpty());
        QVERIFY(UvcSysfs::extensionUnits(sysfs.root(), QStringLiteral("/dev/video9")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_UvcDescriptors)
#include "tst_uvcdescriptors.moc"
