#include "simulatedhub.h"
#include "simulatedpropertydevices.h"
#include "simulatedpropertytransport.h"

#include <QtTest>

#include <cerrno>
#include <cstring>
#include <vector>

namespace {

constexpr unsigned long kSupport = 0x10000100;
constexpr unsigned long kLength = 0x10000001;
constexpr unsigned long kGet = 0x10000001;
constexpr unsigned long kSet = 0x10000002;

const QUuid& mainUnit()
{
    return SimulatedExtensionUnits::MainUnit;
}

const QUuid& zoomUnit()
{
    return SimulatedExtensionUnits::ZoomUnit;
}

// The simulated camera's property side, spoken to directly.
struct Wire
{
    Wire()
    {
        SimulatedHub::instance().reset();
        camera = SimulatedHub::instance().plugCamera();
        transport = std::make_unique<SimulatedPropertyTransport>(camera);
    }
    ~Wire() { SimulatedHub::instance().reset(); }

    unsigned long node(const QUuid& set) const
    {
        const SimulatedControlConfig c = camera->controlConfig();
        return set == zoomUnit() ? c.zoomUnitNode : c.mainUnitNode;
    }

    long length(const QUuid& set, unsigned long selector, unsigned long* reported)
    {
        return transport->nodeProperty(set, selector, kLength, node(set), nullptr, 0, reported);
    }

    long get(unsigned long selector, QByteArray* bytes, unsigned long size = 1)
    {
        std::vector<char> buffer(size, '\x5A');
        unsigned long returned = 0;
        const long result = transport->nodeProperty(mainUnit(), selector, kGet, node(mainUnit()),
                                                    buffer.data(), size, &returned);
        *bytes = QByteArray(buffer.data(), int(size));
        return result;
    }

    long set(unsigned long selector, QByteArray bytes, const QUuid& unit = mainUnit())
    {
        unsigned long returned = 0;
        return transport->nodeProperty(unit, selector, kSet, node(unit), bytes.data(),
                                       unsigned(bytes.size()), &returned);
    }

    std::shared_ptr<SimulatedCamera> camera;
    std::unique_ptr<SimulatedPropertyTransport> transport;
};

} // namespace

// The simulated camera's controls as the firmware answers them: the two
// extension units byte for byte, the standard controls with their ranges,
// the V4L2 view the vendor dialog uses, and the request log.
class tst_SimulatedControls : public QObject
{
    Q_OBJECT

private slots:
    void controlTable_data()
    {
        QTest::addColumn<bool>("zoom");
        QTest::addColumn<unsigned long>("selector");
        QTest::addColumn<unsigned long>("length");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<bool>("writable");
        QTest::newRow("device information") << false << 9ul << 24ul << true << false;
        QTest::newRow("exposure mode") << false << 10ul << 1ul << false << true;
        QTest::newRow("exposure") << false << 11ul << 1ul << true << true;
        QTest::newRow("style") << false << 13ul << 1ul << true << true;
        QTest::newRow("blue") << false << 14ul << 1ul << true << true;
        QTest::newRow("red") << false << 15ul << 1ul << true << true;
        QTest::newRow("factory") << false << 23ul << 1ul << false << true;
        QTest::newRow("vflip") << false << 24ul << 1ul << true << true;
        QTest::newRow("hflip") << false << 25ul << 1ul << true << true;
        QTest::newRow("audio") << false << 26ul << 1ul << true << true;
        QTest::newRow("processing") << false << 27ul << 1ul << true << true;
        QTest::newRow("zoom") << true << 12ul << 3ul << false << true;
    }

