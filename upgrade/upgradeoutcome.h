#pragma once

#include <QString>

// Reads an upgrade's messages as the upgrade page and lumora-ctl both read
// them: progress of the two phases, the status text to show, and whether
// the upgrade succeeded.
class UpgradeOutcome
{
public:
    enum class Phase
    {
        None,       // no progress in this message
        SendFile,   // transfer of the file
        FlashWrite, // writing it into the camera's flash
    };

    struct Reading
    {
        Phase phase = Phase::None;
        float percent = 0.0f; // as the message wrote it
        int barValue = 0;     // what the progress bar takes
        QString status;       // status text for the progress display
        bool exit = false;    // the library's final message
        bool error = false;   // the message reports a failed step
    };

    // Reads one message and keeps what it says about the upgrade.
    Reading read(const QString& message);

    // Starts a new upgrade.
    void reset();

    // After the last message: an upgrade succeeded when its flash write
    // reached 100 % and no message reported an error.
    bool succeeded() const { return m_flashComplete && m_firstError.isEmpty(); }
    // The first message that reported an error, or why the upgrade does not
    // count as done; empty after a success.
    QString failure() const;
    int lastPercent() const { return m_lastPercent; }

private:
    bool m_flashComplete = false;
    int m_lastPercent = 0;
    QString m_firstError;
};

// The status text of a finished upgrade, as the progress display shows it.
QString upgradeCompleteStatus();
QString upgradeFailedStatus(const QString& reason);
