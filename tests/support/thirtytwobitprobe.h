#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// Whether this machine starts a 32-bit x86 program at all. Under wine on a
// 64-bit Linux kernel built without IA32 emulation only the 64-bit side
// runs, and every 32-bit start fails before the program is loaded.
inline bool startsThirtyTwoBitPrograms(const QString& program, const QStringList& arguments = {})
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(120000);
    return process.error() != QProcess::FailedToStart;
}
