#include "eventbroadcaster.h"

#include <QMutexLocker>

#include <civetweb.h>

bool EventBroadcaster::admit(const mg_connection* connection, int cap)
{
    QMutexLocker lock(&m_mutex);
    if (m_admitted.size() >= cap) {
        return false;
    }
    m_admitted.insert(connection);
    return true;
}

void EventBroadcaster::add(mg_connection* connection)
{
    QMutexLocker lock(&m_mutex);
    m_connections.insert(connection);
}

void EventBroadcaster::remove(const mg_connection* connection)
{
    QMutexLocker lock(&m_mutex);
    m_connections.remove(connection);
    m_admitted.remove(connection);
}

void EventBroadcaster::send(const QByteArray& json)
{
    QMutexLocker lock(&m_mutex);
    for (const mg_connection* connection : qAsConst(m_connections)) {
        // CivetWeb hands the close handler a const connection, and keeps
        // writing to an open one safe from other threads itself.
        mg_websocket_write(const_cast<mg_connection*>(connection), MG_WEBSOCKET_OPCODE_TEXT,
                           json.constData(), size_t(json.size()));
    }
}
