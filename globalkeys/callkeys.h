#pragma once

#include "callkeybindings.h"

#include <QObject>
#include <QPointer>
#include <QStringList>

class GlobalKeyGrabber;
class PtzControls;
class QPushButton;
class QWidget;

// Keys during a call: presets, pan, tilt, zoom and auto framing of the
// window's camera from the keyboard while another program has the focus.
// They act through the video page's own presets, pad and auto framing
// switch, so a key does what a click there does, no more.
class CallKeys : public QObject
{
    Q_OBJECT
public:
    // window: the main window, whose video page the keys drive. Grabs the
    // keys at once when the user's switch is on.
    CallKeys(QWidget* window, QObject* parent);

    // Empty where the keys can be offered; else why not, for the user.
    QString unavailableReason() const { return m_unavailable; }
    bool isOn() const { return m_on; }
    // Switches the keys on (grabbing them) or off, and keeps the choice.
    void setOn(bool on);
    // The keys the desktop refused when last switched on, one line each:
    // "Ctrl+Alt+Left (Pan left): another program holds it".
    QStringList refused() const { return m_refused; }
    // The same for the user, with a line that says what they are.
    QString refusalText() const;
    // The bindings in force, for the user: "Ctrl+Alt+1  Preset 1", ...
    QStringList summary() const;

signals:
    // Some keys could not be had; text says which and why.
    void keysRefused(const QString& text);

private:
    void grabAll();
    void pressed(int index);
    void released(int index);
    void refusedLater(const QMap<int, QString>& errors);
    QString refusalLine(int index, const QString& error) const;
    PtzControls* ptz() const;

    QWidget* m_window;
    GlobalKeyGrabber* m_grabber = nullptr;
    QString m_unavailable;
    QVector<CallKeyBinding> m_bindings;
    QStringList m_refused;
    QVector<bool> m_grabbed;
    bool m_on = false;
};
