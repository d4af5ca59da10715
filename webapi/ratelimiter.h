#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QString>

// Requests per client address: a bucket of `burst` requests that fills up
// again at `perSecond`. Used from the server's worker threads at once.
class RateLimiter
{
public:
    RateLimiter(double perSecond, double burst);

    // False when the client has used up its bucket.
    bool allow(const QString& client);

private:
    struct Bucket
    {
        double tokens;
        qint64 at;
    };
    double m_perSecond;
    double m_burst;
    QMutex m_mutex;
    QElapsedTimer m_clock;
    QHash<QString, Bucket> m_buckets;
};
