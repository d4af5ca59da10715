#pragma once

#include "elevatedlauncher.h"

#include <QString>

// Runs a program as root through pkexec and waits until it has finished:
// the user answers the authentication prompt of the session's polkit agent
// first, as with the Windows elevation prompt. The program's own exit code
// counts, since the virtual camera tool reports a module that would not load.
class LUMORA_PLATFORM_EXPORT PkexecLauncher : public ElevatedLauncher
{
public:
    // Results below 33, after the shell's codes where one fits.
    enum : int
    {
        NotStarted = 2,  // pkexec is missing or could not be run
        Declined = 5,    // the user dismissed the prompt, or was not authorised
        ToolFailed = 30, // the program ran and reported a failure
        TimedOut = 31,   // neither answer nor end within the waiting time
        Started = 42
    };

    // pkexec is looked up on the PATH unless a program is given; the waiting
    // time covers the prompt and the program's own run.
    explicit PkexecLauncher(const QString& pkexecProgram = QStringLiteral("pkexec"),
                            int waitMilliseconds = 180000);

    int runElevated(const QByteArray& file, const QByteArray& parameters,
                    const QByteArray& directory, int showCommand) override;

private:
    QString m_pkexec;
    int m_waitMilliseconds;
};