    void controlTable()
    {
        QFETCH(bool, zoom);
        QFETCH(unsigned long, selector);
        QFETCH(unsigned long, length);
        QFETCH(bool, readable);
        QFETCH(bool, writable);
        Wire wire;
        const QUuid& unit = zoom ? zoomUnit() : mainUnit();
        const QUuid& other = zoom ? mainUnit() : zoomUnit();

        // The support query succeeds only on the unit's node and set.
        for (unsigned long node = 1; node <= 20; ++node) {
            const long r =
                wire.transport->nodeProperty(unit, selector, kSupport, node, nullptr, 0, nullptr);
            QCOMPARE(r >= 0, node == wire.node(unit));
        }
        QVERIFY(wire.transport->nodeProperty(other, selector, kSupport, wire.node(other), nullptr,
                                             0, nullptr) < 0);
        unsigned long reported = 0;
        QVERIFY(wire.length(unit, selector, &reported) >= 0);
        QCOMPARE(reported, length);

        std::vector<char> buffer(length, 0);
        unsigned long returned = 0;
        const long got = wire.transport->nodeProperty(unit, selector, kGet, wire.node(unit),
                                                      buffer.data(), length, &returned);
        QCOMPARE(got >= 0, readable);
        QCOMPARE(returned, readable ? length : 0ul);
        // A transfer of another length than the control's is refused.
        if (readable) {
            std::vector<char> longer(length + 1, 0);
            QVERIFY(wire.transport->nodeProperty(unit, selector, kGet, wire.node(unit),
                                                 longer.data(), length + 1, nullptr) < 0);
        }
        if (!writable) {
            QVERIFY(wire.set(selector, QByteArray(int(length), '\0'), unit) < 0);
        }
    }

    void valuesGoWhereTheyBelong()
    {
        Wire wire;
        QVERIFY(wire.set(11, QByteArray("\xFD", 1)) >= 0);
        QVERIFY(wire.set(10, QByteArray("\x00", 1)) >= 0);
        QVERIFY(wire.set(15, QByteArray("\xF6", 1)) >= 0);
        QVERIFY(wire.set(14, QByteArray("\x0A", 1)) >= 0);
        QVERIFY(wire.set(13, QByteArray("\x05", 1)) >= 0);
        QVERIFY(wire.set(24, QByteArray("\x01", 1)) >= 0);
        QVERIFY(wire.set(26, QByteArray("\x00", 1)) >= 0);
        QVERIFY(wire.set(12, QByteArray("\xFF\x00\x06", 3), zoomUnit()) >= 0);
        SimulatedCameraState s = wire.camera->state();
        QCOMPARE(s.exposure, -3);
        QVERIFY(!s.autoExposure);
        QCOMPARE(s.redShift, -10);
        QCOMPARE(s.blueShift, 10);
        QCOMPARE(s.imageStyle, 5);
        QVERIFY(s.verticalFlip && !s.horizontalFlip);
        QVERIFY(!s.audioFunction);
        QCOMPARE(s.zoomDirection, -1);
        QCOMPARE(s.zoomSpeed, 6);

        QByteArray read;
        QVERIFY(wire.get(11, &read) >= 0);
        QCOMPARE(read, QByteArray("\xFD", 1));
        QVERIFY(wire.get(15, &read) >= 0);
        QCOMPARE(read, QByteArray("\xF6", 1));

        // Out of range or unknown values are refused and change nothing.
        QVERIFY(wire.set(11, QByteArray("\x08", 1)) < 0);
        QVERIFY(wire.set(14, QByteArray("\x0B", 1)) < 0);
        QVERIFY(wire.set(13, QByteArray("\x07", 1)) < 0);
        QVERIFY(wire.set(25, QByteArray("\x02", 1)) < 0);
        QVERIFY(wire.set(12, QByteArray("\x02\x00\x06", 3), zoomUnit()) < 0);
        QCOMPARE(wire.camera->state().exposure, -3);
        QCOMPARE(wire.camera->state().imageStyle, 5);

        // Stop zooming, then the factory settings: picture and head back
        // to their defaults, the audio switches kept for the next boot.
        QVERIFY(wire.set(12, QByteArray("\x00\x00\x00", 3), zoomUnit()) >= 0);
        QCOMPARE(wire.camera->state().zoomSpeed, 0);
        QVERIFY(wire.set(23, QByteArray("\x01", 1)) >= 0);
        s = wire.camera->state();
        QCOMPARE(s.exposure, 0);
        QVERIFY(s.autoExposure && !s.verticalFlip);
        QCOMPARE(s.imageStyle, 6);
        QVERIFY(!s.audioFunction);
    }

