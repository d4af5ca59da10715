// Property access against simulated cameras, asserting on the requests
// the camera received, and the vendor dialog library loaded as the
// program loads it.

#include "controltesthelpers.h"
#include "dialogseam.h"
#include "propertynotice.h"
#include "scripteddialogs.h"
#include "simulatedpropertytransport.h"
#ifdef __linux__
#include "vendordialogdevice.h"
#endif
#include "vorn_cameraproperty.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLibrary>
#include <QTimer>
#include <QtTest>

#include <cerrno>

using Kind = SimulatedControlRequest::Kind;

namespace {

// A system enumeration under the test's control: paths in this order, those
// ending in '!' unreadable, each bound to the camera mapped to it (none:
// binding fails).
struct ScriptedDevices : PropertyDevices
{
    long enumerate(QList<PropertyDeviceEntry>* devices) override
    {
        for (const QString& path : paths) {
            devices->append({"Camera at " + path, QString(path).remove('!'), !path.endsWith('!')});
        }
        return result;
    }
    std::unique_ptr<PropertyTransport> bind(const QString& path, long* result) override
    {
        bound << path;
        *result = cameras.value(path) ? 0 : -EBUSY;
        return *result ? nullptr : std::make_unique<SimulatedPropertyTransport>(cameras[path]);
    }
    QStringList paths, bound;
    QMap<QString, std::shared_ptr<SimulatedCamera>> cameras;
    long result = 0;
};

#if defined(VIDEO_CAPTURE_FILTER_LIBRARY) && defined(__linux__)
// Runs inspect on the modal dialog once it is up, then closes it, so that
// the call that opened it returns.
void whenADialogShows(const std::function<void(QDialog*)>& inspect)
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, inspect] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            poll->deleteLater();
            inspect(dialog);
            dialog->reject();
        }
    });
    poll->start(10);
}
#endif

} // namespace

class tst_CameraProperty : public QObject
{
    Q_OBJECT

private:
    ControlFixture fixture;

private slots:
    // As the window shows the property layer's notices.
    void initTestCase() { PropertyNotice::setHandler(&DialogSeam::notice); }
    void init() { fixture.reset(); }

    void nodeSearchThenLengthThenTransfer_data()
    {
        QTest::addColumn<unsigned long>("unitNode");
        QTest::addColumn<int>("supportQueries");
        QTest::newRow("unit on the first node tried") << 20ul << 1;
        QTest::newRow("unit on the last node tried") << 1ul << 20;
        QTest::newRow("no node answers") << 40ul << 20;
    }

    void nodeSearchThenLengthThenTransfer()
    {
        QFETCH(unsigned long, unitNode);
        QFETCH(int, supportQueries);
        const bool succeeds = unitNode <= 20;
        auto camera = fixture.plug("Lumora Simulated Camera");
        camera->modifyControlConfig([&](SimulatedControlConfig& c) { c.mainUnitNode = unitNode; });
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        for (int round = 0; round < 2; ++round) { // nothing is remembered between requests
            camera->clearRequests();
            unsigned char flip = 1;
            QCOMPARE(property.extensionUnitRequest(25, PropertyFlags::Set, &flip, 1) >= 0,
                     succeeds);
            const QList<SimulatedControlRequest> sent = camera->requests();
            QCOMPARE(sent.size(), supportQueries + 2);
            for (int i = 0; i < sent.size(); ++i) {
                const SimulatedControlRequest& r = sent.at(i);
                const unsigned long flags = i < supportQueries    ? TestUnits::SupportQuery
                                            : i == supportQueries ? TestUnits::LengthQuery
                                                                  : TestUnits::SetTransfer;
                QCOMPARE(r.flags, flags);
                QCOMPARE(r.node, i < supportQueries ? 20ul - i : succeeds ? unitNode : 1ul);
                QCOMPARE(r.propertySet, TestUnits::Main);
                QCOMPARE(r.id, 25ul);
                QCOMPARE(r.length, i == supportQueries + 1 && succeeds ? 1ul : 0ul);
            }
            QCOMPARE(camera->state().horizontalFlip, succeeds);
        }
    }

