#pragma once

#include "controlchangewatcher.h"

class QSocketNotifier;

// The camera's V4L2 control events: every control it lists is subscribed
// on a handle of its own, whose events (POLLPRI) tell of changes made
// through any other handle, another program's or Lumora's own writes.
class V4l2ControlEvents : public ControlChangeWatcher
{
    Q_OBJECT
public:
    // Null when the node cannot be opened or offers no control events.
    static V4l2ControlEvents* open(const QString& devicePath, QObject* parent);
    ~V4l2ControlEvents() override;

private:
    V4l2ControlEvents(int fd, QObject* parent);
    void readEvents();

    int m_fd;
    QSocketNotifier* m_notifier;
};
