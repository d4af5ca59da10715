#include "ptzcontrols.h"

#include "cameramover.h"
#include "cameraprofilestore.h"
#include "controlchannel.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QPushButton>
#include <QToolTip>

#include <algorithm>
#include <iterator>

namespace {

// A press held this long saves instead of recalling.
constexpr int kLongPressMs = 600;
constexpr int kConfirmationMs = 1500;

const QString kPresetLook = QStringLiteral(
    "QPushButton{color: rgb(255, 255, 255); font: 12px \"Brandon Text Medium\";"
    " border: 1px solid rgb(160, 160, 160); border-radius: 4px; background: transparent;}"
    "QPushButton:pressed{background: rgb(90, 90, 90);}"
    "QPushButton:disabled{color: grey; border-color: rgb(110, 110, 110);}");
// A saved preset is filled, as the chosen image style is.
const QString kSavedLook = QStringLiteral(
    "QPushButton{color: rgb(0, 0, 0); font: bold 12px \"Brandon Text Medium\";"
    " border: 1px solid rgb(233, 143, 53); border-radius: 4px; background: rgb(233, 143, 53);}"
    "QPushButton:pressed{background: rgb(200, 110, 30);}"
    "QPushButton:disabled{color: grey; border-color: rgb(110, 110, 110); background: "
    "transparent;}");

// Which pad button a key stands for, and its tooltip.
const struct
{
    int key;
    const char* button;
    const char* tip;
} kKeys[] = {
    {Qt::Key_Left, "pushButton_left", "Pan left while held (Left arrow)"},
    {Qt::Key_Right, "pushButton_right", "Pan right while held (Right arrow)"},
    {Qt::Key_Up, "pushButton_up", "Tilt up while held (Up arrow)"},
    {Qt::Key_Down, "pushButton_down", "Tilt down while held (Down arrow)"},
    {Qt::Key_Plus, "pushButton_zoomin", "Zoom in while held (+)"},
    {Qt::Key_Equal, "pushButton_zoomin", nullptr},
    {Qt::Key_Minus, "pushButton_zoomout", "Zoom out while held (-)"},
    {Qt::Key_Home, "pushButton_home", "Home position (Home)"},
};

// Ctrl+Shift+digit arrives as the shifted character on many layouts.
const char kShiftedDigits[] = "!@#$%^&*(";

int presetOfKey(const QKeyEvent* event)
{
    if (event->key() >= Qt::Key_1 && event->key() <= Qt::Key_9) {
        return event->key() - Qt::Key_1 + 1;
    }
    for (int i = 0; i < 9; ++i) {
        if (event->key() == kShiftedDigits[i]) {
            return i + 1;
        }
    }
    return 0;
}

} // namespace

PtzControls::PtzControls(QWidget* videoPage, ControlChannel& controls)
    : QObject(videoPage), m_page(videoPage), m_controls(controls)
{
    for (const auto& entry : kKeys) {
        auto* button = m_page->findChild<QPushButton*>(QLatin1String(entry.button));
        if (button && entry.tip) {
            button->setToolTip(tr(entry.tip) + tr(" with the preview focused"));
        }
    }
    for (int number = 1; number <= CameraProfileStore::kPresets; ++number) {
        auto* button =
            m_page->findChild<QPushButton*>(QStringLiteral("pushButton_preset%1").arg(number));
        m_presets << button;
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::pressed, this, [this, number] { presetPressed(number); });
        connect(button, &QPushButton::released, this, [this, number] { presetReleased(number); });
    }
    m_speed = m_page->findChild<QComboBox*>(QStringLiteral("comboBox_speed"));
    m_speed->setCurrentIndex(int(CameraMover::speed()));
    connect(m_speed, QOverload<int>::of(&QComboBox::activated), this,
            [](int index) { CameraMover::setSpeed(CameraMover::Speed(index)); });
    m_longPress.setSingleShot(true);
    m_longPress.setInterval(kLongPressMs);
    connect(&m_longPress, &QTimer::timeout, this, [this] { m_savedByHold = save(m_held); });
    connect(this, &PtzControls::confirmation, this, [this](int number, const QString& text) {
        QWidget* button = m_presets.value(number - 1);
        QToolTip::showText(button->mapToGlobal(QPoint(0, button->height())), text, button, QRect(),
                           kConfirmationMs);
    });
    refresh();
}

