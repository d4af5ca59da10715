#include "devicecatalog.h"
#include "linuxdevicecatalog.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"

#include <QDir>
#include <QtTest>

#include <memory>

namespace {

// A catalog with fixed lists, standing in for the system's own devices.
class FixedCatalog : public DeviceCatalog
{
public:
    VideoInputList video;
    AudioInputList audio;
    VideoInputList videoInputs() override { return video; }
    AudioInputList audioInputs() override { return audio; }
};

} // namespace

class tst_DeviceCatalog : public QObject
{
    Q_OBJECT

private slots:
    void init() { SimulatedHub::instance().reset(); }

    void environmentAsksForSimulatedCameras_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("count");
        QTest::newRow("unset") << QByteArray() << 0;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("two") << QByteArray("2") << 2;
        QTest::newRow("negative") << QByteArray("-3") << 0;
        QTest::newRow("not a number") << QByteArray("yes") << 0;
        QTest::newRow("absurd") << QByteArray("100000") << 16;
    }

    void environmentAsksForSimulatedCameras()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, count);
        if (value.isNull()) {
            qunsetenv("LUMORA_SIMULATED_CAMERAS");
        } else {
            qputenv("LUMORA_SIMULATED_CAMERAS", value);
        }
        QCOMPARE(SimulatedHub::requestedCameraCount(), count);
        qunsetenv("LUMORA_SIMULATED_CAMERAS");
    }

    void plugAndUnplug()
    {
        SimulatedHub& hub = SimulatedHub::instance();
        auto first = hub.plugCamera();
        SimulatedCameraConfig quiet;
        quiet.description = QStringLiteral("Quiet Cam");
        quiet.microphoneName.clear();
        auto second = hub.plugCamera(quiet);

        SimulatedDeviceCatalog catalog;
        VideoInputList video = catalog.videoInputs();
        QCOMPARE(video.size(), 2);
        QCOMPARE(video.at(0).description(), QString("Lumora Simulated Camera"));
        QVERIFY(video.at(0).isUsbCamera());
        QCOMPARE(video.at(1).description(), QString("Quiet Cam"));
        QVERIFY(video.at(0) != video.at(1));
        const AudioInputList audio = catalog.audioInputs();
        QCOMPARE(audio.size(), 1);
        QCOMPARE(audio.at(0).deviceName(), QString("Microphone (Lumora Simulated Camera)"));

        QVERIFY(first->acquireStream());
        QVERIFY(!first->acquireStream()); // one streaming client at a time
        hub.unplug(first->deviceName());
        QVERIFY(!first->isPlugged());
        QVERIFY(catalog.audioInputs().isEmpty());
        QCOMPARE(catalog.videoInputs().size(), 1);
        QVERIFY(!hub.camera(first->deviceName()));
        QCOMPARE(hub.camera(second->deviceName()), second);

        // A replugged camera gets a new device name, like a new USB node.
        auto again = hub.plugCamera();
        QVERIFY(again->deviceName() != first->deviceName());
        first->releaseStream();
    }

    void inUseCameraRefusesStreams()
    {
        auto camera = SimulatedHub::instance().plugCamera();
        camera->setInUseByOtherProgram(true);
        QVERIFY(!camera->acquireStream());
        camera->setInUseByOtherProgram(false);
        QVERIFY(camera->acquireStream());
        QVERIFY(camera->isStreaming());
        camera->releaseStream();
        QVERIFY(!camera->isStreaming());
    }

    void motionFollowsTheSpeedsWithinLimits()
    {
        auto camera = SimulatedHub::instance().plugCamera();
        camera->modifyState([](SimulatedCameraState& s) { s.panSpeed = 1; });
        camera->advanceMotion(1.0);
        const int moved = camera->state().pan;
        QVERIFY(moved > 0);
        camera->modifyState([](SimulatedCameraState& s) { s.panSpeed = -1; });
        camera->advanceMotion(0.5);
        QVERIFY(camera->state().pan < moved);
        camera->modifyState([](SimulatedCameraState& s) {
            s.panSpeed = 0;
            s.tiltSpeed = 5;
            s.zoomDirection = 1;
            s.zoomSpeed = 6;
        });
        for (int i = 0; i < 100; ++i) {
            camera->advanceMotion(1.0);
        }
        QCOMPARE(camera->state().tilt, 90);
        QCOMPARE(camera->state().zoom, 100);
        // Many small steps move as far as one large one: fractions are kept.
        auto other = SimulatedHub::instance().plugCamera();
        other->modifyState([](SimulatedCameraState& s) { s.panSpeed = 1; });
        for (int i = 0; i < 30; ++i) {
            other->advanceMotion(1.0 / 30);
        }
        QVERIFY(qAbs(other->state().pan - moved) <= 1);
    }

    void demoCatalogListsSystemDevicesAfterSimulatedOnes()
    {
        SimulatedHub::instance().plugCamera();
        auto system = std::make_unique<FixedCatalog>();
        system->video.append(VideoInputInfo("Vorn DShow VCamera", "/dev/video9", false));
        system->audio.append(AudioInputInfo("Built-in Microphone", "alsa_input.pci"));
        SimulatedDeviceCatalog catalog(std::move(system));
        const VideoInputList video = catalog.videoInputs();
        QCOMPARE(video.size(), 2);
        QVERIFY(video.at(0).isUsbCamera());
        QCOMPARE(video.at(1).description(), QString("Vorn DShow VCamera"));
        QCOMPARE(catalog.audioInputs().size(), 2);
        QCOMPARE(catalog.audioInputs().at(1).systemId(), QString("alsa_input.pci"));
    }

    void catalogCanBeReplaced()
    {
        FixedCatalog fixed;
        fixed.video.append(VideoInputInfo("X", "/dev/video0", true));
        DeviceCatalog::setInstance(&fixed);
        QCOMPARE(DeviceCatalog::instance().videoInputs().size(), 1);
        DeviceCatalog::setInstance(nullptr);
        QVERIFY(&DeviceCatalog::instance() != &fixed);
    }

    void linuxNodesOnThisMachine()
    {
        const QStringList nodes = QDir("/dev").entryList({"video*"}, QDir::System | QDir::Files);
        LinuxDeviceCatalog catalog;
        const VideoInputList inputs = catalog.videoInputs();
        // Every listed input is a real node; a second pass from the cache
        // gives the same list.
        for (const VideoInputInfo& input : inputs) {
            QVERIFY(input.deviceName().startsWith("/dev/video"));
        }
        QCOMPARE(catalog.videoInputs(), inputs);
        VideoInputInfo info;
        QVERIFY(!LinuxDeviceCatalog::queryNode("/dev/null", &info));
        QVERIFY(!LinuxDeviceCatalog::queryNode("/dev/video-does-not-exist", &info));
        if (nodes.isEmpty()) {
            QSKIP("no /dev/video* node on this machine: a real capture node cannot be queried");
        }
    }
};

QTEST_APPLESS_MAIN(tst_DeviceCatalog)
#include "tst_devicecatalog.moc"
