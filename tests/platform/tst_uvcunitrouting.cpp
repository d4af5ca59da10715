#include "uvcpropertytransport.h"
#include "vorn_cameraproperty.h"

#include <QtTest>

#include <linux/usb/video.h>
#include <linux/uvcvideo.h>

// A camera with the extension units its descriptors list; its driver says yes.
struct OneCamera : PropertyDevices
{
    QList<UvcExtensionUnit> units;
    QList<QPair<int, int>> calls; // unit and query, as the driver got them

    long enumerate(QList<PropertyDeviceEntry>* devices) override
    {
        *devices = {{QStringLiteral("Cam"), QStringLiteral("/dev/video7"), true}};
        return 0;
    }
    std::unique_ptr<PropertyTransport> bind(const QString& path, long*) override
    {
        return std::make_unique<UvcPropertyTransport>(
            -1, path, path, units, [this](unsigned long request, void* arg) {
                auto* q = static_cast<uvc_xu_control_query*>(arg);
                if (request != UVCIOC_CTRL_QUERY) {
                    return -ENOTTY;
                }
                calls.append({q->unit, q->query});
                if (q->query == UVC_GET_LEN) {
                    q->data[0] = q->selector == 9 ? 24 : 3;
                }
                return 0;
            });
    }
};

class tst_UvcUnitRouting : public QObject
{
    Q_OBJECT

private slots:
    // Unit ids run from 1 to 255, past the nodes the camera protocol tries.
    void everyUnitIdIsReachable()
    {
        OneCamera camera;
        // As the descriptors list them; the middle one is some other vendor's.
        camera.units = {{200, ZoomUnitSet}, {4, QUuid::createUuid()}, {21, MainUnitSet}};
        PropertyDevices::setInstance(&camera);
        Vorn_CameraProperty main(MainUnitSet), zoom(ZoomUnitSet);
        QCOMPARE(main.open(QStringLiteral("/dev/video7")) + zoom.open("/dev/video7"), 0L);
        char info[24] = {};
        unsigned char move[3] = {1, 0, 6};
        QVERIFY(main.extensionUnitRequest(9, 1, info, sizeof info) >= 0);
        QVERIFY(zoom.extensionUnitRequest(12, 2, move, sizeof move) >= 0);
        // Each search found its unit once; the foreign unit was never asked.
        const QList<QPair<int, int>> expected = {{21, UVC_GET_INFO}, {21, UVC_GET_LEN},
                                                 {21, UVC_GET_CUR},  {200, UVC_GET_INFO},
                                                 {200, UVC_GET_LEN}, {200, UVC_SET_CUR}};
        QCOMPARE(camera.calls, expected);
        PropertyDevices::setInstance(nullptr);
    }
};

QTEST_GUILESS_MAIN(tst_UvcUnitRouting)
#include "tst_uvcunitrouting.moc"
