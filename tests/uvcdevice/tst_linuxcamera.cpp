#include "cameraprofilestore.h"
#include "devicecatalog.h"
#include "framedecoder.h"
#include "mainwindowinspector.h"
#include "privatepulseserver.h"
#include "profileagent.h"
#include "rgbconverter.h"
#include "rgbframe.h"
#include "scripteddialogs.h"
#include "tst_recording_support.h"
#include "uvcdevice.h"
#include "v4l2capturesource.h"
#include "vorn_ffmpeglib.h"
#include "vorn_settingvideo.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/time.h>
}

// Bounds only: every wait ends as soon as its condition holds.
constexpr int kWaitMs = 30000;
const char* const kCamera = "PTZ Cam|all|4,6";

// The slices (the coded pictures) of an H.264 access unit, each with its length before it,
// from the start codes a camera sends or the lengths an MP4 file keeps.
QByteArray slices(const QByteArray& unit, bool annexB)
{
    const QByteArray code("\0\0\1", 3);
    QByteArray out;
    for (int at = annexB ? unit.indexOf(code) : 0, next; at >= 0 && at + 4 < unit.size();
         at = next) {
        const int start = at + (annexB ? 3 : 4);
        next = annexB ? unit.indexOf(code, start)
                      : start + int(qFromBigEndian<quint32>(unit.constData() + at));
        int end = next < 0 || next > unit.size() ? int(unit.size()) : next;
        while (annexB && end > start && unit[end - 1] == 0) // a four-byte start code's first zero
            --end;
        if ((unit[start] & 0x1f) >= 1 && (unit[start] & 0x1f) <= 5)
            out += QByteArray::number(end - start) + ':' + unit.mid(start, end - start);
    }
    return out;
}

// The real program on the Linux camera path: discovery through /dev and
// sysfs, capture through libavdevice's V4L2 input, against a uvcvideo camera
// emulated in user space; every control of the video and audio pages seen
// as the ioctl that reaches the device.
class tst_LinuxCamera : public QObject
{
    Q_OBJECT

private:
    PrivatePulseServer pulse;
    QTemporaryDir folder;
    int node = -1;

    int pictureNumber(const QImage& picture) const
    {
        const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
        return uvcdev_read_picture(rgb.constBits(), rgb.width(), rgb.height(),
                                   int(rgb.bytesPerLine()));
    }

    // The camera found with its microphone, on its current node.
    bool listed(MainWindowInspector& inspect) const
    {
        const CameraTable& table = inspect.cameraTable();
        return table.size() == 1 && table.first().camera.description() == "PTZ Cam" &&
               table.first().camera.deviceName() == QString("/dev/video%1").arg(node) &&
               table.first().microphone.deviceName() == "PTZ Cam Microphone";
    }

    // The lone camera, which the window has opened at once, previewing.
    static bool preview(MainWindowInspector& inspect)
    {
        inspect.ui()->pushButton_preview->setChecked(true);
        return QTest::qWaitFor([&] { return !inspect.lastFrame().isNull(); }, kWaitMs);
    }

