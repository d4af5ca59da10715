// config.ini as the framing engine reads it, through QSettings' INI reader.
#include "framingconfig.h"
#include "fuzzexpect.h"

#include <QSettings>
#include <QTemporaryFile>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryFile file; // one file a run, removed at the end
    if (!file.isOpen()) {
        FUZZ_EXPECT(file.open());
    }
    file.resize(0);
    file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.flush();
    const FramingSettings read =
        FramingConfig::read(QSettings(file.fileName(), QSettings::IniFormat));
    FUZZ_EXPECT(read.holdMs >= 0 && read.holdMs <= 86400000);
    FUZZ_EXPECT(read.homeMs >= read.holdMs && read.homeMs <= 86400000);
    FUZZ_EXPECT(read.manualPauseMs >= 0 && read.manualPauseMs <= 86400000);
    return 0;
}
