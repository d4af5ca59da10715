#include "upgradeoutcome.h"

#include "upgrademessage.h"

#include <cmath>
#include <limits>

namespace {

// A percentage as the bar takes it. One beyond what an int holds ("flash
// write: 99999999999%") stays beyond the bar's range, as "send file: 250%"
// does, where the page leaves the bar as it was, instead of becoming some
// other number.
int barValueOf(float percent)
{
    if (!(percent > float(std::numeric_limits<int>::min()))) {
        return std::numeric_limits<int>::min();
    }
    if (percent >= float(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    return int(percent);
}

} // namespace

UpgradeOutcome::Reading UpgradeOutcome::read(const QString& message)
{
    Reading reading;
    reading.exit = isExitMessage(message);
    reading.error = isFailureMessage(message);
    if (reading.error && m_firstError.isEmpty()) {
        m_firstError = message.trimmed();
    }
    // A message that holds both keys is a transfer message only.
    const bool sendFile = isSendFileMessage(message);
    if (!sendFile && !isFlashWriteMessage(message)) {
        return reading;
    }
    const QString number = firstNumber(message);
    if (number.isEmpty()) {
        return reading;
    }
    if (sendFile) {
        reading.phase = Phase::SendFile;
        reading.barValue = sendFilePercent(number);
        reading.percent = float(reading.barValue);
        reading.status = QStringLiteral("send file...");
    } else {
        reading.phase = Phase::FlashWrite;
        reading.percent = flashWritePercent(number);
        reading.barValue = barValueOf(reading.percent);
        const bool complete = std::fabs(reading.percent - 100.0f) < 0.00001f;
        m_flashComplete = m_flashComplete || complete;
        reading.status = complete ? QStringLiteral("Please wait device reboot...")
                                  : QStringLiteral("upgrade...");
    }
    m_lastPercent = reading.barValue;
    return reading;
}

void UpgradeOutcome::reset()
{
    *this = UpgradeOutcome();
}

QString UpgradeOutcome::failure() const
{
    if (!m_firstError.isEmpty()) {
        return m_firstError;
    }
    if (!m_flashComplete) {
        return QStringLiteral("the upgrade ended before the firmware was completely written");
    }
    return QString();
}

QString upgradeCompleteStatus()
{
    return QStringLiteral("<font color=green>Upgrade complete!</font>");
}

QString upgradeFailedStatus(const QString& reason)
{
    const QString text = reason.isEmpty() ? QStringLiteral("Upgrade failed!")
                                          : QStringLiteral("Upgrade failed: %1").arg(reason);
    return QStringLiteral("<font color=red>%1</font>").arg(text.toHtmlEscaped());
}
