#include "viscaservice.h"

#include "viscaserver.h"

ViscaService::ViscaService(const Options& options, QObject* parent)
    : QObject(parent), m_options(options)
{
}

bool ViscaService::start(QString* problem)
{
    auto* first = new ViscaServer(m_options.allowed, m_framing, this);
    if (!first->listen(m_options.address, m_options.port, m_options.port + kTcpOffset, problem)) {
        delete first;
        return false;
    }
    connect(first, &ViscaServer::logLine, this, &ViscaService::logLine);
    m_servers.append(first);
    return true;
}

ViscaServer* ViscaService::server(int index)
{
    while (m_servers.size() <= index) {
        const quint16 port = quint16(m_options.port + m_servers.size());
        auto* next = new ViscaServer(m_options.allowed, m_framing, this);
        QString problem;
        if (port + kTcpOffset > 65535 ||
            !next->listen(m_options.address, port, quint16(port + kTcpOffset), &problem)) {
            emit logLine(QStringLiteral("VISCA: camera %1 gets no port: %2")
                             .arg(m_servers.size())
                             .arg(problem));
            delete next;
            return nullptr;
        }
        connect(next, &ViscaServer::logLine, this, &ViscaService::logLine);
        m_servers.append(next);
    }
    return m_servers.at(index);
}

void ViscaService::setCameras(const QList<VideoInputInfo>& cameras)
{
    for (int i = 0; i < qMax(cameras.size(), m_servers.size()); ++i) {
        const VideoInputInfo camera = cameras.value(i);
        ViscaServer* target = camera.isNull() ? m_servers.value(i) : server(i);
        if (!target) {
            continue;
        }
        const bool changed = !(camera == target->camera());
        target->setCamera(camera);
        if (changed && !camera.isNull()) {
            emit logLine(QStringLiteral("VISCA: camera %1, %2 (%3), on %4")
                             .arg(i)
                             .arg(camera.description(), camera.deviceName(), target->where()));
        }
    }
}
