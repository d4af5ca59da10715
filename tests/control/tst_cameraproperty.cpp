#include "controltesthelpers.h"

#include "logcapture.h"
#include "simulatedpropertytransport.h"

#include <QLibrary>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <memory>

using Kind = SimulatedControlRequest::Kind;

namespace {

// A system enumeration under the test's control: any paths, in any order,
// some unreadable, each bound to a simulated camera's property side.
class ScriptedDevices : public PropertyDevices
{
public:
    struct Device
    {
        QString path;
        std::shared_ptr<SimulatedCamera> camera; // null: binding fails
        bool readable = true;
    };

    long enumerate(QList<PropertyDeviceEntry>* devices) override
    {
        if (enumerateResult < 0) {
            return enumerateResult;
        }
        for (const Device& d : list) {
            devices->append({QStringLiteral("Camera at ") + d.path, d.path, d.readable});
        }
        return 0;
    }

    std::unique_ptr<PropertyTransport> bind(const QString& path, long* result) override
    {
        bound.append(path);
        for (const Device& d : list) {
            if (d.path == path && d.camera) {
                *result = 0;
                return std::make_unique<SimulatedPropertyTransport>(d.camera);
            }
        }
        *result = -EBUSY;
        return nullptr;
    }

    QList<Device> list;
    QStringList bound;
    long enumerateResult = 0;
};

QList<SimulatedControlRequest> unitRequests(const std::shared_ptr<SimulatedCamera>& camera)
{
    QList<SimulatedControlRequest> units;
    for (const SimulatedControlRequest& r : camera->requests()) {
        if (r.kind == Kind::UnitRequest) {
            units.append(r);
        }
    }
    return units;
}

} // namespace

// Property access against the simulated camera, asserting on the requests
// the camera received.
class tst_CameraProperty : public QObject
{
    Q_OBJECT

private:
    ControlFixture fixture;

private slots:
    void init() { fixture.reset(); }
    void cleanup() { fixture.reset(); }

    void nodeSearchThenLengthThenTransfer_data()
    {
        QTest::addColumn<unsigned long>("unitNode");
        QTest::addColumn<unsigned long>("usedNode");
        QTest::addColumn<int>("supportQueries");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("unit on node 5") << 5ul << 5ul << 16 << true;
        QTest::newRow("unit on node 20") << 20ul << 20ul << 1 << true;
        QTest::newRow("unit on node 1") << 1ul << 1ul << 20 << true;
        QTest::newRow("no node answers") << 40ul << 1ul << 20 << false;
    }

    void nodeSearchThenLengthThenTransfer()
    {
        QFETCH(unsigned long, unitNode);
        QFETCH(unsigned long, usedNode);
        QFETCH(int, supportQueries);
        QFETCH(bool, succeeds);
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyControlConfig([&](SimulatedControlConfig& c) { c.mainUnitNode = unitNode; });
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        camera->clearRequests();

        unsigned char flip = 1;
        const long result = property.extensionUnitRequest(25, PropertyFlags::Set, &flip, 1);
        QCOMPARE(result >= 0, succeeds);

        const QList<SimulatedControlRequest> sent = camera->requests();
        QCOMPARE(sent.size(), supportQueries + 2);
        QVERIFY(sent.size() <= 22);
        for (int i = 0; i < supportQueries; ++i) {
            const SimulatedControlRequest& r = sent.at(i);
            QCOMPARE(r.kind, Kind::UnitRequest);
            QCOMPARE(r.flags, 0x10000100ul);
            QCOMPARE(r.node, 20ul - i);
            QCOMPARE(r.length, 0ul);
            QCOMPARE(r.propertySet, MainUnitSet);
            QCOMPARE(r.id, 25ul);
        }
        const SimulatedControlRequest& length = sent.at(supportQueries);
        QCOMPARE(length.flags, 0x10000001ul);
        QCOMPARE(length.node, usedNode);
        QCOMPARE(length.length, 0ul);
        const SimulatedControlRequest& transfer = sent.at(supportQueries + 1);
        QCOMPARE(transfer.flags, 0x10000002ul);
        QCOMPARE(transfer.node, usedNode);
        QCOMPARE(transfer.length, succeeds ? 1ul : 0ul);
        QCOMPARE(camera->state().horizontalFlip, succeeds);

        // Nothing is remembered: the next request searches again.
        camera->clearRequests();
        property.extensionUnitRequest(25, PropertyFlags::Set, &flip, 1);
        QCOMPARE(camera->requests().size(), supportQueries + 2);
    }

