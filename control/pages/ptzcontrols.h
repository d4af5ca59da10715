#pragma once

#include "videoinputinfo.h"

#include <QList>
#include <QObject>
#include <QTimer>

class ControlChannel;
class QComboBox;
class QKeyEvent;
class QPushButton;
class QWidget;

// The video page's presets and speed, and the keys that drive the camera
// from the focused preview: arrows pan and tilt while held, + and - zoom,
// Home goes home (each through the pad button it stands for, so a key and a
// click send the same requests), Ctrl+1..9 recall a preset and
// Ctrl+Shift+1..9 save one.
class PtzControls : public QObject
{
    Q_OBJECT
public:
    // controls: the chosen camera's channel (the video page's); its mover
    // is only reached through the channel's requests.
    PtzControls(QWidget* videoPage, ControlChannel& controls);

    void watchPreview(QWidget* preview);
    // After the page has opened the camera.
    void setCamera(const VideoInputInfo& camera);

    // Preset numbers run from 1 to 9; false when the camera cannot. The
    // camera's part follows on the control worker.
    bool recall(int number);
    bool save(int number);
    // One of the keys above (Qt::Key_Left, _Right, _Up, _Down, _Plus, _Minus,
    // _Home) pressed or released as its pad button; false for any other key.
    // Shortcuts from outside the window drive the pad through it too.
    bool padKey(int key, bool press);

public slots:
    void setActive(bool active);
    // Shows which presets are saved, and whether any can be.
    void refresh();

signals:
    // Shown briefly beside the button: "Preset 3 saved".
    void confirmation(int number, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool handleKey(QKeyEvent* event);
    void presetPressed(int number);
    void presetReleased(int number);

    QWidget* m_page;
    ControlChannel& m_controls;
    QList<QPushButton*> m_presets;
    QComboBox* m_speed = nullptr;
    QString m_key;
    bool m_positions = false;
    bool m_active = false;
    QTimer m_longPress;
    int m_held = 0;
    bool m_savedByHold = false;
};
