#include "requestcounter.h"

#include <QMutexLocker>

void RequestCounter::count(const QString& protocol, const QString& result)
{
    QMutexLocker lock(&m_mutex);
    ++m_counts[qMakePair(protocol, result)];
}

QMap<QPair<QString, QString>, quint64> RequestCounter::counts() const
{
    QMutexLocker lock(&m_mutex);
    return m_counts;
}
