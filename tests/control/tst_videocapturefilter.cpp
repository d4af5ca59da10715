#include "vendordialogdevice.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLibrary>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <unistd.h>

namespace {

constexpr quint32 kIntegerMenuId = V4L2_CID_CAMERA_CLASS_BASE + 0x150;
constexpr quint32 kInteger64Id = V4L2_CID_CAMERA_CLASS_BASE + 0x151;

// A camera's controls as a table, reached through the handle's callbacks the
// way a device without a V4L2 node is. Writes are recorded.
class ControlTable
{
public:
    struct Control
    {
        quint32 type;
        const char* name;
        qint64 minimum;
        qint64 maximum;
        quint64 step;
        qint64 defaultValue;
        quint32 flags;
        qint32 value;
        QList<QPair<quint32, QByteArray>> menu; // index, name (or integer value)
    };

    std::map<quint32, Control> controls;
    QList<QPair<quint32, qint32>> writes;
    // A write of this value to this control fails with EIO.
    QPair<quint32, qint32> refused{0, 0};

    ControlTable()
    {
        add(V4L2_CID_USER_CLASS, {V4L2_CTRL_TYPE_CTRL_CLASS,
                                  "User Controls",
                                  0,
                                  0,
                                  0,
                                  0,
                                  V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY,
                                  0,
                                  {}});
        add(V4L2_CID_BRIGHTNESS, {V4L2_CTRL_TYPE_INTEGER, "Brightness", -64, 64, 1, 0, 0, 10, {}});
        add(V4L2_CID_CONTRAST, {V4L2_CTRL_TYPE_INTEGER, "Contrast", 0, 100, 5, 50, 0, 35, {}});
        add(V4L2_CID_SATURATION,
            {V4L2_CTRL_TYPE_INTEGER, "Saturation", 0, 100, 1, 50, V4L2_CTRL_FLAG_DISABLED, 50, {}});
        add(V4L2_CID_AUTO_WHITE_BALANCE,
            {V4L2_CTRL_TYPE_BOOLEAN, "White Balance, Automatic", 0, 1, 1, 1, 0, 1, {}});
        add(V4L2_CID_POWER_LINE_FREQUENCY, {V4L2_CTRL_TYPE_MENU,
                                            "Power Line Frequency",
                                            0,
                                            2,
                                            1,
                                            1,
                                            0,
                                            1,
                                            {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}}});
        add(V4L2_CID_WHITE_BALANCE_TEMPERATURE, {V4L2_CTRL_TYPE_INTEGER,
                                                 "White Balance Temperature",
                                                 2800,
                                                 6500,
                                                 10,
                                                 4600,
                                                 0,
                                                 4600,
                                                 {}});
        add(V4L2_CID_BACKLIGHT_COMPENSATION, {V4L2_CTRL_TYPE_INTEGER,
                                              "Backlight Compensation",
                                              0,
                                              2,
                                              1,
                                              1,
                                              V4L2_CTRL_FLAG_READ_ONLY,
                                              2,
                                              {}});
        add(V4L2_CID_CAMERA_CLASS, {V4L2_CTRL_TYPE_CTRL_CLASS,
                                    "Camera Controls",
                                    0,
                                    0,
                                    0,
                                    0,
                                    V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY,
                                    0,
                                    {}});
        // uvcvideo's exposure menu has holes at 0 and 2.
        add(V4L2_CID_EXPOSURE_AUTO, {V4L2_CTRL_TYPE_MENU,
                                     "Auto Exposure",
                                     0,
                                     3,
                                     1,
                                     3,
                                     0,
                                     3,
                                     {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}}});
        add(V4L2_CID_PAN_RESET,
            {V4L2_CTRL_TYPE_BUTTON, "Pan, Reset", 0, 0, 0, 0, V4L2_CTRL_FLAG_WRITE_ONLY, 0, {}});
        add(kIntegerMenuId, {V4L2_CTRL_TYPE_INTEGER_MENU,
                             "Zoom Speed",
                             0,
                             2,
                             1,
                             0,
                             0,
                             2,
                             {{0, "100"}, {1, "200"}, {2, "400"}}});
        add(kInteger64Id, {V4L2_CTRL_TYPE_INTEGER64, "Counter", 0, 1LL << 40, 1, 0, 0, 0, {}});
    }

    void add(quint32 id, const Control& control) { controls.emplace(id, control); }

    VendorDialogDevice device()
    {
        VendorDialogDevice d;
        std::memset(&d, 0, sizeof d);
        d.structSize = sizeof d;
        d.version = VENDOR_DIALOG_DEVICE_VERSION;
        d.fd = -1;
        d.devicePath = "Simulated Camera 1";
        d.cardName = "Vorn Conference Camera";
        d.context = this;
        d.queryExtControl = [](void* c, v4l2_query_ext_ctrl* q) {
            return static_cast<ControlTable*>(c)->query(q);
        };
        d.queryMenu = [](void* c, v4l2_querymenu* m) {
            return static_cast<ControlTable*>(c)->menuItem(m);
        };
        d.getControl = [](void* c, v4l2_control* v) {
            return static_cast<ControlTable*>(c)->get(v);
        };
        d.setControl = [](void* c, v4l2_control* v) {
            return static_cast<ControlTable*>(c)->set(v);
        };
        return d;
    }

