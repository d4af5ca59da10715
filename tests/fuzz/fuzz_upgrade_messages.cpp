// The upgrade library's messages, one a line, read as the upgrade page and
// lumora-ctl read them.
#include "fuzzexpect.h"
#include "upgradeoutcome.h"

#include <QList>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UpgradeOutcome outcome;
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    for (const QByteArray& line : text.split('\n')) {
        const UpgradeOutcome::Reading reading = outcome.read(QString::fromLocal8Bit(line));
        FUZZ_EXPECT(reading.phase != UpgradeOutcome::Phase::None || reading.barValue == 0);
        FUZZ_EXPECT(reading.barValue >= 0); // the messages write no minus sign
    }
    FUZZ_EXPECT(outcome.succeeded() == outcome.failure().isEmpty());
    return 0;
}
