#include "interruptwatcher.h"

#if defined(_WIN32)
#include "windows/interruptsource.h"
#else
#include "linux/interruptsource.h"
#endif

#include <QEventLoop>
#include <QTimer>

InterruptWatcher::InterruptWatcher(QObject* parent)
    : QObject(parent), m_source(std::make_unique<InterruptSource>(this))
{
}

InterruptWatcher::~InterruptWatcher() = default;

bool InterruptWatcher::sleep(int msecs)
{
    if (m_count > 0) {
        return false;
    }
    QEventLoop loop;
    connect(this, &InterruptWatcher::interrupted, &loop, &QEventLoop::quit);
    QTimer::singleShot(msecs, &loop, &QEventLoop::quit);
    loop.exec();
    return m_count == 0;
}

void InterruptWatcher::noteInterrupt()
{
    ++m_count;
    emit interrupted();
}