    void deviceInformation()
    {
        Wire wire;
        QByteArray info;
        QVERIFY(wire.get(9, &info, 24) >= 0);
        QCOMPARE(info, QByteArray("SIM:1.0.0").leftJustified(24, '\0'));
        wire.camera->modifyControlConfig([](SimulatedControlConfig& c) {
            c.deviceInformation = "ABCDEFGHIJ:0123456789abcdefgh";
        });
        QVERIFY(wire.get(9, &info, 24) >= 0);
        QCOMPARE(info, QByteArray("ABCDEFGHIJ:0123456789abc"));
    }

    void configuredNodesLengthsAndFailures()
    {
        Wire wire;
        wire.camera->modifyControlConfig([](SimulatedControlConfig& c) {
            c.mainUnitNode = 9;
            c.reportedLengths[9] = 30;
            c.failingSelectors << 25;
            c.failingStandardRequests << "CC GetRange 10";
        });
        QVERIFY(wire.transport->nodeProperty(mainUnit(), 9, kSupport, 9, nullptr, 0, nullptr) >= 0);
        unsigned long reported = 0;
        QVERIFY(wire.length(mainUnit(), 9, &reported) >= 0);
        QCOMPARE(reported, 30ul);
        QByteArray info;
        QVERIFY(wire.get(9, &info, 24) < 0); // the camera wants its 30 bytes
        QVERIFY(wire.get(9, &info, 30) >= 0);
        QCOMPARE(info.left(9), QByteArray("SIM:1.0.0"));
        QVERIFY(wire.get(25, &info) < 0);
        QCOMPARE(info, QByteArray("\x5A", 1)); // untouched
        PropertyRange range;
        QVERIFY(wire.transport->cameraControlGetRange(CameraControlProperty::PanRelative, &range) <
                0);
        QVERIFY(wire.transport->cameraControlGetRange(CameraControlProperty::TiltRelative,
                                                      &range) >= 0);
    }

    void standardControls()
    {
        Wire wire;
        PropertyRange range;
        QVERIFY(wire.transport->cameraControlGetRange(CameraControlProperty::PanRelative, &range) >=
                0);
        QVERIFY(range.defaultValue > 0 && range.minimum < 0 && range.maximum > 0);
        QVERIFY(wire.transport->cameraControlSet(CameraControlProperty::PanRelative,
                                                 -range.defaultValue, ControlFlags::Manual) >= 0);
        QCOMPARE(wire.camera->state().panSpeed, -range.defaultValue);
        wire.camera->advanceMotion(1.0);
        QVERIFY(wire.camera->state().pan < 0); // moving left while the speed is set
        QVERIFY(wire.transport->cameraControlSet(CameraControlProperty::Pan, 0,
                                                 ControlFlags::Manual) >= 0);
        QCOMPARE(wire.camera->state().pan, 0);
        QVERIFY(wire.transport->cameraControlSet(CameraControlProperty::Zoom, 101,
                                                 ControlFlags::Manual) < 0);

        QVERIFY(wire.transport->videoProcAmpGetRange(VideoProcAmpProperty::Contrast, &range) >= 0);
        QCOMPARE(range.minimum, 0L);
        QCOMPARE(range.maximum, 100L);
        QCOMPARE(range.defaultValue, 50L);
        long value = 0, flags = 0;
        QVERIFY(wire.transport->videoProcAmpGet(VideoProcAmpProperty::WhiteBalance, &value,
                                                &flags) >= 0);
        QCOMPARE(flags, long(ControlFlags::Auto));
        QVERIFY(wire.transport->videoProcAmpSet(VideoProcAmpProperty::WhiteBalance, 3200,
                                                ControlFlags::Manual) >= 0);
        QVERIFY(wire.transport->videoProcAmpGet(VideoProcAmpProperty::WhiteBalance, &value,
                                                &flags) >= 0);
        QCOMPARE(flags, long(ControlFlags::Manual));
        QCOMPARE(value, 3200L);
    }

