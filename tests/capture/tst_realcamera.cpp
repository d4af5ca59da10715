// What only a real camera can show: a V4L2 node streams pictures the
// decoder turns into RGB, and its control side binds. Skips with a reason
// on a machine without a camera.

#include "framedecoder.h"
#include "linuxpropertydevices.h"
#include "propertytransport.h"
#include "rgbconverter.h"
#include "rgbframe.h"
#include "v4l2formatprobe.h"
#include "v4l2source.h"
#include "vendordialogdevice.h"

#include <QDir>
#include <QtTest>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <cerrno>

class tst_RealCamera : public QObject
{
    Q_OBJECT

private slots:
    void captureNodeStreams()
    {
        int tried = 0;
        for (const QString& node :
             QDir(QStringLiteral("/dev")).entryList({"video*"}, QDir::System)) {
            const QString path = QStringLiteral("/dev/") + node;
            if (enumerateV4l2Modes(path).isEmpty()) {
                continue; // a metadata or output node
            }
            ++tried;
            V4l2Source source(path);
            QVERIFY2(source.open(1280, 720, 30), qPrintable(path));
            FrameDecoder decoder;
            QVERIFY(decoder.open(source.codecParameters()));
            AVPacket* packet = av_packet_alloc();
            const AVFrame* frame = nullptr;
            for (int i = 0; i < 100 && !frame; ++i) {
                if (source.read(packet) == FrameSource::ReadResult::Packet) {
                    frame = decoder.decode(packet);
                }
            }
            QVERIFY2(frame, qPrintable(path));
            RgbConverter converter;
            RgbFrame rgb;
            QVERIFY(converter.convert(frame, 1280, 720, rgb));
            av_packet_free(&packet);
        }
        if (tried == 0) {
            QSKIP("no /dev/video* node is a capture device: this needs a camera attached");
        }
    }

    void captureNodeBindsItsControls()
    {
        LinuxPropertyDevices devices;
        QList<PropertyDeviceEntry> entries;
        QVERIFY(devices.enumerate(&entries) >= 0);
        const PropertyDeviceEntry* capture = nullptr;
        for (const PropertyDeviceEntry& entry : entries) {
            capture = capture ? capture : entry.pathReadable ? &entry : nullptr;
        }
        if (!capture) {
            QSKIP("no V4L2 capture node (/dev/video*): this needs a camera attached");
        }
        QVERIFY(!capture->friendlyName.isEmpty());
        long result = -1;
        std::unique_ptr<PropertyTransport> transport = devices.bind(capture->devicePath, &result);
        QVERIFY2(transport, qPrintable(QString::number(result)));
        VendorDialogDevice* device = transport->dialogDevice();
        QVERIFY(device->fd >= 0);
        QCOMPARE(QString::fromUtf8(device->devicePath), capture->devicePath);
        QCOMPARE(QString::fromUtf8(device->cardName), capture->friendlyName);
        PropertyRange range;
        QCOMPARE(transport->cameraControlGetRange(42, &range), long(-EINVAL));
    }
};

QTEST_GUILESS_MAIN(tst_RealCamera)
#include "tst_realcamera.moc"
