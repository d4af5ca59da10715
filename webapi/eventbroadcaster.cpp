#include "eventbroadcaster.h"

#include <QMutexLocker>

#include <civetweb.h>

void EventBroadcaster::add(mg_connection* connection)
{
    QMutexLocker lock(&m_mutex);
    m_connections.insert(connection);
}

void EventBroadcaster::remove(const mg_connection* connection)
{
    QMutexLocker lock(&m_mutex);
    m_connections.remove(connection);
}

int EventBroadcaster::size()
{
    QMutexLocker lock(&m_mutex);
    return m_connections.size();
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