    void eachInstanceTalksToItsOwnUnit()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        QCOMPARE(zoomProperty.open(camera->deviceName()), 0L);
        QCOMPARE(cameraProperty.open(camera->deviceName()), 0L);
        camera->clearRequests();
        unsigned char zoom[3] = {1, 0, 6};
        QVERIFY(zoomProperty.extensionUnitRequest(12, PropertyFlags::Set, zoom, 3) >= 0);
        QCOMPARE(camera->state().zoomDirection, 1);
        QCOMPARE(camera->state().zoomSpeed, 6);
        const QList<SimulatedControlRequest> sent = camera->requests();
        QCOMPARE(sent.last().propertySet, ZoomUnitSet);
        QCOMPARE(sent.last().node, camera->controlConfig().zoomUnitNode);
        QCOMPARE(sent.last().data, QByteArray("\x01\x00\x06", 3));
        // The main unit has no zoom control.
        QVERIFY(cameraProperty.extensionUnitRequest(12, PropertyFlags::Set, zoom, 3) < 0);
    }

    void neverOpenedSendsNothing()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_CameraProperty property(MainUnitSet);
        unsigned char data[24];
        std::memset(data, 0x5A, sizeof data);
        QCOMPARE(property.extensionUnitRequest(9, PropertyFlags::Get, data, 24), -1L);
        QCOMPARE(data[0], 0x5A);
        long value = 77, flags = 88, minimum = 11, maximum = 22;
        QVERIFY(property.getVideoProcAmp(1, &value, &flags) < 0);
        QVERIFY(property.getVideoProcAmpRange(1, &minimum, &maximum) < 0);
        QVERIFY(property.setVideoProcAmp(1, 50, 2) < 0);
        QVERIFY(property.readWhiteBalanceMode() < 0);
        QCOMPARE(value, 77L);
        QCOMPARE(flags, 88L);
        QCOMPARE(minimum, 11L);
        QCOMPARE(maximum, 22L);
        QCOMPARE(property.whiteBalanceMode, 3L);
        QVERIFY(property.cameraControl == nullptr);
        QVERIFY(!property.showPropertyDialog());
        QVERIFY(camera->requests().isEmpty());
    }

    void openMatchesTheDevicePathInTheName()
    {
        auto first = fixture.plug("First");
        auto second = fixture.plug("Second");
        auto tenth = fixture.plug("Tenth");
        ScriptedDevices devices;
        devices.list = {{"/dev/video1", first}, {"/dev/video10", tenth}, {"/dev/video2", second}};
        PropertyDevices::setInstance(&devices);
        Vorn_CameraProperty property(MainUnitSet);

        // /dev/video1 is a prefix of /dev/video10, not a match for it.
        QCOMPARE(property.open("/dev/video10"), 0L);
        QCOMPARE(devices.bound, QStringList({"/dev/video10"}));
        unsigned char flip = 1;
        QVERIFY(property.extensionUnitRequest(24, PropertyFlags::Set, &flip, 1) >= 0);
        QVERIFY(tenth->state().verticalFlip);
        QVERIFY(!first->state().verticalFlip);

        // Two paths in the name: the first in enumeration order wins.
        devices.bound.clear();
        QCOMPARE(property.open("usb:/dev/video2|/dev/video1"), 0L);
        QCOMPARE(devices.bound, QStringList({"/dev/video1"}));

        // Case matters, and no match leaves the instance unbound rather than
        // bound to the last device examined.
        devices.bound.clear();
        QVERIFY(property.open("/DEV/VIDEO2") < 0);
        QVERIFY(devices.bound.isEmpty());
        QCOMPARE(property.extensionUnitRequest(24, PropertyFlags::Set, &flip, 1), -1L);
        QVERIFY(property.cameraControl == nullptr);
        fixture.reset();
    }

    void unreadablePathIsSkippedAndFailuresReported()
    {
        auto camera = fixture.plug("Reachable");
        ScriptedDevices devices;
        devices.list = {
            {"/dev/video0", camera, false}, {"/dev/video3", nullptr}, {"/dev/video0", camera}};
        PropertyDevices::setInstance(&devices);
        Vorn_CameraProperty property(MainUnitSet);
        {
            LogCapture log;
            QCOMPARE(property.open("/dev/video0"), 0L);
            QVERIFY(log.lines().contains("error: devpath="));
            QVERIFY(log.lines().contains("error: devname=  \"Camera at /dev/video0\""));
        }
        {
            LogCapture log;
            QVERIFY(property.open("/dev/video3") < 0);
            QVERIFY(log.contains("error: pDeviceFilter"));
            QCOMPARE(property.extensionUnitRequest(9, PropertyFlags::Get, nullptr, 0), -1L);
        }
        devices.enumerateResult = -EACCES;
        QCOMPARE(property.open("/dev/video0"), long(-EACCES));
        fixture.reset();
    }

    void reportedLengthNeverOverrunsTheBuffer()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyControlConfig([](SimulatedControlConfig& c) {
            c.deviceInformation = "LONG:9.9.9-and-a-lot-more-text";
            c.reportedLengths[9] = 40;
            c.reportedLengths[25] = 4;
        });
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);

        // A heap buffer of exactly the caller's size: the sanitizers catch
        // any byte written past it.
        std::unique_ptr<unsigned char[]> info(new unsigned char[24]);
        QVERIFY(property.extensionUnitRequest(9, PropertyFlags::Get, info.get(), 24) >= 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(info.get()), 24),
                 QByteArray("LONG:9.9.9-and-a-lot-mor"));

        // A SET cannot be cut short: it is refused and nothing is sent.
        camera->clearRequests();
        std::unique_ptr<unsigned char[]> flip(new unsigned char[1]{1});
        QVERIFY(property.extensionUnitRequest(25, PropertyFlags::Set, flip.get(), 1) < 0);
        for (const SimulatedControlRequest& r : unitRequests(camera)) {
            QVERIFY((r.flags & PropertyFlags::Set) == 0);
        }
        QVERIFY(!camera->state().horizontalFlip);
    }

    void failedGetLeavesTheBufferAlone()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyState([](SimulatedCameraState& s) { s.exposure = -3; });
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        unsigned char value = 0x5A;
        QVERIFY(property.extensionUnitRequest(11, PropertyFlags::Get, &value, 1) >= 0);
        QCOMPARE(static_cast<signed char>(value), -3);
        failSelector(camera, 11);
        value = 0x5A;
        QVERIFY(property.extensionUnitRequest(11, PropertyFlags::Get, &value, 1) < 0);
        QCOMPARE(value, 0x5A);
        // Unplugged: every request fails.
        SimulatedHub::instance().unplug(camera->deviceName());
        QVERIFY(property.extensionUnitRequest(25, PropertyFlags::Get, &value, 1) < 0);
        QVERIFY(property.setVideoProcAmp(1, 40, 2) < 0);
    }

    void whiteBalanceMode()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_CameraProperty property(MainUnitSet);
        failStandard(camera, "PA Get 7");
        {
            LogCapture log;
            QCOMPARE(property.open(camera->deviceName()), 0L);
            QCOMPARE(property.whiteBalanceMode, 3L); // no successful read yet
            QVERIFY(log.contains("error:  WB mode:  3"));
            QVERIFY(log.contains("WB value:"));
        }
        camera->modifyControlConfig(
            [](SimulatedControlConfig& c) { c.failingStandardRequests.clear(); });
        QVERIFY(property.readWhiteBalanceMode() >= 0);
        QCOMPARE(property.whiteBalanceMode, 1L);
        camera->modifyState([](SimulatedCameraState& s) { s.autoWhiteBalance = false; });
        QVERIFY(property.readWhiteBalanceMode() >= 0);
        QCOMPARE(property.whiteBalanceMode, 2L);
        failStandard(camera, "PA Get 7");
        LogCapture log;
        QVERIFY(property.readWhiteBalanceMode() < 0);
        QCOMPARE(property.whiteBalanceMode, 2L);
        QVERIFY(log.lines().contains("error: WB mode: 2"));
        QVERIFY(log.contains("error: WB value:"));
    }

    void pictureProperties()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        long minimum = -1, maximum = -1, value = -1, flags = -1;
        QVERIFY(property.getVideoProcAmpRange(1, &minimum, &maximum) >= 0);
        QCOMPARE(minimum, 0L);
        QCOMPARE(maximum, 100L);
        QVERIFY(property.setVideoProcAmp(1, 64, 2) >= 0);
        QVERIFY(property.getVideoProcAmp(1, &value, &flags) >= 0);
        QCOMPARE(value, 64L);
        QCOMPARE(camera->state().contrast, 64);
        LogCapture log;
        QVERIFY(property.setVideoProcAmp(1, 500, 2) < 0);
        QVERIFY(log.contains("set Property: 1 failed!"));
        QCOMPARE(camera->state().contrast, 64);
        failStandard(camera, "PA Get 1");
        value = 5;
        QVERIFY(property.getVideoProcAmp(1, &value, &flags) < 0);
        QCOMPARE(value, 5L);
        QVERIFY(log.contains("get Property: 1 failed!"));
    }

    void dialogLibraryMissing()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        ScriptedAnswers answers;
        answers.button = QMessageBox::Ok;
        property.setDialogLibraryFile(QDir::temp().filePath("lumora-no-such-library.so"));
        LogCapture log;
        QVERIFY(property.showPropertyDialog());
        QCOMPARE(answers.requests.size(), 1);
        QCOMPARE(answers.requests.at(0).title, QString("Notice"));
        QCOMPARE(answers.requests.at(0).text, QString("DLL is not loaded!"));
        QCOMPARE(answers.requests.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QVERIFY(answers.requests.at(0).parent == nullptr);
        QVERIFY(log.lines().contains("uvc page exit"));
        QVERIFY(!property.dialogOpen);
    }

    void dialogLibraryWithoutShowDlg()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        ScriptedAnswers answers;
        property.setDialogLibraryFile(TEST_DIALOG_LIBRARY_NO_EXPORT);
        QVERIFY(property.showPropertyDialog());
        QCOMPARE(answers.requests.size(), 1);
        QCOMPARE(answers.requests.at(0).text, QString("Linke to Function is not OK!!!!"));
        QVERIFY(!property.dialogOpen);
    }

    void dialogLibraryGetsTheDeviceHandle()
    {
#if !defined(__linux__)
        QSKIP("the simulated camera's dialog handle is the Linux one");
#else
        auto camera = fixture.plug("Room Camera");
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        // Held open by the suite too, so its counters survive the unload
        // after the call.
        QLibrary library(TEST_DIALOG_LIBRARY);
        QVERIFY2(library.load(), qPrintable(library.errorString()));
        auto calls = reinterpret_cast<int (*)()>(library.resolve("lumoraTestCalls"));
        auto lastHandle = reinterpret_cast<void* (*)()>(library.resolve("lumoraTestLastHandle"));
        QVERIFY(calls && lastHandle);
        ScriptedAnswers answers;
        camera->clearRequests();
        property.setDialogLibraryFile(TEST_DIALOG_LIBRARY);
        QVERIFY(property.showPropertyDialog());
        QCOMPARE(answers.requests.size(), 0);
        QCOMPARE(calls(), 1);
        auto* handle = static_cast<VendorDialogDevice*>(lastHandle());
        QVERIFY(handle);
        QCOMPARE(handle->structSize, quint32(sizeof(VendorDialogDevice)));
        QCOMPARE(handle->version, VENDOR_DIALOG_DEVICE_VERSION);
        QCOMPARE(handle->fd, -1);
        QCOMPARE(QString::fromUtf8(handle->devicePath), camera->deviceName());
        QCOMPARE(QString::fromUtf8(handle->cardName), QString("Room Camera"));
        // The library read the camera through the handle.
        bool read = false;
        for (const SimulatedControlRequest& r : camera->requests()) {
            read = read || (r.kind == Kind::DialogGet && r.id == V4L2_CID_CONTRAST);
        }
        QVERIFY(read);
        QVERIFY(!property.dialogOpen);

        // While a dialog is open a second one is not started.
        property.dialogOpen = true;
        QVERIFY(!property.showPropertyDialog());
        QCOMPARE(calls(), 1);
        property.dialogOpen = false;
        library.unload();
#endif
    }
};

QTEST_MAIN(tst_CameraProperty)
#include "tst_cameraproperty.moc"
