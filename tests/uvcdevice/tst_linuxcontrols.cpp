#include "mainwindowinspector.h"
#include "scripteddialogs.h"
#include "uvcdevice.h"
#include "vorn_settingaudio.h"
#include "vorn_settingvideo.h"

#include <QCheckBox>
#include <QtTest>

#include <functional>
#include <linux/videodev2.h>

// Every control of the video and audio pages, from the real pages through
// the Linux property transport to the camera, seen as the ioctls that
// arrive at the device.
class tst_LinuxControls : public QObject
{
    Q_OBJECT

private:
    UvcDeviceControl device;
    int node = -1;

private slots:
    void initTestCase()
    {
        qunsetenv("LUMORA_SIMULATED_CAMERAS");
        QVERIFY2(device.loaded(), "libuvcdevice.so is not preloaded");
    }

    void cleanup() { device.unplug(node); }

    void everyControlReachesTheDevice_data()
    {
        QTest::addColumn<int>("mainUnit");
        QTest::addColumn<int>("zoomUnit");
        QTest::newRow("units 4 and 6") << 4 << 6;
        QTest::newRow("units above 20") << 24 << 26;
    }

    void everyControlReachesTheDevice()
    {
        QFETCH(int, mainUnit);
        QFETCH(int, zoomUnit);
        node = device.plug(qPrintable(QString("PTZ Cam|all|%1,%2").arg(mainUnit).arg(zoomUnit)));
        ScriptedDialogs dialogs;
        Vorn_Cam window; // a lone camera is opened at once
        MainWindowInspector inspect(window);
        QVERIFY(inspect.captureOn());
        Vorn_SettingVideo* video = inspect.settingVideo();
        Vorn_settingAudio* audio = inspect.settingAudio();

        auto unit = [](int id, int selector, const QString& data) {
            return QString("UVCIOC_CTRL_QUERY unit=%1 selector=%2 query=SET_CUR size=%3 data=%4 "
                           "result=0")
                .arg(id)
                .arg(selector)
                .arg(data.size() / 2)
                .arg(data);
        };
        auto main = [&](int selector, const QString& data) {
            return unit(mainUnit, selector, data);
        };
        auto control = [](quint32 id, int value) {
            return QString("VIDIOC_S_CTRL id=0x%1 value=%2 result=0")
                .arg(id, 8, 16, QChar('0'))
                .arg(value);
        };
        auto click = [](QWidget* page, const char* name) {
            return [page, name] { page->findChild<QAbstractButton*>(name)->click(); };
        };
        auto slide = [video](const char* name, int position) {
            return [video, name, position] {
                auto* slider = video->findChild<QSlider*>(name);
                slider->setSliderDown(true);
                slider->setSliderPosition(position);
                slider->setSliderDown(false);
            };
        };
        const QStringList home = {control(V4L2_CID_PAN_ABSOLUTE, 0),
                                  control(V4L2_CID_TILT_ABSOLUTE, 0),
                                  control(V4L2_CID_ZOOM_ABSOLUTE, 0)};
        const struct
        {
            const char* what;
            std::function<void()> act;
            QStringList expected;
        } cases[] = {
            {"left",
             click(video, "pushButton_left"),
             {control(V4L2_CID_PAN_SPEED, -4), control(V4L2_CID_PAN_SPEED, 0)}},
            {"right",
             click(video, "pushButton_right"),
             {control(V4L2_CID_PAN_SPEED, 4), control(V4L2_CID_PAN_SPEED, 0)}},
            {"up",
             click(video, "pushButton_up"),
             {control(V4L2_CID_TILT_SPEED, 3), control(V4L2_CID_TILT_SPEED, 0)}},
            {"down",
             click(video, "pushButton_down"),
             {control(V4L2_CID_TILT_SPEED, -3), control(V4L2_CID_TILT_SPEED, 0)}},
            {"zoom in",
             click(video, "pushButton_zoomin"),
             {unit(zoomUnit, 12, "010006"), unit(zoomUnit, 12, "000000")}},
            {"zoom out",
             click(video, "pushButton_zoomout"),
             {unit(zoomUnit, 12, "ff0006"), unit(zoomUnit, 12, "000000")}},
            {"home", click(video, "pushButton_home"), home},
            {"vertical flip", click(video, "pushButton_FlipV"), {main(24, "01")}},
            {"horizontal flip", click(video, "pushButton_FlipH"), {main(25, "01")}},
            {"exposure", slide("horizontalSlider", 6), {main(10, "00"), main(11, "06")}},
            {"automatic exposure", slide("horizontalSlider", 0), {main(10, "01")}},
            {"contrast", slide("horizontalSlider_DRC", 70), {control(V4L2_CID_CONTRAST, 70)}},
            {"red shift", slide("horizontalSlider_RG", 5), {main(15, "05")}},
            {"blue shift", slide("horizontalSlider_BG", 3), {main(14, "03")}},
            {"live style", click(video, "checkBox_Live"), {main(13, "05")}},
            {"meeting style", click(video, "checkBox_Meeting"), {main(13, "06")}},
            {"factory settings",
             [video] {
                 QTest::mousePress(video->findChild<QWidget*>("label_restore_to_factory_settings"),
                                   Qt::LeftButton);
             },
             QStringList{main(23, "01")} + home},
            {"audio processing", click(audio, "pushButton_Audio_Algo"), {main(27, "00")}},
            {"audio function", click(audio, "pushButton_Audio"), {main(26, "00")}},
        };
        for (const auto& c : cases) {
            device.takeLog();
            c.act();
            const QString log = QString::fromStdString(device.takeLog());
            for (const QString& line : c.expected) {
                QVERIFY2(log.contains(line + "\n"),
                         qPrintable(QString("%1: no \"%2\" in:\n%3").arg(c.what, line, log)));
            }
        }
    }
};

QTEST_MAIN(tst_LinuxControls)
#include "tst_linuxcontrols.moc"
