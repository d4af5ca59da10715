#pragma once

#include <QMap>
#include <QMutex>
#include <QPair>
#include <QString>

// The agent's requests by protocol and result, for lumora_agent_requests_total.
// Counted from any thread.
class RequestCounter
{
public:
    void count(const QString& protocol, const QString& result);
    QMap<QPair<QString, QString>, quint64> counts() const;

private:
    mutable QMutex m_mutex;
    QMap<QPair<QString, QString>, quint64> m_counts;
};
