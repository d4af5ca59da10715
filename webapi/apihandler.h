#pragma once

#include "agentframing.h"
#include "apiroute.h"
#include "videoinputinfo.h"

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QObject>
#include <QString>

#include <functional>

class CliOutput;
class ProfileAgent;
class RequestCounter;
struct CliCamera;

struct ApiRequest
{
    ApiRoute route;
    QByteArray body;
};

struct ApiReply
{
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
};

// The answers of the HTTP API, with the documents of lumora-ctl --json:
// the commands themselves run here, in the agent's thread, one request at
// a time, so that they never meet the agent's own camera work half-way.
class ApiHandler : public QObject
{
    Q_OBJECT
public:
    ApiHandler(ProfileAgent& agent, AgentFraming& framing, const RequestCounter& requests,
               QObject* parent = nullptr);

    ApiReply handle(const ApiRequest& request);
    // Where a camera this process streams itself (the window's preview)
    // gives its newest picture by device path; null for one it does not
    // stream. Such a camera cannot be opened a second time for a snapshot.
    void setFrameSource(const std::function<QImage(const QString&)>& frames) { m_frames = frames; }

signals:
    // One JSON text for the WebSocket clients of /api/v1/events.
    void event(const QByteArray& json);

private:
    struct Facts
    {
        QString model;
        QString device;
        QString firmware;
    };

    ApiReply answer(const ApiRequest& request);
    // lumora-ctl list's document, with whether the agent frames each camera.
    ApiReply cameraList();
    ApiReply commandReply(int status, CliOutput& out) const;
    ApiReply move(const CliCamera& camera, const QByteArray& body);
    ApiReply framing(const CliCamera& camera, const QByteArray& body);
    ApiReply snapshot(const CliCamera& camera);
    ApiReply metrics();
    void controlsChanged(const QString& device, const QJsonValue& controls);
    void plugEvent(const char* what, const VideoInputInfo& camera);

    ProfileAgent& m_agent;
    AgentFraming& m_framing;
    const RequestCounter& m_requests;
    std::function<QImage(const QString&)> m_frames;
    QHash<QString, Facts> m_seen; // by profile key, since the agent started
    bool m_busy = false;          // a preset recall waits in an event loop
};
