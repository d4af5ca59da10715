// The network servers' keys of the user's settings file, through QSettings'
// INI reader, as the window and lumora-ctl agent read them at start.
#include "fuzzexpect.h"
#include "networkoptions.h"

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
    NetworkOptions options;
    QString problem;
    if (!NetworkOptions::fromSettings(QSettings(file.fileName(), QSettings::IniFormat), &options,
                                      &problem)) {
        FUZZ_EXPECT(problem.contains(QLatin1String("network/")));
        return 0;
    }
    FUZZ_EXPECT(options.visca.port != 0 && options.visca.port + ViscaOptions::kTcpOffset <= 65535);
    FUZZ_EXPECT(!options.visca.address.isNull());
    FUZZ_EXPECT(options.httpPort != 0 && !options.httpAddress.isEmpty());
    return 0;
}
