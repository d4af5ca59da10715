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
    // From the server's threads as clients come and go. A client takes its
    // place when its handshake is accepted (false: all `cap` are taken),
    // since the next may knock before this one is ready; it gets events once
    // ready. remove() waits for a send under way, so a connection is never
    // written after it closed.
    bool admit(const mg_connection* connection, int cap);
    void add(mg_connection* connection);
    void remove(const mg_connection* connection);

public slots:
    void send(const QByteArray& json);

private:
    QMutex m_mutex;
    QSet<const mg_connection*> m_admitted;
    QSet<const mg_connection*> m_connections;
};
