#include "systemresumenotifier.h"

#if defined(_WIN32)
#include "windows/powerbroadcastwatcher.h"
#else
#include "linux/logindsleepwatcher.h"
#endif

SystemResumeNotifier* SystemResumeNotifier::create(QObject* parent)
{
#if defined(_WIN32)
    return new PowerBroadcastWatcher(parent);
#else
    return new LogindSleepWatcher(parent);
#endif
}
