#include "viscaservice.h"

#include "viscaserver.h"

namespace {

bool parseAddressAndPort(const QString& text, QHostAddress* address, quint16* port)
{
    // An IPv6 address with a port comes in brackets: [::1]:52381; without
    // them, every colon is the address's own.
    const bool bareIpv6 = text.count(QLatin1Char(':')) > 1 && !text.startsWith(QLatin1Char('['));
    const int colon = bareIpv6 ? -1 : text.lastIndexOf(QLatin1Char(':'));
    QString host = colon < 0 ? text : text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']'))) {
        host = host.mid(1, host.size() - 2);
    }
    bool numeric = true;
    const uint number =
        colon < 0 ? ViscaService::kDefaultPort : text.mid(colon + 1).toUInt(&numeric);
    if (!numeric || number == 0 || number + ViscaService::kTcpOffset > 65535 ||
        !address->setAddress(host)) {
        return false;
    }
    *port = quint16(number);
    return true;
}

} // namespace

bool ViscaService::takeOptions(QStringList* args, Options* options, QString* problem)
{
    for (int i = args->size() - 1; i >= 0; --i) {
        const QString arg = args->at(i);
        if (arg == QLatin1String("--visca")) {
            options->enabled = true;
        } else if (arg.startsWith(QLatin1String("--visca="))) {
            options->enabled = true;
            if (!parseAddressAndPort(arg.mid(8), &options->address, &options->port)) {
                *problem = QStringLiteral("--visca takes ADDRESS:PORT, as in 127.0.0.1:%1, not "
                                          "\"%2\"")
                               .arg(kDefaultPort)
                               .arg(arg.mid(8));
                return false;
            }
        } else if (arg.startsWith(QLatin1String("--visca-allow="))) {
            options->allowed.clear();
            for (const QString& text : arg.mid(14).split(QLatin1Char(','))) {
                QHostAddress address;
                if (!address.setAddress(text.trimmed())) {
                    *problem = QStringLiteral("--visca-allow takes client addresses separated by "
                                              "commas; \"%1\" is not one")
                                   .arg(text);
                    return false;
                }
                options->allowed.append(address);
            }
        } else {
            continue;
        }
        args->removeAt(i);
    }
    return true;
}

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
