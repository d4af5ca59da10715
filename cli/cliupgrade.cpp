#include "cliupgrade.h"

#include "upgradebridge.h"
#include "upgrademessage.h"
#include "upgraderelay.h"

#include <QEventLoop>
#include <QRegularExpression>
#include <QtConcurrent>

#include <unistd.h>

namespace {

constexpr int kBarWidth = 30;

QString plain(const QString& status)
{
    // The page's status texts may carry colour markup.
    return QString(status).remove(QRegularExpression(QStringLiteral("<[^>]*>")));
}

} // namespace

CliUpgrade::CliUpgrade(std::FILE* stream)
    : m_stream(stream), m_terminal(::isatty(fileno(stream)) == 1)
{
}

CliUpgrade::Result CliUpgrade::run(const QString& fileName, const CliCamera& camera,
                                   int listedIndex)
{
    m_outcome.reset();
    m_result = Result();
    m_status.clear();
    m_label = QStringLiteral("camera %1 (%2)").arg(listedIndex).arg(camera.camera.deviceName());

    QEventLoop loop;
    QString taskFailure;
    // The task runs on a pool thread; its messages arrive here queued, in
    // order, and the end comes after the last of them.
    QMetaObject::Connection messages = connect(&UpgradeRelay::instance(), &UpgradeRelay::message,
                                               this, &CliUpgrade::onMessage, Qt::QueuedConnection);
    QMetaObject::Connection ended = connect(
        &UpgradeRelay::instance(), &UpgradeRelay::taskEnded, &loop,
        [&](const QString& failure) {
            taskFailure = failure;
            loop.quit();
        },
        Qt::QueuedConnection);
    show(QStringLiteral("%1: starting").arg(m_label), false);
    QFuture<void> task =
        QtConcurrent::run(checkedUpgradeTask, fileName, camera.index, camera.camera);
    loop.exec();
    task.waitForFinished();
    disconnect(messages);
    disconnect(ended);

    if (!taskFailure.isEmpty()) {
        m_result.failure = taskFailure;
    } else if (!m_outcome.succeeded()) {
        m_result.failure = m_outcome.failure();
    }
    m_result.succeeded = m_result.failure.isEmpty();
    // Line by line the reason is already on the line above; the verdict
    // need not say it twice.
    const bool reasonShown = !m_terminal && m_result.messages.contains(m_result.failure);
    const QString status = m_result.succeeded
                               ? upgradeCompleteStatus()
                               : upgradeFailedStatus(reasonShown ? QString() : m_result.failure);
    // On a terminal the verdict replaces the bar, which is longer.
    show(QStringLiteral("%1: %2").arg(m_label, plain(status)).leftJustified(m_terminal ? 100 : 0),
         m_terminal);
    if (m_terminal) {
        std::fputc('\n', m_stream);
    }
    return m_result;
}

void CliUpgrade::onMessage(const QString& message)
{
    const UpgradeOutcome::Reading reading = m_outcome.read(message);
    if (!reading.exit && !isSendFileMessage(message) && !isFlashWriteMessage(message)) {
        m_result.messages << message;
        if (!m_terminal) {
            show(QStringLiteral("%1: %2").arg(m_label, message), false);
        }
    }
    if (reading.phase == UpgradeOutcome::Phase::None) {
        return;
    }
    if (m_terminal) {
        const int filled = qBound(0, reading.barValue, 100) * kBarWidth / 100;
        const QString bar =
            QString(filled, QLatin1Char('#')) + QString(kBarWidth - filled, QLatin1Char('-'));
        show(QStringLiteral("%1: [%2] %3% %4")
                 .arg(m_label, bar)
                 .arg(reading.barValue, 3)
                 .arg(reading.status.leftJustified(28)),
             true);
    } else if (reading.status != m_status) {
        show(QStringLiteral("%1: %2").arg(m_label, reading.status), false);
    }
    m_status = reading.status;
}

void CliUpgrade::show(const QString& text, bool replaceLine)
{
    std::fprintf(m_stream, replaceLine ? "\r%s" : "%s\n", text.toLocal8Bit().constData());
    std::fflush(m_stream);
}