    void dialogView()
    {
        Wire wire;
        VendorDialogDevice* d = wire.transport->dialogDevice();
        QCOMPARE(d->structSize, quint32(sizeof(VendorDialogDevice)));
        QCOMPARE(d->fd, -1);
        QCOMPARE(QString::fromUtf8(d->devicePath), wire.camera->deviceName());
        // The enumeration walks every control in id order and ends.
        QList<quint32> ids;
        v4l2_query_ext_ctrl query{};
        query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
        while (d->queryExtControl(d->context, &query) == 0) {
            QVERIFY(ids.isEmpty() || query.id > ids.last());
            ids.append(query.id);
            if (query.id == V4L2_CID_WHITE_BALANCE_TEMPERATURE) {
                QVERIFY(query.flags & V4L2_CTRL_FLAG_INACTIVE); // automatic white balance
            }
            query.id |= V4L2_CTRL_FLAG_NEXT_CTRL;
        }
        QVERIFY(ids.contains(V4L2_CID_CONTRAST));
        QVERIFY(ids.contains(V4L2_CID_PAN_SPEED));
        QVERIFY(ids.contains(V4L2_CID_EXPOSURE_AUTO));

        v4l2_querymenu item{};
        item.id = V4L2_CID_EXPOSURE_AUTO;
        item.index = V4L2_EXPOSURE_MANUAL;
        QCOMPARE(d->queryMenu(d->context, &item), 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(item.name)), QByteArray("Manual Mode"));
        item.index = 0;
        QVERIFY(d->queryMenu(d->context, &item) < 0);

        v4l2_control control{V4L2_CID_HFLIP, 1};
        QCOMPARE(d->setControl(d->context, &control), 0);
        QVERIFY(wire.camera->state().horizontalFlip);
        control = {V4L2_CID_WHITE_BALANCE_TEMPERATURE, 3000};
        QVERIFY(d->setControl(d->context, &control) < 0); // inactive while automatic
        control = {V4L2_CID_CONTRAST, 0};
        QCOMPARE(d->getControl(d->context, &control), 0);
        QCOMPARE(control.value, 50);
    }

    void requestLogAndUnplug()
    {
        Wire wire;
        wire.camera->clearRequests();
        QByteArray data;
        wire.get(25, &data);
        wire.set(24, QByteArray("\x01", 1));
        const QList<SimulatedControlRequest> log = wire.camera->requests();
        QCOMPARE(log.size(), 2);
        QCOMPARE(log.at(0).id, 25ul);
        QCOMPARE(log.at(0).flags, kGet);
        QCOMPARE(log.at(0).data, QByteArray("\x00", 1));
        QCOMPARE(log.at(1).data, QByteArray("\x01", 1));
        QCOMPARE(log.at(1).propertySet, mainUnit());

        SimulatedHub::instance().unplug(wire.camera->deviceName());
        QCOMPARE(wire.get(25, &data), long(-ENODEV));
        QCOMPARE(wire.transport->cameraControlSet(0, 0, ControlFlags::Manual), long(-ENODEV));

        // The devices list the hub's cameras; an unplugged one cannot be bound.
        SimulatedPropertyDevices devices;
        auto other = SimulatedHub::instance().plugCamera();
        QList<PropertyDeviceEntry> entries;
        QCOMPARE(devices.enumerate(&entries), 0L);
        QCOMPARE(entries.size(), 1);
        QCOMPARE(entries.at(0).devicePath, other->deviceName());
        long result = 0;
        QVERIFY(devices.bind(other->deviceName(), &result));
        QVERIFY(!devices.bind(wire.camera->deviceName(), &result));
        QVERIFY(result < 0);
    }
};

QTEST_MAIN(tst_SimulatedControls)
#include "tst_simulatedcontrols.moc"
