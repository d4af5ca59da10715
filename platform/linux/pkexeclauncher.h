#pragma once

#include "elevatedlauncher.h"

#include <QProcess>
#include <QString>

// Runs a program as root through pkexec: the user answers the
// authentication prompt of the session's polkit agent first, as with the
// Windows elevation prompt. The program's own exit code counts, since the
// virtual camera tool reports what kept it from setting the device up.
class LUMORA_PLATFORM_EXPORT PkexecLauncher : public ElevatedLauncher
{
public:
    // pkexec is looked up on the PATH unless a program is given; the waiting
    // time of runElevated covers the prompt and the program's own run.
    explicit PkexecLauncher(const QString& pkexecProgram = QStringLiteral("pkexec"),
                            int waitMilliseconds = 180000);

    Result runElevated(const QByteArray& file, const QByteArray& parameters,
                       const QByteArray& directory, int showCommand) override;
    void startElevated(const QByteArray& file, const QByteArray& parameters,
                       const QByteArray& directory, int showCommand, QObject* context,
                       Finished finished) override;

    // The result for an ended pkexec, given what it wrote to its error output.
    static Result resultOf(QProcess::ExitStatus status, int exitCode, const QByteArray& errors);

private:
    static QStringList arguments(const QByteArray& file, const QByteArray& parameters);
    QProcess* newProcess(const QByteArray& file, const QByteArray& parameters,
                         const QByteArray& directory) const;

    QString m_pkexec;
    int m_waitMilliseconds;
};
