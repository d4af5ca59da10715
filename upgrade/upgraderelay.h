#pragma once

#include <QObject>
#include <QString>

// Carries what the upgrade library reports to whoever shows it: the
// upgrade page in the window, the terminal in lumora-ctl. Signals are sent
// on the thread that runs the library call; receivers on other threads get
// them queued, in order.
class UpgradeRelay : public QObject
{
    Q_OBJECT
public:
    static UpgradeRelay& instance();

signals:
    // One library message.
    void message(QString text);
    // An upgrade task has ended; failure is empty when the library was
    // called, else why it was not (no library, a changed camera, ...).
    void taskEnded(QString failure);

private:
    UpgradeRelay() = default;
};