    void reportedLengthNeverOverrunsTheBuffer()
    {
        auto camera = fixture.plug("Lumora Simulated Camera", "LONG:9.9.9-and-a-lot-more-text");
        camera->modifyControlConfig([](SimulatedControlConfig& c) {
            c.reportedLengths[9] = 40;
            c.reportedLengths[25] = 4;
        });
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        // Heap buffers of exactly the caller's size: the sanitizers catch
        // any byte written past them.
        std::unique_ptr<unsigned char[]> info(new unsigned char[24]);
        QVERIFY(property.extensionUnitRequest(9, PropertyFlags::Get, info.get(), 24) >= 0);
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(info.get()), 24),
                 QByteArray("LONG:9.9.9-and-a-lot-mor"));
        // A SET cannot be cut short: it is refused and nothing is sent.
        requests(camera);
        std::unique_ptr<unsigned char[]> flip(new unsigned char[1]{1});
        QVERIFY(property.extensionUnitRequest(25, PropertyFlags::Set, flip.get(), 1) < 0);
        QCOMPARE(requests(camera), QStringList());
        QVERIFY(!camera->state().horizontalFlip);
    }

    void failedRequestsLeaveTheCallersValuesAlone()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_CameraProperty never(MainUnitSet);
        unsigned char byte = 0x5A;
        long value = 77, flags = 88;
        QCOMPARE(never.extensionUnitRequest(9, PropertyFlags::Get, &byte, 1), -1L);
        {
            ScriptedDialogs user;
            QVERIFY(never.setVideoProcAmp(1, 50, 2) < 0 && !never.showPropertyDialog());
            QCOMPARE(user.messages().size(), 1); // said so, not silently ignored
        }
        QVERIFY(camera->requests().isEmpty());
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        QCOMPARE(property.whiteBalanceMode, 1L);
        failRequests(camera, {11}, {"PA Get 1", "PA Get 7"});
        QVERIFY(property.extensionUnitRequest(11, PropertyFlags::Get, &byte, 1) < 0);
        QVERIFY(property.getVideoProcAmp(1, &value, &flags) < 0);
        QVERIFY(property.setVideoProcAmp(1, 500, 2) < 0); // out of range
        QVERIFY(property.readWhiteBalanceMode() < 0);
        QVERIFY(byte == 0x5A && value == 77 && camera->state().contrast == 50);
        QCOMPARE(property.whiteBalanceMode, 1L); // the last one read
        SimulatedHub::instance().unplug(camera->deviceName());
        QVERIFY(property.setVideoProcAmp(1, 40, 2) < 0);
    }

    void openMatchesTheDevicePathInTheName()
    {
        auto first = fixture.plug("First");
        auto tenth = fixture.plug("Tenth");
        ScriptedDevices devices;
        devices.paths = QStringList{"/dev/video0!", "/dev/video1", "/dev/video10", "/dev/video3"};
        devices.cameras = {{"/dev/video0", first}, {"/dev/video1", first}, {"/dev/video10", tenth}};
        PropertyDevices::setInstance(&devices);
        Vorn_CameraProperty property(MainUnitSet);
        // /dev/video1 is a prefix of /dev/video10, not a match for it.
        QCOMPARE(property.open("/dev/video10"), 0L);
        QCOMPARE(devices.bound, QStringList{"/dev/video10"});
        unsigned char flip = 1;
        QVERIFY(property.extensionUnitRequest(24, PropertyFlags::Set, &flip, 1) >= 0);
        QVERIFY(tenth->state().verticalFlip && !first->state().verticalFlip);
        // Two paths in the name: the first readable one in enumeration order.
        devices.bound.clear();
        QCOMPARE(property.open("usb:/dev/video10|/dev/video0|/dev/video1"), 0L);
        QCOMPARE(devices.bound, QStringList{"/dev/video1"});
        // No match, or no binding, leaves the instance unbound.
        QVERIFY(property.open("/DEV/VIDEO10") < 0);
        QCOMPARE(property.extensionUnitRequest(24, PropertyFlags::Set, &flip, 1), -1L);
        QVERIFY(property.open("/dev/video3") < 0);
        QVERIFY(property.cameraControl == nullptr);
        devices.result = -EACCES;
        QCOMPARE(property.open("/dev/video1"), long(-EACCES));
        fixture.reset();
    }

    void dialogLibraryThatCannotBeUsed()
    {
        auto camera = fixture.plug("Lumora Simulated Camera");
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        ScriptedDialogs user;
        for (const QString& file :
             QStringList{QDir::temp().filePath("none.so"), LIBRARY_WITHOUT_SHOWDLG}) {
            property.setDialogLibraryFile(file);
            QVERIFY(property.showPropertyDialog() && !property.dialogOpen);
        }
        QCOMPARE(user.messages(),
                 QStringList({"DLL is not loaded!", "Linke to Function is not OK!!!!"}));
#if defined(VIDEO_CAPTURE_FILTER_LIBRARY) && defined(Q_OS_WIN)
        // The simulated camera has no DirectShow filter, so no property page.
        property.setDialogLibraryFile(VIDEO_CAPTURE_FILTER_LIBRARY);
        QVERIFY(!property.showPropertyDialog() && !property.dialogOpen);
        QVERIFY2(user.messages().last().startsWith("Advanced settings can't be shown: "),
                 qPrintable(user.messages().last()));
#endif
    }