private:
    quint32 flagsOf(quint32 id, const Control& control) const
    {
        quint32 flags = control.flags;
        // The temperature is the device's own choice while automatic white
        // balance is on.
        if (id == V4L2_CID_WHITE_BALANCE_TEMPERATURE &&
            controls.at(V4L2_CID_AUTO_WHITE_BALANCE).value) {
            flags |= V4L2_CTRL_FLAG_INACTIVE;
        }
        return flags;
    }

    int query(v4l2_query_ext_ctrl* q) const
    {
        std::map<quint32, Control>::const_iterator it;
        if (q->id & V4L2_CTRL_FLAG_NEXT_CTRL) {
            it = controls.upper_bound(q->id &
                                      ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND));
        } else {
            it = controls.find(q->id);
        }
        if (it == controls.end()) {
            return -EINVAL;
        }
        const Control& c = it->second;
        std::memset(q, 0, sizeof *q);
        q->id = it->first;
        q->type = c.type;
        std::strncpy(q->name, c.name, sizeof q->name - 1);
        q->minimum = c.minimum;
        q->maximum = c.maximum;
        q->step = c.step;
        q->default_value = c.defaultValue;
        q->flags = flagsOf(it->first, c);
        q->elem_size = 4;
        q->elems = 1;
        return 0;
    }

    int menuItem(v4l2_querymenu* m) const
    {
        auto it = controls.find(m->id);
        if (it == controls.end()) {
            return -EINVAL;
        }
        for (const auto& entry : it->second.menu) {
            if (entry.first == m->index) {
                if (it->second.type == V4L2_CTRL_TYPE_INTEGER_MENU) {
                    m->value = entry.second.toLongLong();
                } else {
                    std::strncpy(reinterpret_cast<char*>(m->name), entry.second.constData(),
                                 sizeof m->name - 1);
                }
                return 0;
            }
        }
        return -EINVAL;
    }

    int get(v4l2_control* v) const
    {
        auto it = controls.find(v->id);
        if (it == controls.end()) {
            return -EINVAL;
        }
        if (it->second.flags & V4L2_CTRL_FLAG_WRITE_ONLY) {
            return -EACCES;
        }
        v->value = it->second.value;
        return 0;
    }

    int set(v4l2_control* v)
    {
        writes.append({v->id, v->value});
        auto it = controls.find(v->id);
        if (it == controls.end()) {
            return -EINVAL;
        }
        Control& c = it->second;
        if (c.flags & V4L2_CTRL_FLAG_READ_ONLY) {
            return -EACCES;
        }
        // Buttons take any value.
        if (c.type != V4L2_CTRL_TYPE_BUTTON && (v->value < c.minimum || v->value > c.maximum)) {
            return -ERANGE;
        }
        if (refused.first == v->id && refused.second == v->value) {
            return -EIO;
        }
        if (c.type != V4L2_CTRL_TYPE_BUTTON) {
            c.value = v->value;
        }
        return 0;
    }
};

QString editorName(quint32 id)
{
    return QStringLiteral("control_%1").arg(id);
}

