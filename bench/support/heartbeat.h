// A heartbeat on the GUI thread: a precise 5 ms timer that notes how late
// each tick comes. Next to each gap stands the GUI thread's own CPU time in
// it: on a loaded machine a late tick with little CPU time in it was the
// scheduler's doing, not the window's.
#pragma once

#include "threadcpu.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <vector>

class Heartbeat
{
public:
    static constexpr int kBeatMs = 5;
    static constexpr double kLimitMs = 50.0;

    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kBeatMs);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    }

    // Forgets what was measured and beats from now.
    void restart()
    {
        m_samples.clear();
        m_lateAt.clear();
        m_worst = m_worstCpu = 0;
        m_clock.start();
        m_last = 0;
        m_lastCpu = threadCpuNs();
        m_timer.start();
    }
    void stop() { m_timer.stop(); }

    double worstMs() const { return m_worst; }
    // GUI-thread CPU time spent within the worst gap.
    double worstCpuMs() const { return m_worstCpu; }
    double percentile(double p) const
    {
        if (m_samples.empty()) {
            return 0;
        }
        std::vector<double> sorted = m_samples;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, size_t(p * sorted.size()))];
    }
    size_t ticks() const { return m_samples.size(); }
    int lateTicks() const { return m_lateAt.size(); }
    // When the ticks over the limit came, in ms from the restart, with the
    // GUI thread's CPU time in each gap.
    QString lateAt() const { return m_lateAt.join(", "); }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const qint64 cpu = threadCpuNs();
        const double lateMs = (now - m_last) / 1e6 - kBeatMs;
        const double cpuMs = (cpu - m_lastCpu) / 1e6;
        m_last = now;
        m_lastCpu = cpu;
        m_samples.push_back(lateMs);
        if (lateMs > m_worst) {
            m_worst = lateMs;
            m_worstCpu = cpuMs;
        }
        if (lateMs > kLimitMs) {
            m_lateAt
                << QStringLiteral("%1 (GUI CPU %2 ms)").arg(now / 1000000).arg(cpuMs, 0, 'f', 1);
        }
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_lastCpu = 0;
    std::vector<double> m_samples;
    QStringList m_lateAt;
    double m_worst = 0;
    double m_worstCpu = 0;
};