#if defined(VIDEO_CAPTURE_FILTER_LIBRARY) && defined(__linux__)
    // The Linux dialog library against the simulated camera's V4L2 view.
    void vendorDialogShowsAndWritesTheCamerasControls()
    {
        auto camera = fixture.plug("Room Camera");
        Vorn_CameraProperty property(MainUnitSet);
        QCOMPARE(property.open(camera->deviceName()), 0L);
        property.setDialogLibraryFile(VIDEO_CAPTURE_FILTER_LIBRARY);
        bool shown = false;
        whenADialogShows([&](QDialog* dialog) {
            shown = true;
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Room Camera"));
            QVERIFY(!property.showPropertyDialog()); // one at a time
            const auto control = [&](quint32 id) {
                return dialog->findChild<QWidget*>(QStringLiteral("control_%1").arg(id));
            };
            auto* contrast = qobject_cast<QSlider*>(control(V4L2_CID_CONTRAST));
            QVERIFY(contrast);
            QCOMPARE(contrast->value(), 50);
            contrast->setValue(70);
            QCOMPARE(camera->state().contrast, 70);
            // Its value label tells the number the pages and lumora-ctl show.
            QCOMPARE(dialog->findChild<QLabel*>(contrast->objectName() + "_value")->text(), "70");
            // The menu's own indexes (uvcvideo's exposure menu has holes),
            // not the rows of the combo box.
            auto* exposure = qobject_cast<QComboBox*>(control(V4L2_CID_EXPOSURE_AUTO));
            QVERIFY(exposure);
            QCOMPARE(exposure->count(), 2);
            emit exposure->activated(0);
            QVERIFY(!camera->state().autoExposure);
            // Refused while automatic white balance is on: the device's
            // value comes back.
            auto* temperature = qobject_cast<QSlider*>(control(V4L2_CID_WHITE_BALANCE_TEMPERATURE));
            QVERIFY(temperature && !temperature->isEnabled());
            const int held = temperature->value();
            temperature->setValue(held + 500);
            QCOMPARE(temperature->value(), held);
        });
        QVERIFY(property.showPropertyDialog());
        QVERIFY(shown);
        QVERIFY(!property.dialogOpen);
        // Handles it cannot use are refused without a dialog.
        QLibrary library(VIDEO_CAPTURE_FILTER_LIBRARY);
        auto showDlg = reinterpret_cast<VendorShowDlgFunction>(library.resolve("ShowDlg"));
        VendorDialogDevice device{};
        device.structSize = sizeof device - 8; // as from an older program
        device.version = VENDOR_DIALOG_DEVICE_VERSION;
        QVERIFY(showDlg && showDlg(nullptr) < 0 && showDlg(&device) < 0);
        device.structSize = sizeof device;
        device.fd = -1; // no node and no callbacks: nothing reaches a camera
        QVERIFY(showDlg(&device) < 0);
    }

#endif
};

QTEST_MAIN(tst_CameraProperty)
#include "tst_cameraproperty.moc"
