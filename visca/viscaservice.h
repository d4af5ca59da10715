#pragma once

#include "videoinputinfo.h"
#include "viscacamera.h"
#include "viscaoptions.h"

#include <QList>
#include <QObject>

class ViscaServer;

// Every USB camera of the agent as a network PTZ camera: the first on the
// base port, the next on the next one, in the order of the camera list.
class ViscaService : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kDefaultPort = ViscaOptions::kDefaultPort;
    static constexpr quint16 kTcpOffset = ViscaOptions::kTcpOffset;
    using Options = ViscaOptions;

    explicit ViscaService(const Options& options, QObject* parent = nullptr);

    // How the cameras' auto framing command is carried out; given before
    // start(), or the command is answered not executable.
    void setFramingSwitch(const ViscaCamera::FramingSwitch& framing) { m_framing = framing; }
    // Binds the base port, so that a port in use is told at once.
    bool start(QString* problem);

signals:
    void logLine(const QString& line);

public slots:
    void setCameras(const QList<VideoInputInfo>& cameras);

private:
    ViscaServer* server(int index);

    Options m_options;
    ViscaCamera::FramingSwitch m_framing;
    QList<ViscaServer*> m_servers;
};
