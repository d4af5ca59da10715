#include "uvcpropertytransport.h"
#include "vorn_cameraproperty.h"

#include <QtTest>

#include <cstring>
#include <linux/usb/video.h>
#include <linux/uvcvideo.h>
#include <map>

// One camera with the extension units its descriptors list, whose driver
// answers extension-unit queries by unit id.
struct OneCamera : PropertyDevices
{
    QList<UvcExtensionUnit> units;
    std::map<std::pair<int, int>, QByteArray> controls;
    QList<int> supportQueries; // the unit of each one that reached the driver

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
                auto it = controls.find({q->unit, q->selector});
                if (request != UVCIOC_CTRL_QUERY || it == controls.end()) {
                    return -ENOENT;
                }
                QByteArray& value = it->second;
                if (q->query == UVC_GET_INFO) {
                    supportQueries.append(q->unit);
                } else if (q->query == UVC_GET_LEN) {
                    q->data[0] = quint8(value.size());
                } else if (q->query == UVC_GET_CUR) {
                    std::memcpy(q->data, value.constData(), size_t(value.size()));
                } else {
                    value = QByteArray(reinterpret_cast<const char*>(q->data), q->size);
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
        const QUuid foreign(QStringLiteral("{11111111-2222-3333-4444-555555555555}"));
        OneCamera camera;
        camera.units = {{200, ZoomUnitSet}, {4, foreign}, {21, MainUnitSet}}; // descriptor order
        camera.controls[{21, 9}] = QByteArray("VRN:2.1.7").leftJustified(24, '\0');
        camera.controls[{200, 12}] = QByteArray(3, '\0');
        camera.controls[{4, 9}] = camera.controls[{4, 12}] = QByteArray(3, 'x'); // never asked
        PropertyDevices::setInstance(&camera);
        Vorn_CameraProperty main(MainUnitSet);
        Vorn_CameraProperty zoom(ZoomUnitSet);
        QCOMPARE(main.open(QStringLiteral("/dev/video7")) + zoom.open("/dev/video7"), 0L);

        char read[24] = {};
        QVERIFY(main.extensionUnitRequest(9, 1, read, sizeof read) >= 0);
        QCOMPARE(QByteArray(read), QByteArray("VRN:2.1.7"));
        unsigned char move[3] = {1, 0, 6};
        QVERIFY(zoom.extensionUnitRequest(12, 2, move, sizeof move) >= 0);
        QCOMPARE(camera.controls[std::make_pair(200, 12)], QByteArray("\x01\x00\x06", 3));
        // Each search found its unit at exactly one node.
        QCOMPARE(camera.supportQueries, QList<int>({21, 200}));
        PropertyDevices::setInstance(nullptr);
    }
};

QTEST_GUILESS_MAIN(tst_UvcUnitRouting)
#include "tst_uvcunitrouting.moc"
