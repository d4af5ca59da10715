#include "lumoratray.h"

#include "callkeys.h"
#include "cameraprofilestore.h"
#include "camerasession.h"
#include "devicecatalog.h"
#include "dialogseam.h"
#include "loginautostart.h"

#include <QApplication>
#include <QDebug>
#include <QMenu>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QWidget>

namespace {

const QString kKeepRunningKey = QStringLiteral("options/keepRunningWhenClosed");

QSettings userSettings()
{
    return QSettings(QStringLiteral("Lumora"), QStringLiteral("Lumora"));
}

} // namespace

LumoraTray::LumoraTray(QWidget* window)
    : QObject(window), m_window(window), m_menu(new QMenu(window))
{
    // The window's dark look, readable whatever the desktop's theme is.
    m_menu->setStyleSheet(
        QStringLiteral("QMenu { background: #3c3c3c; color: #f0f0f0; border: 1px solid #555; }"
                       "QMenu::item { padding: 4px 24px 4px 16px; }"
                       "QMenu::item:selected { background: #e8892b; color: #ffffff; }"
                       "QMenu::item:disabled { color: #8a8a8a; }"
                       "QMenu::separator { height: 1px; background: #555; margin: 3px 6px; }"));
    // The keys' switch tells there why it is off, or which keys it holds.
    m_menu->setToolTipsVisible(true);
    connect(m_menu, &QMenu::aboutToShow, this, &LumoraTray::rebuildMenu);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        m_icon = new QSystemTrayIcon(QIcon(QStringLiteral(":/Icon/logo.png")), this);
    }
    // Keys switched on in an earlier run are grabbed now, the tray or not.
    m_keys = new CallKeys(window, this);
    connect(m_keys, &CallKeys::keysRefused, this, &LumoraTray::tell);
    if (!m_keys->refused().isEmpty()) {
        // Once the tray shows, so that the note comes from it.
        QTimer::singleShot(0, this, [this] { tell(m_keys->refusalText()); });
    }
    rebuildMenu();
    if (!m_icon) {
        qInfo().noquote() << "tray: this desktop shows no tray icons; Lumora runs as a window only";
        QApplication::setQuitOnLastWindowClosed(true);
        return;
    }
    m_icon->setToolTip(QStringLiteral("Lumora"));
    m_icon->setContextMenu(m_menu);
    connect(m_icon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason why) {
                if (why == QSystemTrayIcon::Trigger || why == QSystemTrayIcon::DoubleClick) {
                    m_window->showNormal();
                    m_window->raise();
                    m_window->activateWindow();
                }
            });
    m_icon->show();
    QApplication::setQuitOnLastWindowClosed(!keepsRunning());
}

LumoraTray::~LumoraTray() = default;

bool LumoraTray::isShown() const
{
    return m_icon && m_icon->isVisible();
}

bool LumoraTray::keepsRunning()
{
    return userSettings().value(kKeepRunningKey, false).toBool();
}

void LumoraTray::rebuildMenu()
{
    m_menu->clear();
    connect(m_menu->addAction(QStringLiteral("Open Lumora")), &QAction::triggered, this, [this] {
        m_window->showNormal();
        m_window->raise();
        m_window->activateWindow();
    });
    m_menu->addSeparator();
    addCameraMenus();
    m_menu->addSeparator();
    QAction* keep = m_menu->addAction(QStringLiteral("Keep running when the window closes"));
    keep->setCheckable(true);
    keep->setChecked(keepsRunning());
    // Without a tray a hidden window could not be brought back.
    keep->setEnabled(m_icon != nullptr);
    connect(keep, &QAction::toggled, this, &LumoraTray::setKeepRunning);
    QAction* login = m_menu->addAction(QStringLiteral("Start when I log in"));
    login->setCheckable(true);
    login->setChecked(LoginAutostart::isEnabled());
    connect(login, &QAction::toggled, this, &LumoraTray::setStartAtLogin);
    addCallKeysSwitch();
    m_menu->addSeparator();
    connect(m_menu->addAction(QStringLiteral("Quit")), &QAction::triggered, qApp,
            &QApplication::quit);
}

void LumoraTray::addCameraMenus()
{
    QStringList names;
    for (const VideoInputInfo& camera : DeviceCatalog::instance().videoInputs()) {
        if (!camera.isUsbCamera()) {
            continue;
        }
        // Identical cameras are told apart by their place among their kind.
        const int same = names.count(camera.description());
        names.append(camera.description());
        QMenu* presets =
            m_menu->addMenu(same ? QStringLiteral("%1 #%2").arg(camera.description()).arg(same + 1)
                                 : camera.description());
        const QVector<bool> saved = CameraProfileStore::savedPresets(
            CameraProfileStore::keyOf(camera), CameraProfileStore::kPresets);
        for (int number = 1; number <= CameraProfileStore::kPresets; ++number) {
            QAction* action = presets->addAction(QStringLiteral("Preset %1").arg(number));
            action->setEnabled(saved.value(number - 1));
            connect(action, &QAction::triggered, this,
                    [this, camera, number] { recallPreset(camera, number); });
        }
    }
    if (names.isEmpty()) {
        m_menu->addAction(QStringLiteral("No camera"))->setEnabled(false);
    }
}

bool LumoraTray::recallPreset(const VideoInputInfo& camera, int number)
{
    PtzPosition position;
    if (!CameraProfileStore::preset(CameraProfileStore::keyOf(camera), number, &position)) {
        return false;
    }
    // Kept while it glides there; the next recall replaces it.
    m_recalling = std::make_unique<CameraSession>(camera);
    if (!m_recalling->open()) {
        qWarning().noquote() << "tray:" << camera.description() << "could not be opened";
        return false;
    }
    return m_recalling->mover().moveTo(position);
}

void LumoraTray::addCallKeysSwitch()
{
    QAction* keys = m_menu->addAction(QStringLiteral("Keys during calls"));
    keys->setCheckable(true);
    keys->setChecked(m_keys->isOn());
    const QString unavailable = m_keys->unavailableReason();
    keys->setEnabled(unavailable.isEmpty());
    if (!unavailable.isEmpty()) {
        keys->setText(QStringLiteral("Keys during calls (not in this session)"));
        keys->setToolTip(unavailable);
    } else {
        QStringList lines = m_keys->isOn() ? m_keys->summary() : QStringList();
        lines << m_keys->refused();
        keys->setToolTip(lines.isEmpty() ? QStringLiteral("Presets, pan, tilt, zoom and auto "
                                                          "framing from the keyboard while "
                                                          "another program has the focus")
                                         : lines.join(QLatin1Char('\n')));
    }
    connect(keys, &QAction::toggled, m_keys, &CallKeys::setOn);
}

void LumoraTray::tell(const QString& text)
{
    if (m_icon && m_icon->isVisible()) {
        m_icon->showMessage(QStringLiteral("Lumora"), text, QSystemTrayIcon::Warning);
        return;
    }
    DialogSeam::information(nullptr, QStringLiteral("Notice"), text);
}

void LumoraTray::setKeepRunning(bool on)
{
    userSettings().setValue(kKeepRunningKey, on);
    QApplication::setQuitOnLastWindowClosed(!on || !m_icon);
}

void LumoraTray::setStartAtLogin(bool on)
{
    QString error;
    if (!LoginAutostart::setEnabled(on, &error)) {
        DialogSeam::information(nullptr, QStringLiteral("Notice"),
                                QStringLiteral("Lumora's start at login could not be changed: ") +
                                    error + QLatin1Char('.'));
    }
}
