#include "ratelimiter.h"

#include <QMutexLocker>

#include <algorithm>

namespace {
// Past this many clients the full buckets are forgotten, so that a stream
// of new addresses cannot grow the table without end.
constexpr int kMaxClients = 1024;
} // namespace

RateLimiter::RateLimiter(double perSecond, double burst) : m_perSecond(perSecond), m_burst(burst)
{
    m_clock.start();
}

bool RateLimiter::allow(const QString& client)
{
    QMutexLocker lock(&m_mutex);
    const qint64 now = m_clock.elapsed();
    if (m_buckets.size() > kMaxClients) {
        for (auto it = m_buckets.begin(); it != m_buckets.end();) {
            const double filled = it->tokens + (now - it->at) * m_perSecond / 1000.0;
            if (filled >= m_burst) {
                it = m_buckets.erase(it);
            } else {
                ++it;
            }
        }
    }
    auto it = m_buckets.find(client);
    if (it == m_buckets.end()) {
        it = m_buckets.insert(client, {m_burst, now});
    }
    it->tokens = std::min(m_burst, it->tokens + (now - it->at) * m_perSecond / 1000.0);
    it->at = now;
    if (it->tokens < 1.0) {
        return false;
    }
    it->tokens -= 1.0;
    return true;
}
