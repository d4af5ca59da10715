#include "systemresumenotifier.h"

#if !defined(_WIN32)
#include "linux/logindsleepwatcher.h"
#endif

SystemResumeNotifier* SystemResumeNotifier::create(QObject* parent)
{
#if !defined(_WIN32)
    return new LogindSleepWatcher(parent);
#else
    return new SystemResumeNotifier(parent);
#endif
}
