#include "windownetwork.h"

#include "profileagent.h"

#include <QDebug>
#include <QTimer>

WindowNetwork::WindowNetwork(QObject* parent) : QObject(parent)
{
    QTimer::singleShot(0, this, &WindowNetwork::start);
}

WindowNetwork::~WindowNetwork()
{
    m_servers.reset();
}

void WindowNetwork::start()
{
    NetworkOptions options;
    QString problem;
    if (!NetworkOptions::fromSettings(&options, &problem)) {
        tell(QStringLiteral("The network control is off: %1.").arg(problem));
        return;
    }
    options.http = options.http && NetworkServers::hasHttp();
    if (!options.visca.enabled && !options.http) {
        return;
    }
    auto agent = std::make_unique<ProfileAgent>(ProfileAgent::Role::WatchesOnly, nullptr);
    auto servers = std::make_unique<NetworkServers>(options, *agent);
    connect(servers.get(), &NetworkServers::logLine, this,
            [](const QString& line) { qInfo().noquote() << "network:" << line; });
    servers->setFrameSource(m_frames);
    const bool visca = options.visca.enabled && servers->startVisca(&problem);
    if (options.visca.enabled && !visca) {
        tell(QStringLiteral("%1; the window serves no VISCA (a lumora-ctl agent may serve "
                            "there already).")
                 .arg(problem));
    }
    const bool http = options.http && servers->startHttp(&problem);
    if (options.http && !http) {
        tell(QStringLiteral("The HTTP API %1; the window serves none (a lumora-ctl agent may "
                            "serve there already).")
                 .arg(problem));
    }
    if (!visca && !http) {
        return;
    }
    agent->start();
    m_agent = std::move(agent);
    m_servers = std::move(servers);
}

void WindowNetwork::tell(const QString& text)
{
    qWarning().noquote() << "network:" << text;
    emit refused(text);
}
