#include "relayedcall.h"

#include "relay/relayprotocol.h"
#include "relayrecords.h"
#include "upgradelibrary.h"
#include "upgraderelay.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QProcess>

namespace {

struct RelayRun
{
    RelayOutcome outcome = RelayOutcome::NotStarted;
    bool returnedSeen = false;
    QString returned;
    int exitCode = -1;
};

// Hands on the whole records of `pending`; false on a record the relay
// cannot have written.
bool takeRecords(QByteArray& pending, RelayRun& run)
{
    QVector<RelayRecord> records;
    const bool sound = takeRelayRecords(pending, &records);
    for (const RelayRecord& record : records) {
        if (record.tag == RelayProtocol::kMessage) {
            emit UpgradeRelay::instance().message(QString::fromLocal8Bit(record.body));
        } else {
            run.returnedSeen = true;
            run.returned = record.body.at(0) ? QString::fromUtf8(record.body.mid(1)) : QString();
        }
    }
    return sound;
}

RelayRun runRelay(const QStringList& arguments)
{
    RelayRun run;
    QProcess relay;
    relay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
#if defined(Q_OS_WIN)
    // A console program started from a window: no console flashes up.
    relay.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
        args->flags |= 0x08000000; // CREATE_NO_WINDOW
    });
#endif
    relay.start(upgradeRelayProgram(), arguments, QIODevice::ReadOnly);
    if (!relay.waitForStarted(-1)) {
        qDebug() << "upgrade relay not started:" << relay.errorString();
        return run;
    }
    // Records are handed on as they come; the wait ends with the relay.
    QByteArray pending;
    bool readable = true;
    while (readable && relay.waitForReadyRead(-1)) {
        pending += relay.readAllStandardOutput();
        readable = takeRecords(pending, run);
    }
    if (!readable) {
        qDebug() << "upgrade relay: unreadable output, stopped";
        relay.kill();
    }
    relay.waitForFinished(-1);
    pending += relay.readAllStandardOutput();
    readable = readable && takeRecords(pending, run);
    run.exitCode = relay.exitCode();
    const bool normal = readable && relay.exitStatus() == QProcess::NormalExit;
    switch (normal ? run.exitCode : -1) {
    case RelayProtocol::Called:
        run.outcome = RelayOutcome::Called;
        break;
    case RelayProtocol::NotLoaded:
        run.outcome = RelayOutcome::NotLoaded;
        break;
    case RelayProtocol::NoEntryPoint:
        run.outcome = RelayOutcome::NoEntryPoint;
        break;
    default:
        run.outcome = RelayOutcome::Broken;
        break;
    }
    return run;
}

} // namespace

QString upgradeRelayProgram()
{
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QString::fromLatin1(RelayProtocol::kProgram));
}

RelayOutcome probeThroughRelay(const QString& library)
{
    return runRelay({QDir::toNativeSeparators(library), QString::fromLatin1(RelayProtocol::kProbe)})
        .outcome;
}

RelayedResult callThroughRelay(const QString& library, const UpgradeCall& call)
{
    const RelayRun run = runRelay(
        {QDir::toNativeSeparators(library), QString::number(call.count),
         QString::fromLatin1(call.switch1.toHex()), QString::fromLatin1(call.value1.toHex()),
         QString::fromLatin1(call.switch2.toHex()), QString::fromLatin1(call.value2.toHex())});
    RelayedResult result;
    result.returned = run.returned;
    // Only a relay that saw the library return and then ended normally
    // counts: a relay killed mid-way never reads as a finished call.
    if (run.outcome == RelayOutcome::Called && run.returnedSeen) {
        return result;
    }
    switch (run.outcome) {
    case RelayOutcome::NotStarted:
        result.failure = QStringLiteral("the upgrade relay %1 could not be started")
                             .arg(QString::fromLatin1(RelayProtocol::kProgram));
        break;
    case RelayOutcome::NotLoaded:
        result.failure = QStringLiteral("DLL is not loaded!");
        break;
    case RelayOutcome::NoEntryPoint:
        result.failure = QStringLiteral("Linke to Function is not OK!!!!");
        break;
    default:
        result.failure =
            QStringLiteral("the upgrade relay ended before the library returned (exit code %1)")
                .arg(run.exitCode);
        break;
    }
    qDebug() << "upgrade relay:" << result.failure;
    return result;
}
