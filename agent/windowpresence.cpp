#include "windowpresence.h"

#include "cameraprofilestore.h"
#include "videoinputinfo.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>

WindowPresence::WindowPresence(QObject* parent) : QObject(parent), m_server(new QLocalServer(this))
{
    listen();
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* agent = m_server->nextPendingConnection()) {
            m_agents.append(agent);
            connect(agent, &QLocalSocket::disconnected, this, [this, agent] {
                m_agents.removeAll(agent);
                agent->deleteLater();
            });
            tell(agent);
        }
    });
}

void WindowPresence::listen()
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(serverName())) {
        // A window that ended without closing leaves its socket behind; one
        // that still answers belongs to another open window, which is
        // sign enough.
        QLocalSocket probe;
        probe.connectToServer(serverName());
        if (!probe.waitForConnected(200)) {
            QLocalServer::removeServer(serverName());
            m_server->listen(serverName());
        }
    }
    if (!m_server->isListening()) {
        qDebug().noquote() << "profiles: no sign for the agent:" << m_server->errorString();
    }
}

bool WindowPresence::isAnnounced() const
{
    return m_server->isListening();
}

void WindowPresence::setOpenCamera(const VideoInputInfo& camera)
{
    m_openCamera = camera.isNull() ? QString() : camera.deviceName();
    for (QLocalSocket* agent : m_agents) {
        tell(agent);
    }
}

void WindowPresence::tell(QLocalSocket* agent)
{
    agent->write(m_openCamera.toUtf8() + '\n');
    agent->flush();
}

QString WindowPresence::serverName()
{
    const QByteArray store = QCryptographicHash::hash(
        QDir::cleanPath(CameraProfileStore::location()).toUtf8(), QCryptographicHash::Sha1);
    const QString name =
        QStringLiteral("lumora-window-") + QString::fromLatin1(store.toHex().left(16));
#if defined(Q_OS_WIN)
    // Pipe names are machine-wide there; the hash of a path in the user's
    // profile keeps users apart.
    return name;
#else
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? name : QDir(runtime).filePath(name);
#endif
}
