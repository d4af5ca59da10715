#include "logcapture.h"
#include "mainwindowinspector.h"
#include "simulateddevicecatalog.h"
#include "simulatedhub.h"
#include "vorn_ffmpeglib.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

// The preview switch, the frame path and the camera-in-use picture, with
// the real capture library reading the simulated camera.
class tst_Preview : public QObject
{
    Q_OBJECT

private:
    SimulatedHub& hub = SimulatedHub::instance();
    SimulatedDeviceCatalog catalog;

    static QSize pixmapSize(QLabel* label) { return label->pixmap(Qt::ReturnByValue).size(); }

private slots:
    void initTestCase() { DeviceCatalog::setInstance(&catalog); }
    void cleanupTestCase() { DeviceCatalog::setInstance(nullptr); }
    void init() { hub.reset(); }

    void previewShowsEveryFrameScaled()
    {
        hub.plugCamera();
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        QVERIFY(inspect.captureOn());
        QVERIFY(!inspect.ui()->bt_shot->isEnabled());

        LogCapture log;
        inspect.ui()->pushButton_preview->setChecked(true);
        QVERIFY(log.lines().contains("start camera....\n"));
        // Buttons come on with the switch, capture 800 ms later.
        QVERIFY(inspect.ui()->bt_shot->isEnabled());
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 10000);
        QVERIFY(inspect.captureLib()->CaptureIsOpen());
        QCOMPARE(inspect.lastFrame().size(), QSize(1280, 720));
        QCOMPARE(inspect.lastFrame().format(), QImage::Format_RGB888);
        QTRY_COMPARE(pixmapSize(inspect.ui()->label_cameraview), QSize(800, 530));

        // The picture is live: a later frame differs from an earlier one.
        const QImage first = inspect.lastFrame().copy();
        QTRY_VERIFY_WITH_TIMEOUT(inspect.lastFrame() != first, 5000);

        const QPoint mediaBarOn = inspect.ui()->mediaCtrl->mapTo(&window, QPoint());
        inspect.ui()->pushButton_preview->setChecked(false);
        QVERIFY(log.lines().contains("stop camera...."));
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
        QVERIFY(!inspect.ui()->label_cameraview->isVisible());
        // The window keeps its layout: the media bar stays where it was once
        // the layout requests, which travel up the widget tree, are through.
        QTest::qWait(200);
        QCOMPARE(inspect.ui()->mediaCtrl->mapTo(&window, QPoint()), mediaBarOn);
        QVERIFY(!inspect.ui()->bt_record->isEnabled());
        QVERIFY(!inspect.ui()->bt_volume->isEnabled());
        QCOMPARE(inspect.ui()->label_recordTime->text(), QString());
    }

    void switchedOffBeforeTheDeferredStart()
    {
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.ui()->pushButton_preview->setChecked(true);
        inspect.ui()->pushButton_preview->setChecked(false);
        QTest::qWait(1200);
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
        QVERIFY(inspect.lastFrame().isNull());
    }

    void cameraInUseShowsThePicture()
    {
        auto camera = hub.plugCamera();
        camera->setInUseByOtherProgram(true);
        Vorn_Cam window;
        window.show();
        MainWindowInspector inspect(window);
        QLabel* view = inspect.ui()->label_cameraview;

        for (int attempt = 0; attempt < 2; ++attempt) {
            inspect.ui()->pushButton_preview->setChecked(true);
            QTRY_COMPARE_WITH_TIMEOUT(pixmapSize(view), QSize(285, 29), 10000);
            QVERIFY(inspect.ui()->pushButton_preview->isChecked());
            QVERIFY(inspect.ui()->bt_shot->isEnabled());
            QVERIFY(view->isVisible());
            inspect.ui()->pushButton_preview->setChecked(false);
        }
        QCOMPARE(view->styleSheet().count("Brandon Grotesque Regular"), 1);
        QVERIFY(inspect.lastFrame().isNull());

        // Freed by the other program: switching off and on again retries.
        camera->setInUseByOtherProgram(false);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 10000);
    }

    void choosingAnotherCameraStopsThePreview()
    {
        hub.plugCamera();
        hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(1);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(inspect.captureLib()->CaptureIsOpen(), 10000);
        inspect.activate(2);
        QVERIFY(!inspect.ui()->pushButton_preview->isChecked());
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
    }

    void unplugWhilePreviewingReleasesTheCamera()
    {
        auto camera = hub.plugCamera();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.discoveryPass();
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 10000);

        hub.unplug(camera->deviceName());
        inspect.discoveryPass();
        QVERIFY(!inspect.captureOn());
        QVERIFY(!inspect.captureLib()->CaptureIsOpen());
        QVERIFY(!inspect.ui()->pushButton_preview->isChecked());
        QCOMPARE(inspect.ui()->comboBox->currentIndex(), 0);
    }

    void closingWhilePreviewingIsClean()
    {
        hub.plugCamera();
        auto window = std::make_unique<Vorn_Cam>();
        MainWindowInspector inspect(*window);
        inspect.ui()->pushButton_preview->setChecked(true);
        QTRY_VERIFY_WITH_TIMEOUT(!inspect.lastFrame().isNull(), 10000);
        window.reset();
        // The capture worker has gone with the window: the camera is free.
        auto camera = hub.cameras().value(0);
        QVERIFY(camera);
        QTRY_VERIFY(!camera->isStreaming());
    }
};

QTEST_MAIN(tst_Preview)
#include "tst_preview.moc"
