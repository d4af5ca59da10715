#pragma once

#include "cliselection.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

// Auto framing run by the agent, one camera at a time or several: each
// framed camera is streamed by the agent (framing needs the picture), its
// faces found and its head driven as `lumora-ctl frame` does. One object
// serves every server of the agent, so that a switch by VISCA is what the
// HTTP API lists and tells. Lives in the agent's thread.
class AgentFraming : public QObject
{
    Q_OBJECT
public:
    explicit AgentFraming(QObject* parent = nullptr);
    ~AgentFraming() override;

    // Starts or stops framing `camera`; false, with a sentence for the
    // user, when it cannot be framed (no head, no detector, camera held by
    // another program). Switching on what is on, or off what is off, is
    // no change.
    bool set(const CliCamera& camera, bool on, QString* problem);
    bool isOn(const QString& device) const { return m_sessions.count(device) > 0; }
    // The newest picture of a framed camera (the agent holds its stream, so
    // a snapshot comes from here); null for a camera not framed.
    QImage latestFrame(const QString& device) const;
    // A camera that went away stops being framed.
    void forget(const QString& device);

signals:
    // Framing of the camera was switched on or off (not told for a camera
    // that went away).
    void switched(const QString& device, bool on);
    // What framing decided for the camera, in words.
    void acted(const QString& device, const QString& what);

private:
    struct Session;
    std::map<QString, std::unique_ptr<Session>> m_sessions; // by device path
};
