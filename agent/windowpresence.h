#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;
class VideoInputInfo;

// The window's sign that it is open: a local socket the agent stays
// connected to, on which the window names the camera it has open (its
// device path, one line each time it changes). The window applies that
// camera's profile itself, so the agent leaves it alone and the two never
// write the same camera. Named after the profile store, as only processes
// sharing one can fight; it lives in the user's runtime folder where there
// is one, which no other user can enter.
class WindowPresence : public QObject
{
    Q_OBJECT
public:
    explicit WindowPresence(QObject* parent = nullptr);

    // False when the socket could not be made; the window then runs as it
    // would without an agent.
    bool isAnnounced() const;

    static QString serverName();

public slots:
    // A null camera: none is open.
    void setOpenCamera(const VideoInputInfo& camera);

private:
    void listen();
    void tell(QLocalSocket* agent);

    QLocalServer* m_server;
    QList<QLocalSocket*> m_agents;
    QString m_openCamera;
};