    // Every control of the pages, with the camera's units at these ids.
    void controlsReachUnits(int mainUnit, int zoomUnit)
    {
        uvcdev_unplug(node);
        node = uvcdev_plug(qPrintable(QString("PTZ Cam|all|%1,%2").arg(mainUnit).arg(zoomUnit)));
        ScriptedDialogs dialogs;
        uvcdev_take_log();
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        QVERIFY(inspect.captureOn());
        // Opening the camera and every page leaves it as it was: in automatic exposure.
        for (QAbstractButton* page : {inspect.ui()->bt_audio, inspect.ui()->bt_AI,
                                      inspect.ui()->bt_upgrade, inspect.ui()->bt_video})
            page->click();
        // The camera's requests are done on the control worker.
        const auto settled = [&] { return inspect.settingVideo()->controls().idle(); };
        QVERIFY(QTest::qWaitFor(settled, kWaitMs));
        const QString opening = uvcdev_take_log();
        QVERIFY2(!opening.contains("SET_CUR") && !opening.contains("S_CTRL"), qPrintable(opening));
        QVERIFY(opening.contains("selector=10 query=GET_CUR size=1 data=01"));
        QCOMPARE(window.findChild<QLabel*>("label_SliderValue")->text(), QString("Auto"));
        auto unit = [](int id, int selector, const char* data) {
            return QString::asprintf(
                "UVCIOC_CTRL_QUERY unit=%d selector=%d query=SET_CUR size=%d data=%s", id, selector,
                int(strlen(data) / 2), data);
        };
        auto main = [&](int selector, const char* data) { return unit(mainUnit, selector, data); };
        auto zoom = [&](const char* data) { return unit(zoomUnit, 12, data); };
        auto set = [](quint32 id, int value) {
            return QString("VIDIOC_S_CTRL id=0x%1 value=%2").arg(id, 8, 16, QChar('0')).arg(value);
        };
        const QStringList home = {set(V4L2_CID_PAN_ABSOLUTE, 0), set(V4L2_CID_TILT_ABSOLUTE, 0),
                                  set(V4L2_CID_ZOOM_ABSOLUTE, 0)};
        // A button is clicked, a slider moved to the value after '=', a label pressed.
        const std::pair<const char*, QStringList> cases[] = {
            {"pushButton_left", {set(V4L2_CID_PAN_SPEED, -4), set(V4L2_CID_PAN_SPEED, 0)}},
            {"pushButton_right", {set(V4L2_CID_PAN_SPEED, 4), set(V4L2_CID_PAN_SPEED, 0)}},
            {"pushButton_up", {set(V4L2_CID_TILT_SPEED, 3), set(V4L2_CID_TILT_SPEED, 0)}},
            {"pushButton_down", {set(V4L2_CID_TILT_SPEED, -3), set(V4L2_CID_TILT_SPEED, 0)}},
            {"pushButton_zoomin", {zoom("010006"), zoom("000000")}},
            {"pushButton_zoomout", {zoom("ff0006"), zoom("000000")}},
            {"pushButton_home", home},
            // The keys on the focused preview send what the pad sends.
            {"key=Left", {set(V4L2_CID_PAN_SPEED, -4), set(V4L2_CID_PAN_SPEED, 0)}},
            {"key=Right", {set(V4L2_CID_PAN_SPEED, 4), set(V4L2_CID_PAN_SPEED, 0)}},
            {"key=Up", {set(V4L2_CID_TILT_SPEED, 3), set(V4L2_CID_TILT_SPEED, 0)}},
            {"key=Down", {set(V4L2_CID_TILT_SPEED, -3), set(V4L2_CID_TILT_SPEED, 0)}},
            {"key=+", {zoom("010006"), zoom("000000")}},
            {"key=-", {zoom("ff0006"), zoom("000000")}},
            {"key=Home", home},
            {"pushButton_FlipV", {main(24, "01")}},
            {"pushButton_FlipH", {main(25, "01")}},
            {"horizontalSlider=6", {main(10, "00"), main(11, "06")}},
            {"horizontalSlider=0", {main(10, "01")}},
            {"horizontalSlider_DRC=70", {set(V4L2_CID_CONTRAST, 70)}},
            {"horizontalSlider_RG=5", {main(15, "05")}},
            {"horizontalSlider_BG=3", {main(14, "03")}},
            {"checkBox_Live", {main(13, "05")}},
            {"checkBox_Meeting", {main(13, "06")}},
            {"label_restore_to_factory_settings", QStringList{main(23, "01")} + home},
            {"pushButton_Audio_Algo", {main(27, "00")}},
            {"pushButton_Audio", {main(26, "00")}},
        };
        for (const auto& [action, expected] : cases) {
            const QStringList parts = QString(action).split('=');
            auto* widget = parts[0] == "key" ? inspect.ui()->label_cameraview
                                             : window.findChild<QWidget*>(parts[0]);
            QVERIFY2(widget, action);
            uvcdev_take_log();
            if (parts[0] == "key") {
                const auto key = Qt::Key(QKeySequence(parts[1])[0]);
                QTest::keyPress(widget, key);
                QTest::keyRelease(widget, key);
            } else if (auto* slider = qobject_cast<QSlider*>(widget)) {
                slider->setSliderDown(true);
                slider->setSliderPosition(parts.value(1).toInt());
                slider->setSliderDown(false);
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                button->click();
            } else {
                QTest::mousePress(widget, Qt::LeftButton);
            }
            QVERIFY(QTest::qWaitFor(settled, kWaitMs));
            const QString log = QString(uvcdev_take_log());
            for (const QString& line : expected) {
                QVERIFY2(log.contains(line + " result=0\n"),
                         qPrintable(QString("%1: no \"%2\" in:\n%3").arg(action, line, log)));
            }
        }
    }

private slots:
    void initTestCase()
    {
        qunsetenv("LUMORA_SIMULATED_CAMERAS");
        QVERIFY2(uvcdev_plug, "libuvcdevice.so is not preloaded");
        QString error;
        QVERIFY2(pulse.start(&error), qPrintable(error));
        QVERIFY(pulse.addNullSource("ptzmic", "PTZ Cam Microphone") >= 0);
    }

