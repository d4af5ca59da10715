#pragma once

#include <QObject>
#include <QString>

class QLocalSocket;

// The agent's view of the window (see WindowPresence): which camera the
// window has open, while the agent's connection to it stands. Looks again
// whenever asked while the window is closed; its closing is told at once.
class WindowWatch : public QObject
{
    Q_OBJECT
public:
    explicit WindowWatch(QObject* parent = nullptr);

    bool isWindowOpen() const;
    // The device path of the camera the window has open; empty for none.
    QString openCamera() const { return m_openCamera; }

    // A first look that waits for the window's answer, as the agent starts.
    void lookNow();
    // A look whose answer comes later through the signals.
    void look();

signals:
    void windowOpened();
    // The window left `camera` (empty: it had none open), by choosing
    // another or by closing.
    void cameraLeft(const QString& camera);
    void windowClosed();

private:
    void readLines();
    void setOpenCamera(const QString& camera);

    QLocalSocket* m_socket;
    QString m_openCamera;
};
