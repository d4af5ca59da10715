// What only a real camera can show: its V4L2 node streams pictures that
// decode to RGB, and its control side binds. Skips with the reason on a
// machine without one.

#include "framedecoder.h"
#include "linuxpropertydevices.h"
#include "loopbacknode.h"
#include "rgbconverter.h"
#include "rgbframe.h"
#include "v4l2capturesource.h"
#include "v4l2formatprobe.h"
#include "vendordialogdevice.h"

#include <QtTest>

#include <sys/ioctl.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

class tst_RealCamera : public QObject
{
    Q_OBJECT

private slots:
    void captureNodesStreamAndBind()
    {
        LinuxPropertyDevices devices;
        QList<PropertyDeviceEntry> entries;
        QVERIFY(devices.enumerate(&entries) >= 0);
        int tried = 0;
        for (const PropertyDeviceEntry& entry : entries) {
            if (!entry.pathReadable || enumerateV4l2Modes(entry.devicePath).isEmpty()) {
                continue; // a metadata or output node
            }
            ++tried;
            long result = -1;
            auto transport = devices.bind(entry.devicePath, &result);
            QVERIFY2(transport, qPrintable(entry.devicePath));
            const auto* device = static_cast<VendorDialogDevice*>(transport->dialogHandle());
            QVERIFY2(device && device->fd >= 0, qPrintable(entry.devicePath));
            QCOMPARE(QString::fromUtf8(device->cardName), entry.friendlyName);
            V4l2CaptureSource source(entry.devicePath);
            QVERIFY2(source.open({1280, 720, 30}), qPrintable(entry.devicePath));
            FrameDecoder decoder;
            QVERIFY(decoder.open(source.codecParameters()));
            AVPacket* packet = av_packet_alloc();
            const AVFrame* frame = nullptr;
            for (int i = 0; i < 100 && !frame; ++i) {
                if (source.read(packet) == FrameSource::ReadResult::Packet) {
                    frame = decoder.decode(packet);
                }
            }
            av_packet_free(&packet);
            RgbConverter converter;
            RgbFrame rgb;
            QVERIFY2(frame && converter.convert(frame, 1280, 720, rgb),
                     qPrintable(entry.devicePath));
        }
        if (tried == 0) {
            QSKIP("no V4L2 capture node (/dev/video*): this needs a camera attached");
        }
    }

    // A loopback device nobody writes to refuses to stream, and stays free.
    void failedStartLeavesTheDeviceFree()
    {
        int tried = 0;
        for (const QFileInfo& node : QDir("/dev").entryInfoList({"video*"}, QDir::System)) {
            QFile device(node.filePath());
            v4l2_capability cap{};
            if (device.open(QIODevice::ReadWrite) &&
                !ioctl(device.handle(), VIDIOC_QUERYCAP, &cap) && LoopbackNode::isLoopback(cap) &&
                LoopbackNode::isIdle(node.filePath()) && ++tried) {
                QVERIFY(!V4l2CaptureSource(node.filePath()).open({1280, 720, 30}));
                v4l2_requestbuffers req{2, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP, 0, 0, {}};
                QVERIFY2(!ioctl(device.handle(), VIDIOC_REQBUFS, &req), strerror(errno));
            }
        }
        if (tried == 0) {
            QSKIP("no loopback device without a producer (v4l2loopback)");
        }
    }
};

QTEST_GUILESS_MAIN(tst_RealCamera)
#include "tst_realcamera.moc"