void PtzControls::watchPreview(QWidget* preview)
{
    preview->setFocusPolicy(Qt::StrongFocus);
    preview->installEventFilter(this);
}

void PtzControls::setCamera(const VideoInputInfo& camera)
{
    m_key = CameraProfileStore::keyOf(camera);
    m_controls.ask(
        this, [](ControlWorker& worker) { return worker.mover().hasPositions(); },
        [this](bool positions) {
            m_positions = positions;
            refresh();
        });
}

void PtzControls::setActive(bool active)
{
    m_active = active;
    refresh();
}

bool PtzControls::recall(int number)
{
    PtzPosition position;
    if (!m_active || !m_positions || !CameraProfileStore::preset(m_key, number, &position)) {
        return false;
    }
    m_controls.post([position](ControlWorker& worker) { worker.mover().moveTo(position); });
    return true;
}

bool PtzControls::save(int number)
{
    if (!m_active || !m_positions) {
        return false;
    }
    const auto read = [](ControlWorker& worker) {
        PtzPosition position;
        return qMakePair(worker.mover().position(&position), position);
    };
    // Kept for the camera whose position was read, whatever has been opened since.
    const QString key = m_key;
    m_controls.ask(this, read, [this, key, number](const QPair<bool, PtzPosition>& at) {
        if (!at.first) {
            return;
        }
        CameraProfileStore::setPreset(key, number, at.second);
        refresh();
        emit confirmation(number, tr("Preset %1 saved").arg(number));
    });
    return true;
}

void PtzControls::presetPressed(int number)
{
    m_held = number;
    m_savedByHold = false;
    if (QApplication::keyboardModifiers() & Qt::ControlModifier) {
        m_savedByHold = save(number);
        return;
    }
    m_longPress.start();
}

void PtzControls::presetReleased(int number)
{
    m_longPress.stop();
    if (!m_savedByHold && m_held == number) {
        recall(number);
    }
    m_held = 0;
}

void PtzControls::refresh()
{
    // Runs as a camera opens: the settings are read once for all buttons,
    // and a button is restyled only when its look changes, since setting a
    // style sheet, even the same one, has it parsed and the button polished
    // again on the GUI thread.
    const QVector<bool> savedPresets =
        m_key.isEmpty() ? QVector<bool>(m_presets.size())
                        : CameraProfileStore::savedPresets(m_key, m_presets.size());
    for (int number = 1; number <= m_presets.size(); ++number) {
        QPushButton* button = m_presets.at(number - 1);
        const bool saved = savedPresets.value(number - 1);
        button->setEnabled(m_active && m_positions);
        const QString& look = saved ? kSavedLook : kPresetLook;
        if (button->styleSheet() != look) {
            button->setStyleSheet(look);
        }
        if (m_active && !m_positions) {
            button->setToolTip(tr("This camera has no absolute pan, tilt and zoom controls, so "
                                  "it cannot keep presets"));
        } else {
            button->setToolTip(
                tr("Preset %1%2: click to go there; hold or Ctrl+click to save the current view "
                   "(Ctrl+%1 and Ctrl+Shift+%1 with the preview focused)")
                    .arg(number)
                    .arg(saved ? tr(" (saved)") : QString()));
        }
    }
}

bool PtzControls::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        return handleKey(static_cast<QKeyEvent*>(event));
    }
    return QObject::eventFilter(watched, event);
}

bool PtzControls::handleKey(QKeyEvent* event)
{
    const bool press = event->type() == QEvent::KeyPress;
    const int preset = presetOfKey(event);
    if (preset && (event->modifiers() & Qt::ControlModifier)) {
        if (press && !event->isAutoRepeat()) {
            if (event->modifiers() & Qt::ShiftModifier) {
                save(preset);
            } else {
                recall(preset);
            }
        }
        return true;
    }
    // Held keys repeat; the motion starts with the first press and ends
    // with the last release, as a held button does.
    if (event->isAutoRepeat()) {
        return std::any_of(std::begin(kKeys), std::end(kKeys),
                           [event](const auto& entry) { return entry.key == event->key(); });
    }
    return padKey(event->key(), press);
}

bool PtzControls::padKey(int key, bool press)
{
    for (const auto& entry : kKeys) {
        if (key != entry.key) {
            continue;
        }
        auto* button = m_page->findChild<QPushButton*>(QLatin1String(entry.button));
        button->setDown(press);
        if (press) {
            emit button->pressed();
        } else {
            emit button->released();
        }
        return true;
    }
    return false;
}
