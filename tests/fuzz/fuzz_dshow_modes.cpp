// The dshow input's listing of a camera's options, as its log writes it:
// every mode read from it is one Lumora can write, ask for and open.
#include "capturemode.h"
#include "dshowoptionlisting.h"
#include "fuzzexpect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QList<CaptureMode> modes =
        DshowOptionListing::modes(QByteArray(reinterpret_cast<const char*>(data), int(size)));
    for (const CaptureMode& mode : modes) {
        FUZZ_EXPECT(mode.format() != CaptureMode::Format::Any && mode.fps() > 0);
        FUZZ_EXPECT(CaptureMode::fromString(mode.toString()) == mode);
        FUZZ_EXPECT(CaptureMode::find(modes, mode) == mode);
    }
    FUZZ_EXPECT(CaptureMode::sorted(modes) == modes);
    return 0;
}
