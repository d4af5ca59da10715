#pragma once

#include "networkoptions.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class AgentFraming;
class ProfileAgent;
class ViscaService;

// The VISCA and HTTP servers with the auto framing they share, over the
// cameras `agent` lists: hosted by lumora-ctl agent and by the window alike.
// Each server is started on its own, so that a host can go on without one
// that cannot listen.
class NetworkServers : public QObject
{
    Q_OBJECT
public:
    // The newest picture of a camera this process streams itself (the
    // window's preview), by device path; null when it streams none.
    using FrameSource = std::function<QImage(const QString& device)>;

    NetworkServers(const NetworkOptions& options, ProfileAgent& agent, QObject* parent = nullptr);
    ~NetworkServers() override;

    // Whether this build has the HTTP server (CivetWeb).
    static bool hasHttp();

    // Each binds its port now, so that a port in use is told at once;
    // false with the sentence for the user when it cannot listen.
    bool startVisca(QString* problem);
    bool startHttp(QString* problem);
    void stop();
    bool isViscaListening() const { return m_viscaListening; }
    bool isHttpListening() const;

    // Given before startHttp(); snapshots of such a camera come from it.
    void setFrameSource(const FrameSource& frames) { m_frames = frames; }

signals:
    void logLine(const QString& line);

private:
    struct Http;

    NetworkOptions m_options;
    ProfileAgent& m_agent;
    std::unique_ptr<AgentFraming> m_framing;
    std::unique_ptr<ViscaService> m_visca;
    std::unique_ptr<Http> m_http;
    FrameSource m_frames;
    bool m_viscaListening = false;
};