    void init() { QVERIFY((node = uvcdev_plug(kCamera)) >= 0); }
    void cleanup() { uvcdev_unplug(node); }

    // MJPEG at 30 fps rather than YUYV at 10; YUYV where that is all there is;
    // the in-use picture while another program holds the stream, as uvcvideo allows one.
    void previewTakesTheBestModeOrShowsTheCameraInUse()
    {
        for (const auto& [camera, stream] :
             {std::pair(kCamera, "VIDIOC_STREAMON MJPG 1280x720 interval=333333\n"),
              {"YUYV Cam|yuyv|4,6", "VIDIOC_STREAMON YUYV 1280x720 interval=1000000\n"},
              {kCamera, nullptr}}) {
            uvcdev_unplug(node);
            node = uvcdev_plug(camera);
            const int other = ::open(qPrintable(QString("/dev/video%1").arg(node)), O_RDWR);
            v4l2_requestbuffers buffers{2, V4L2_BUF_TYPE_VIDEO_CAPTURE, V4L2_MEMORY_MMAP, 0, 0, {}};
            QVERIFY(stream || ::ioctl(other, VIDIOC_REQBUFS, &buffers) == 0);
            // Told without a stream of its own, which the window then gets.
            const VideoInputInfo info("PTZ Cam", QString("/dev/video%1").arg(node), true);
            QCOMPARE(DeviceCatalog::instance().availability(info),
                     stream ? CameraAvailability::Free : CameraAvailability::InUse);
            QCOMPARE(uvcdev_streaming_handles(), stream ? 0 : 1);
            uvcdev_take_log();
            Vorn_Cam window;
            window.show();
            MainWindowInspector inspect(window);
            QLabel* view = inspect.ui()->label_cameraview;
            if (!stream) {
                inspect.ui()->pushButton_preview->setChecked(true);
                QTRY_COMPARE_WITH_TIMEOUT(view->pixmap(Qt::ReturnByValue).size(), QSize(285, 29),
                                          kWaitMs);
                QVERIFY(inspect.lastFrame().isNull());
            } else {
                QVERIFY(preview(inspect));
                QVERIFY2(QString(uvcdev_take_log()).contains(stream), camera);
                QCOMPARE(inspect.lastFrame().size(), QSize(1280, 720));
                // The device's own pictures reach the label.
                QVERIFY(pictureNumber(inspect.lastFrame()) >= 0);
                QTRY_VERIFY_WITH_TIMEOUT(
                    pictureNumber(view->pixmap(Qt::ReturnByValue).toImage()) >= 0, kWaitMs);
            }
            ::close(other);
            uvcdev_unplug(node);
            QCOMPARE(DeviceCatalog::instance().availability(info), CameraAvailability::Gone);
        }
    }