QStringList itemTexts(const QComboBox* combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i) {
        texts << combo->itemText(i);
    }
    return texts;
}

} // namespace

class tst_VideoCaptureFilter : public QObject
{
    Q_OBJECT

private:
    QLibrary m_library;
    VendorShowDlgFunction m_showDlg = nullptr;

    // Calls ShowDlg; inspect runs on the modal dialog once it is up. Whatever
    // inspect does, the dialog is closed afterwards so the call returns.
    int showWith(VendorDialogDevice* device, const std::function<void(QDialog*)>& inspect,
                 bool* shown)
    {
        *shown = false;
        QTimer poll;
        poll.setInterval(10);
        QElapsedTimer clock;
        clock.start();
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog) {
                if (clock.elapsed() > 10000) {
                    poll.stop();
                    closeStrayDialogs();
                }
                return;
            }
            poll.stop();
            *shown = true;
            inspect(dialog);
            if (dialog->isVisible()) {
                dialog->reject();
            }
        });
        poll.start();
        return m_showDlg(device);
    }

    static void closeStrayDialogs()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QDialog*>(widget)) {
                dialog->reject();
            }
        }
    }

    static void closeWithButton(QDialog* dialog, bool* closedByButton)
    {
        auto* close = dialog->findChild<QPushButton*>(QStringLiteral("pushButton_close"));
        QVERIFY(close);
        QCOMPARE(close->text(), QStringLiteral("Close"));
        close->click();
        *closedByButton = !dialog->isVisible();
    }

    template <typename T> static T* editor(QDialog* dialog, quint32 id)
    {
        return dialog->findChild<T*>(editorName(id));
    }

    static QString valueText(QDialog* dialog, quint32 id)
    {
        auto* label = dialog->findChild<QLabel*>(editorName(id) + QStringLiteral("_value"));
        return label ? label->text() : QStringLiteral("<no label>");
    }

    static void checkWidgetsMatchTheTable(QDialog* dialog)
    {
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Vorn Conference Camera"));

        auto* brightness = editor<QSlider>(dialog, V4L2_CID_BRIGHTNESS);
        QVERIFY(brightness);
        QCOMPARE(brightness->minimum(), -64);
        QCOMPARE(brightness->maximum(), 64);
        QCOMPARE(brightness->value(), 10);
        QVERIFY(brightness->isEnabled());
        QCOMPARE(valueText(dialog, V4L2_CID_BRIGHTNESS), QStringLiteral("10"));

        auto* contrast = editor<QSlider>(dialog, V4L2_CID_CONTRAST);
        QVERIFY(contrast);
        QCOMPARE(contrast->maximum(), 100);
        QCOMPARE(contrast->singleStep(), 5);
        QCOMPARE(contrast->value(), 35);

        auto* automatic = editor<QCheckBox>(dialog, V4L2_CID_AUTO_WHITE_BALANCE);
        QVERIFY(automatic);
        QVERIFY(automatic->isChecked());
        QVERIFY(automatic->isEnabled());

        // Inactive while automatic white balance is on, read-only always.
        auto* temperature = editor<QSlider>(dialog, V4L2_CID_WHITE_BALANCE_TEMPERATURE);
        QVERIFY(temperature);
        QCOMPARE(temperature->value(), 4600);
        QVERIFY(!temperature->isEnabled());
        auto* backlight = editor<QSlider>(dialog, V4L2_CID_BACKLIGHT_COMPENSATION);
        QVERIFY(backlight);
        QCOMPARE(backlight->value(), 2);
        QVERIFY(!backlight->isEnabled());

        auto* powerLine = editor<QComboBox>(dialog, V4L2_CID_POWER_LINE_FREQUENCY);
        QVERIFY(powerLine);
        QCOMPARE(itemTexts(powerLine),
                 QStringList({QStringLiteral("Disabled"), QStringLiteral("50 Hz"),
                              QStringLiteral("60 Hz")}));
        QCOMPARE(powerLine->currentText(), QStringLiteral("50 Hz"));

        auto* exposure = editor<QComboBox>(dialog, V4L2_CID_EXPOSURE_AUTO);
        QVERIFY(exposure);
        QCOMPARE(itemTexts(exposure), QStringList({QStringLiteral("Manual Mode"),
                                                   QStringLiteral("Aperture Priority Mode")}));
        QCOMPARE(exposure->currentText(), QStringLiteral("Aperture Priority Mode"));

        auto* speeds = editor<QComboBox>(dialog, kIntegerMenuId);
        QVERIFY(speeds);
        QCOMPARE(itemTexts(speeds), QStringList({QStringLiteral("100"), QStringLiteral("200"),
                                                 QStringLiteral("400")}));
        QCOMPARE(speeds->currentText(), QStringLiteral("400"));

        auto* reset = editor<QPushButton>(dialog, V4L2_CID_PAN_RESET);
        QVERIFY(reset);
        QCOMPARE(reset->text(), QStringLiteral("Pan, Reset"));

        // Control classes, disabled controls and kinds without an editor.
        for (quint32 id : {quint32(V4L2_CID_USER_CLASS), quint32(V4L2_CID_CAMERA_CLASS),
                           quint32(V4L2_CID_SATURATION), kInteger64Id}) {
            QVERIFY2(!dialog->findChild<QWidget*>(editorName(id)), qPrintable(editorName(id)));
        }
    }

