#pragma once

#include "networkservers.h"

#include <QObject>
#include <QString>

#include <memory>

class ProfileAgent;

// The network servers the user's settings switch on, served by the window
// for as long as it runs, hidden to the tray too. The window's camera is
// driven by the same per-camera code as lumora-ctl agent drives it, each
// request opening the camera's controls of its own. A server that cannot
// listen (a lumora-ctl agent serving on its port) is told once, and the
// window goes on without it.
class WindowNetwork : public QObject
{
    Q_OBJECT
public:
    // Starts on the event loop's first turn, once the tray is there to tell.
    explicit WindowNetwork(QObject* parent);
    ~WindowNetwork() override;

    // The preview's newest picture, for the HTTP API's snapshots of the
    // camera the window holds.
    void setFrameSource(const NetworkServers::FrameSource& frames) { m_frames = frames; }
    bool isServing() const { return m_servers != nullptr; }

signals:
    // A sentence for the user: a server that could not listen, or a
    // setting that could not be read.
    void refused(const QString& text);

private:
    void start();
    void tell(const QString& text);

    NetworkServers::FrameSource m_frames;
    // The servers go before the agent whose cameras they serve.
    std::unique_ptr<ProfileAgent> m_agent;
    std::unique_ptr<NetworkServers> m_servers;
};