    // Straight from the node in each format: pictures copied out whole (they
    // still decode to the camera's numbers once the source and its mappings
    // are gone), dated by the driver on the monotonic clock, ended by an
    // unplug. A camera that refuses to stream keeps nothing of it mapped.
    void sourceCopiesPicturesOutWithTheirCaptureTimes()
    {
        for (const char* camera : {kCamera, "YUYV Cam|yuyv|4,6", "NV12 Cam|nv12|4,6"}) {
            uvcdev_unplug(node);
            node = uvcdev_plug(camera);
            AVPacket* kept = av_packet_alloc();
            AVCodecParameters* parameters = avcodec_parameters_alloc();
            {
                V4l2CaptureSource source(QString("/dev/video%1").arg(node));
                QVERIFY2(source.open({1280, 720, 30}), camera);
                avcodec_parameters_copy(parameters, source.codecParameters());
                const int64_t period = std::llround(1e6 / source.frameRate());
                QList<int64_t> times;
                for (int i = 0; i < 100 && times.size() < 5; ++i) {
                    if (source.read(kept) == FrameSource::ReadResult::Packet) {
                        QVERIFY(kept->pts <= av_gettime_relative());
                        times.append(kept->pts);
                    }
                }
                QCOMPARE(times.size(), 5);
                for (int i = 1; i < times.size(); ++i) {
                    // On the camera's frame clock to the microsecond, as read times never are.
                    const int64_t gap = times[i] - times[i - 1], off = gap % period;
                    QVERIFY2(gap >= period - 1 && (off <= 1 || off >= period - 1),
                             qPrintable(QString("%1 %2").arg(gap).arg(period)));
                }
                uvcdev_unplug(node);
                AVPacket* after = av_packet_alloc();
                auto result = FrameSource::ReadResult::Packet;
                for (int i = 0; i < 10 && result != FrameSource::ReadResult::Ended; ++i)
                    result = source.read(after);
                av_packet_free(&after);
                QVERIFY(result == FrameSource::ReadResult::Ended);
            }
            FrameDecoder decoder;
            RgbConverter converter;
            RgbFrame rgb;
            QVERIFY(decoder.open(parameters));
            const AVFrame* frame = decoder.decode(kept);
            QVERIFY(frame && converter.convert(frame, 1280, 720, rgb));
            QVERIFY2(uvcdev_read_picture(rgb.data(), rgb.width(), rgb.height(), rgb.stride()) >= 0,
                     camera);
            av_packet_free(&kept);
            avcodec_parameters_free(&parameters);
        }
    }

    void failedStartLeavesNothingMapped()
    {
        const auto mappings = [] {
            QFile maps("/proc/self/maps");
            return maps.open(QIODevice::ReadOnly) ? maps.readAll().count("memfd:uvcdev") : -1;
        };
        uvcdev_unplug(node);
        node = uvcdev_plug("Mute Cam|mute|4,6");
        const int before = mappings();
        V4l2CaptureSource source(QString("/dev/video%1").arg(node));
        QVERIFY(!source.open({1280, 720, 30}));
        QCOMPARE(mappings(), before);
        QCOMPARE(uvcdev_streaming_handles(), 0);
    }