private slots:
    void initTestCase()
    {
        m_library.setFileName(QStringLiteral(VIDEO_CAPTURE_FILTER_LIBRARY));
        QVERIFY2(m_library.load(), qPrintable(m_library.errorString()));
        m_showDlg = reinterpret_cast<VendorShowDlgFunction>(m_library.resolve("ShowDlg"));
        QVERIFY(m_showDlg);
    }

    void showsTheControlsOfTheTable()
    {
        ControlTable table;
        VendorDialogDevice device = table.device();
        bool shown = false;
        bool closedByButton = false;
        const int result = showWith(
            &device,
            [&](QDialog* dialog) {
                checkWidgetsMatchTheTable(dialog);
                if (!QTest::currentTestFailed()) {
                    closeWithButton(dialog, &closedByButton);
                }
            },
            &shown);
        QVERIFY(shown);
        QVERIFY(closedByButton);
        QCOMPARE(result, 0);
        // Looking is no writing.
        QVERIFY(table.writes.isEmpty());
    }

    void everyChangeIsWrittenAtOnce()
    {
        ControlTable table;
        VendorDialogDevice device = table.device();
        bool shown = false;
        bool closedByButton = false;
        const int result = showWith(
            &device,
            [&](QDialog* dialog) {
                auto* brightness = editor<QSlider>(dialog, V4L2_CID_BRIGHTNESS);
                QVERIFY(brightness);
                brightness->setValue(-20);
                QCOMPARE(table.writes.size(), 1);
                QCOMPARE(table.writes.last(), qMakePair(quint32(V4L2_CID_BRIGHTNESS), -20));
                QCOMPARE(valueText(dialog, V4L2_CID_BRIGHTNESS), QStringLiteral("-20"));

                // Between steps: the device gets the nearest value it takes.
                auto* contrast = editor<QSlider>(dialog, V4L2_CID_CONTRAST);
                contrast->setValue(38);
                QCOMPARE(table.writes.last(), qMakePair(quint32(V4L2_CID_CONTRAST), 40));
                QCOMPARE(contrast->value(), 40);
                QCOMPARE(valueText(dialog, V4L2_CID_CONTRAST), QStringLiteral("40"));

                // Switching automatic white balance off makes the
                // temperature editable: values are read again after a write.
                auto* automatic = editor<QCheckBox>(dialog, V4L2_CID_AUTO_WHITE_BALANCE);
                auto* temperature = editor<QSlider>(dialog, V4L2_CID_WHITE_BALANCE_TEMPERATURE);
                automatic->click();
                QCOMPARE(table.writes.last(), qMakePair(quint32(V4L2_CID_AUTO_WHITE_BALANCE), 0));
                QVERIFY(temperature->isEnabled());
                temperature->setValue(3000);
                QCOMPARE(table.writes.last(),
                         qMakePair(quint32(V4L2_CID_WHITE_BALANCE_TEMPERATURE), 3000));

                auto* powerLine = editor<QComboBox>(dialog, V4L2_CID_POWER_LINE_FREQUENCY);
                emit powerLine->activated(2);
                QCOMPARE(table.writes.last(), qMakePair(quint32(V4L2_CID_POWER_LINE_FREQUENCY), 2));
                // The menu's own indexes, not the rows of the combo box.
                auto* exposure = editor<QComboBox>(dialog, V4L2_CID_EXPOSURE_AUTO);
                emit exposure->activated(0);
                QCOMPARE(table.writes.last(), qMakePair(quint32(V4L2_CID_EXPOSURE_AUTO), 1));
                QCOMPARE(exposure->currentText(), QStringLiteral("Manual Mode"));

                editor<QPushButton>(dialog, V4L2_CID_PAN_RESET)->click();
                QCOMPARE(table.writes.last(), qMakePair(quint32(V4L2_CID_PAN_RESET), 1));
                closeWithButton(dialog, &closedByButton);
            },
            &shown);
        QVERIFY(shown);
        QVERIFY(closedByButton);
        QCOMPARE(result, 0);
        QCOMPARE(table.controls.at(V4L2_CID_BRIGHTNESS).value, -20);
        QCOMPARE(table.controls.at(V4L2_CID_WHITE_BALANCE_TEMPERATURE).value, 3000);
        QCOMPARE(table.writes.size(), 7);
    }

    void aRefusedWriteShowsTheDevicesValue()
    {
        ControlTable table;
        table.refused = {V4L2_CID_CONTRAST, 100};
        VendorDialogDevice device = table.device();
        bool shown = false;
        showWith(
            &device,
            [&](QDialog* dialog) {
                auto* contrast = editor<QSlider>(dialog, V4L2_CID_CONTRAST);
                contrast->setValue(100);
                QCOMPARE(table.writes.last(), qMakePair(quint32(V4L2_CID_CONTRAST), 100));
                QCOMPARE(contrast->value(), 35);
                QCOMPARE(valueText(dialog, V4L2_CID_CONTRAST), QStringLiteral("35"));
            },
            &shown);
        QVERIFY(shown);
    }

    void aNodeWithoutControls()
    {
        // A descriptor that answers no V4L2 request: the dialog goes through
        // the node, not the (missing) callbacks, and shows that it is empty.
        const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
        QVERIFY(fd >= 0);
        VendorDialogDevice device;
        std::memset(&device, 0, sizeof device);
        device.structSize = sizeof device;
        device.version = VENDOR_DIALOG_DEVICE_VERSION;
        device.fd = fd;
        device.devicePath = "/dev/null";
        device.cardName = "";
        bool shown = false;
        bool closedByButton = false;
        const int result = showWith(
            &device,
            [&](QDialog* dialog) {
                QCOMPARE(dialog->windowTitle(), QStringLiteral("/dev/null"));
                QVERIFY(dialog->findChild<QLabel*>(QStringLiteral("label_noControls")));
                QVERIFY(!dialog->findChild<QSlider*>());
                closeWithButton(dialog, &closedByButton);
            },
            &shown);
        ::close(fd);
        QVERIFY(shown);
        QVERIFY(closedByButton);
        QCOMPARE(result, 0);
    }

    void unusableHandles_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("null") << 0;
        QTest::newRow("struct size") << 1;
        QTest::newRow("version") << 2;
        QTest::newRow("no node and no callbacks") << 3;
    }

    void unusableHandles()
    {
        QFETCH(int, fault);
        ControlTable table;
        VendorDialogDevice device = table.device();
        switch (fault) {
        case 1:
            device.structSize -= 8;
            break;
        case 2:
            device.version = VENDOR_DIALOG_DEVICE_VERSION + 1;
            break;
        case 3:
            device.getControl = nullptr;
            break;
        default:
            break;
        }
        bool shown = false;
        const int result = showWith(
            fault == 0 ? nullptr : &device, [](QDialog*) {}, &shown);
        QVERIFY(result < 0);
        QVERIFY(!shown);
        QVERIFY(table.writes.isEmpty());
    }
};

QTEST_MAIN(tst_VideoCaptureFilter)
#include "tst_videocapturefilter.moc"
