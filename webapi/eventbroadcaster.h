#pragma once

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QSet>

struct mg_connection;

// The WebSocket clients of /api/v1/events. send() runs in a thread of its
// own: a client that reads slowly holds up the events, never the agent or
// the HTTP requests.
class EventBroadcaster : public QObject
{
    Q_OBJECT
public:
    // From the server's threads as clients come and go. remove() waits for
    // a send under way, so a connection is never written after it closed.
    void add(mg_connection* connection);
    void remove(const mg_connection* connection);
    int size();

public slots:
    void send(const QByteArray& json);

private:
    QMutex m_mutex;
    QSet<const mg_connection*> m_connections;
};