    // Unplugged while previewing or recording (MJPEG, YUYV, NV12), the window lets go of the
    // camera and ends the recording, which plays up to the unplug; discovery
    // drops the camera and finds it plugged in again, and it previews again.
    void streamsEndCleanly()
    {
        for (const auto& [record, unplug, camera] : {std::tuple(false, true, kCamera),
                                                     {true, false, kCamera},
                                                     {true, true, kCamera},
                                                     {true, true, "PTZ Cam|yuyv|4,6"},
                                                     {true, true, "PTZ Cam|nv12|4,6"}}) {
            if (camera != kCamera) {
                uvcdev_unplug(node);
                node = uvcdev_plug(camera);
            }
            ScriptedDialogs dialogs;
            Vorn_Cam window;
            window.show();
            MainWindowInspector inspect(window);
            QVERIFY(listed(inspect));
            QVERIFY(preview(inspect));
            QSignalSpy frames(inspect.captureLib(), &Vorn_FFmpeglib::frameBuffer);
            uvcdev_empty_dequeues();
            dialogs.fileName = folder.filePath(unplug ? "unplugged.mp4" : "ten.mp4");
            dialogs.selectedFilter = "MP4 (*.mp4)";
            inspect.ui()->bt_record->setChecked(record);
            QCOMPARE(bool(inspect.recordTimer()), record);
            const QString file = inspect.recordFileName();
            if (unplug) {
                QTRY_VERIFY_WITH_TIMEOUT(frames.size() >= 60, kWaitMs);
                // The worker sleeps in poll() until a picture is complete
                // rather than looking every few ms: about two empty looks
                // per picture (before the wait, and the catch-up's last).
                const int empty = uvcdev_empty_dequeues();
                QVERIFY2(empty <= 3 * frames.size(), qPrintable(QString::number(empty)));
                uvcdev_unplug(node);
                QTRY_VERIFY_WITH_TIMEOUT(!inspect.captureLib()->CaptureIsOpen(), kWaitMs);
                QTRY_VERIFY_WITH_TIMEOUT(!inspect.recordTimer() && !inspect.captureOn(), kWaitMs);
                QTRY_COMPARE_WITH_TIMEOUT(uvcdev_streaming_handles(), 0, kWaitMs);
                QVERIFY(!inspect.ui()->pushButton_preview->isChecked());
                inspect.discoveryPass();
                QVERIFY(inspect.cameraTable().isEmpty());
                node = uvcdev_plug(kCamera); // on new nodes, as with the kernel
                inspect.discoveryPass();
                QVERIFY(listed(inspect));
                inspect.activate(1);
                const qint64 before = inspect.lastFrame().cacheKey();
                inspect.ui()->pushButton_preview->setChecked(true);
                QTRY_VERIFY_WITH_TIMEOUT(inspect.lastFrame().cacheKey() != before, kWaitMs);
            } else {
                QTRY_COMPARE_WITH_TIMEOUT(inspect.ui()->label_recordTime->text(),
                                          QString("00:00:10"), kWaitMs);
                inspect.ui()->bt_record->setChecked(false);
                QCOMPARE(dialogs.messages().last(), QString("Video save successful "));
            }
            if (!record)
                continue;
            const FileFacts facts = inspectRecording(file);
            QVERIFY2(facts.opened, qPrintable(facts.error));
            QVERIFY(facts.readToEnd);
            QCOMPARE(facts.decodeErrors, 0);
            QCOMPARE(facts.video.codec, QString("h264"));
            QCOMPARE(QSize(facts.video.width, facts.video.height), QSize(1280, 720));
            QCOMPARE(facts.audio.codec, QString("aac"));
            const double seconds = facts.video.duration;
            QVERIFY2(unplug ? seconds >= 1.0 : seconds > 9.5 && seconds < 12.0,
                     qPrintable(QString::number(seconds)));
        }
    }

