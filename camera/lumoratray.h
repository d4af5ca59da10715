#pragma once

#include "videoinputinfo.h"

#include <QObject>

#include <memory>

class CallKeys;
class CameraSession;
class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

// The window's icon in the desktop's tray: the window brought back, each
// camera's nine presets at hand without switching to it, whether closing
// the window ends the program, whether Lumora starts at login, the switch
// of the keys during calls, and Quit.
// Where the desktop has no tray, it says so once and the program behaves
// as without it.
class LumoraTray : public QObject
{
    Q_OBJECT
public:
    explicit LumoraTray(QWidget* window);
    ~LumoraTray() override;

    bool isShown() const;
    // The menu, shown by the tray and built again each time it opens.
    QMenu* menu() const { return m_menu; }

    // Kept in the user's settings; off unless the user switched it on, so
    // closing the window ends the program.
    static bool keepsRunning();
    CallKeys* callKeys() const { return m_keys; }

public slots:
    void rebuildMenu();
    // Said where the user sees it: a note from the tray, else a message box.
    void tell(const QString& text);
    // Moves the camera to its preset; false when it has none or cannot.
    bool recallPreset(const VideoInputInfo& camera, int number);

private:
    void addCameraMenus();
    void setKeepRunning(bool on);
    void setStartAtLogin(bool on);
    void addCallKeysSwitch();

    QWidget* m_window;
    QMenu* m_menu;
    QSystemTrayIcon* m_icon = nullptr;
    CallKeys* m_keys = nullptr;
    // The camera a recall moves: kept until the next recall, as the move
    // glides on after the menu has closed.
    std::unique_ptr<CameraSession> m_recalling;
};