    // Other clients, each a process with the camera set up at its start, reach
    // the node and its sysfs entries through whichever C library calls their
    // build uses (open64, __open64_2, openat, stat64, fstatat, statx, readlink,
    // fdopendir...); most open the node without listing /dev.
    void standardToolsSeeAUvcvideoCamera()
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("LD_PRELOAD", UVCDEVICE_PRELOAD);
        environment.insert("UVCDEV_KEEP_PRELOAD", "1");
        environment.insert("UVCDEV_CAMERAS", kCamera);
        const std::pair<QString, QByteArray> runs[] = {
            {"v4l2-ctl -d /dev/video0 --all", "Card type        : PTZ Cam\n"},
            {"v4l2-ctl -d /dev/video0 --list-formats-ext", "Size: Discrete 1920x1080\n"},
            {"v4l2-ctl -d /dev/video0 -c contrast=70,zoom_absolute=3 -C contrast,zoom_absolute",
             "contrast: 70\nzoom_absolute: 3\n"},
            {"stat -L -c %F:%t:%T /dev/video1 /sys/dev/char/81:1/device/bInterfaceNumber",
             "character special file:51:1\nregular file:0:0\n"},
            {"ls /dev", "\nvideo0\nvideo1\n"},
            {"/usr/bin/python3 -c \"import os; d = os.open('/dev', os.O_RDONLY); s = "
             "os.stat('video1', dir_fd=d); f = os.open('/dev/video0', os.O_RDWR); print(os.major("
             "s.st_rdev), os.minor(os.fstat(f).st_rdev), os.access('/dev/video1', os.R_OK), [n "
             "for n in os.listdir(d) if 'video' in n], os.readlink('/sys/dev/char/81:0'))\"",
             "81 0 True ['video0', 'video1'] ../../class/video4linux/video0\n"},
            {"ffmpeg -loglevel error -f v4l2 -input_format mjpeg -video_size 1280x720 -i "
             "/dev/video0 -frames:v 3 -pix_fmt rgb24 -f rawvideo -",
             ""}};
        QByteArray out;
        for (const auto& [command, expected] : runs) {
            QProcess tool;
            tool.setProcessEnvironment(environment);
            QStringList words = QProcess::splitCommand(command);
            tool.start(words.takeFirst(), words);
            QVERIFY2(tool.waitForFinished(kWaitMs) && tool.exitCode() == 0,
                     qPrintable(command + ": " + tool.readAllStandardError()));
            out = tool.readAllStandardOutput();
            QVERIFY2(out.contains(expected), out.constData());
        }
        // The camera's own pictures, numbered as it sends them.
        QCOMPARE(out.size(), 3 * 1280 * 720 * 3);
        QVERIFY(uvcdev_read_picture(reinterpret_cast<const uint8_t*>(out.constData()), 1280, 720,
                                    1280 * 3) >= 0);
    }

    // lumora-ctl on the V4L2 path: the modes the driver lists, one it lacks
    // refused, 1920x1080 recorded on the camera's own frame clock, H.264 stored as it came.
    void lumoraCtlCapturesInTheModesTheCameraLists()
    {
        const auto ctl = [](const QString& program, const QStringList& args) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("LD_PRELOAD", program.isEmpty() ? UVCDEVICE_PRELOAD : "");
            environment.insert("UVCDEV_KEEP_PRELOAD", "1");
            environment.insert("UVCDEV_CAMERAS", kCamera);
            QProcess tool;
            tool.setProcessEnvironment(environment);
            tool.start(program.isEmpty() ? QCoreApplication::applicationDirPath() + "/lumora-ctl"
                                         : program,
                       args);
            tool.waitForFinished(2 * kWaitMs);
            return std::pair(tool.exitCode(),
                             QString(tool.readAll() + tool.readAllStandardError()));
        };
        QCOMPARE(ctl({}, {"modes", "0"}),
                 std::pair(0, QString("3840x2160@30 mjpeg\n1920x1080@60 mjpeg\n1920x1080@30 mjpeg\n"
                                      "1280x720@30 mjpeg\n1280x720@25 mjpeg\n1280x720@15 mjpeg\n"
                                      "1920x1080@30 h264\n1280x720@30 h264\n"
                                      "1280x720@10 yuyv\n640x480@30 yuyv\n")));
        const auto [refused, why] = ctl({}, {"record", "0", "x.mp4", "--mode", "1920x1080@15"});
        QVERIFY2(refused == 1 && why.contains("has no mode 1920x1080@15"), qPrintable(why));
        const QString file = folder.filePath("hd.mp4");
        const auto [recorded, said] =
            ctl({}, {"record", "0", file, "--seconds", "4", "--mode", "1920x1080@30"});
        QVERIFY2(recorded == 0, qPrintable(said));
        const FileFacts facts = inspectRecording(file);
        QCOMPARE(QSize(facts.video.width, facts.video.height), QSize(1920, 1080));
        const auto [probed, times] =
            ctl("ffprobe", {"-v", "error", "-select_streams", "v:0", "-show_entries",
                            "packet=pts_time", "-of", "csv=p=0", file});
        QStringList stamps = times.split('\n', Qt::SkipEmptyParts);
        std::sort(stamps.begin(), stamps.end(),
                  [](auto& a, auto& b) { return a.toDouble() < b.toDouble(); });
        QVERIFY2(probed == 0 && stamps.size() >= 40, qPrintable(times + said));
        int single = 0;
        for (int i = 2; i < stamps.size(); ++i) {
            // Whole frame periods apart: the kernel's stamps, never read times
            // (the first picture is dated at the start of the file).
            const double periods = (stamps[i].toDouble() - stamps[i - 1].toDouble()) * 30;
            QVERIFY2(periods > 0.5 && qAbs(periods - qRound(periods)) < 0.06, qPrintable(times));
            single += qRound(periods) == 1;
        }
        QVERIFY2(single >= stamps.size() / 2, qPrintable(times));

        // H.264 previewed (decoded), and recorded as the camera sent it: every stored picture is
        // one of the camera's own, byte for byte, from its key frame on, on its frame clock.
        const QString shot = folder.filePath("h264.png"), copied = folder.filePath("h264.mp4");
        QCOMPARE(ctl({}, {"snapshot", "0", shot, "--mode", "1280x720@30/H264"}).first, 0);
        QVERIFY(pictureNumber(QImage(shot)) >= 0);
        const auto [stored, told] =
            ctl({}, {"record", "0", copied, "--seconds", "3", "--mode", "1280x720@30/H264"});
        QVERIFY2(stored == 0, qPrintable(told));
        QSet<QByteArray> sent;
        V4l2CaptureSource source(QString("/dev/video%1").arg(node));
        QVERIFY(source.open({1280, 720, 30, CaptureMode::Format::H264}));
        AVPacket* packet = av_packet_alloc();
        for (int i = 0; i < 300 && sent.size() < 30; ++i) {
            if (source.read(packet) == FrameSource::ReadResult::Packet)
                sent.insert(
                    slices(QByteArray(reinterpret_cast<char*>(packet->data), packet->size), true));
        }
        QCOMPARE(sent.size(), 30);
        QCOMPARE(inspectRecording(copied).audio.codec, QString("aac"));
        AVFormatContext* mp4 = nullptr;
        QVERIFY(avformat_open_input(&mp4, qPrintable(copied), nullptr, nullptr) == 0);
        const AVStream* video =
            mp4->streams[av_find_best_stream(mp4, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0)];
        QCOMPARE(QSize(video->codecpar->width, video->codecpar->height), QSize(1280, 720));
        QCOMPARE(video->codecpar->codec_id, AV_CODEC_ID_H264);
        QList<double> periods;
        for (int64_t last = -1; av_read_frame(mp4, packet) >= 0; av_packet_unref(packet)) {
            if (packet->stream_index != video->index)
                continue;
            QVERIFY(sent.contains(
                slices(QByteArray(reinterpret_cast<char*>(packet->data), packet->size), false)));
            QVERIFY(last >= 0 ? packet->pts > last : (packet->flags & AV_PKT_FLAG_KEY) != 0);
            if (last >= 0)
                periods.append((packet->pts - last) * av_q2d(video->time_base) * 30);
            last = packet->pts;
        }
        avformat_close_input(&mp4);
        av_packet_free(&packet);
        QVERIFY2(periods.size() >= 50, qPrintable(told));
        for (int i = 1; i < periods.size(); ++i) // the first picture is dated at the file's start
            QVERIFY2(qAbs(periods[i] - qRound(periods[i])) < 0.06,
                     qPrintable(QString::number(periods[i])));
    }

    // Identical cameras record their own microphones, paired by the USB
    // device each shares with its camera (by name they would be crossed).
    void identicalCamerasRecordTheirOwnMicrophones()
    {
        const int second = uvcdev_plug(kCamera);
        const VideoInputList cameras = DeviceCatalog::instance().videoInputs();
        for (int i : {0, 1}) {
            const QString usb = cameras.value(i).usbDevice().mid(4); // udev's, without /sys
            pulse.loadModule("module-sine-source",
                             {QString("source_name=tone%1 frequency=%2 source_properties="
                                      "\"device.description='PTZ Cam Microphone' "
                                      "sysfs.path=%3/%4:1.3/sound/card%1\"")
                                  .arg(i)
                                  .arg(440 * (i + 1))
                                  .arg(usb, usb.section('/', -1))});
        }
        QTRY_COMPARE_WITH_TIMEOUT(DeviceCatalog::instance().audioInputs().size(), 3, kWaitMs);
        ScriptedDialogs dialogs;
        dialogs.fileName = folder.filePath("second.mp4");
        Vorn_Cam window;
        MainWindowInspector inspect(window);
        inspect.activate(2);
        QVERIFY(preview(inspect));
        inspect.ui()->bt_record->setChecked(true);
        QTRY_COMPARE_WITH_TIMEOUT(inspect.ui()->label_recordTime->text(), QString("00:00:02"),
                                  kWaitMs);
        inspect.ui()->bt_record->setChecked(false);
        uvcdev_unplug(second); // the tones stay: no later case records
        QVERIFY(qAbs(inspectRecording(dialogs.fileName).toneHz - 880) < 20);
    }

    // With the units at the usual ids and above 20.
    void everyPageControlReachesTheDevice()
    {
        for (const auto& [mainUnit, zoomUnit] : {std::pair(4, 6), {24, 26}})
            controlsReachUnits(mainUnit, zoomUnit);
    }

    // The agent keeps a held profile through the camera's control events:
    // another client's change of a held value is set back within a second, a
    // value outside the profile is left alone; the writes counted at the node.
    void agentSetsBackHeldValuesOnControlEvents()
    {
        const QString path = QString("/dev/video%1").arg(node);
        VideoInputInfo camera;
        for (const VideoInputInfo& input : DeviceCatalog::instance().videoInputs())
            if (input.deviceName() == path)
                camera = input;
        const QString key = CameraProfileStore::keyOf(camera);
        CameraProfileStore::setValues(key, {{"contrast", 30}});
        CameraProfileStore::setHeld(key, true);
        qRegisterMetaType<VideoInputInfo>("VideoInputInfo");
        ProfileAgent agent;
        QSignalSpy written(&agent, &ProfileAgent::controlsWritten);
        uvcdev_take_log();
        agent.start();
        QCOMPARE(written.count(), 1);
        const int other = ::open(qPrintable(path), O_RDWR);
        QElapsedTimer clock;
        clock.start();
        v4l2_control change{V4L2_CID_CONTRAST, 70};
        QCOMPARE(::ioctl(other, VIDIOC_S_CTRL, &change), 0);
        QVERIFY(written.wait(kWaitMs));
        QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
        QString log = uvcdev_take_log();
        QVERIFY2(log.contains("VIDIOC_DQEVENT id=0x00980901 value=70"), qPrintable(log));
        QCOMPARE(log.count("VIDIOC_S_CTRL id=0x00980901 value=30 "), 2); // at start, set back

        change = {V4L2_CID_AUTO_WHITE_BALANCE, 0};
        QCOMPARE(::ioctl(other, VIDIOC_S_CTRL, &change), 0);
        // Told of it, the agent reads its profile's value and writes nothing.
        QTRY_VERIFY_WITH_TIMEOUT((log += uvcdev_take_log())
                                     .section("DQEVENT id=0x0098090c", 1)
                                     .contains("VIDIOC_G_CTRL id=0x00980901"),
                                 kWaitMs);
        QCOMPARE(log.count("VIDIOC_S_CTRL"), 4);
        QCOMPARE(written.count(), 2);
        QVERIFY(::ioctl(other, VIDIOC_G_CTRL, &change) == 0 && change.value == 0);
        ::close(other);
        CameraProfileStore::clear(key);
    }
};

QTEST_MAIN(tst_LinuxCamera)
#include "tst_linuxcamera.moc"
