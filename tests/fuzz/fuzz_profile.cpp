// A camera profile as kept in the user's settings: the JSON of its values,
// checked as a restore checks them, the text of a preset and of a mode.
#include "capturemode.h"
#include "controlvalue.h"
#include "fuzzexpect.h"
#include "profiletext.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    const QJsonObject values = ProfileText::values(text);
    for (const ControlDescriptor* control : ControlCatalogue::profileControls()) {
        QString problem;
        const QJsonValue value =
            ControlValue::parse(*control, values.value(control->name), &problem);
        FUZZ_EXPECT(problem.isEmpty() != value.isNull());
    }
    PtzPosition position;
    if (ProfileText::preset(QString::fromUtf8(text), &position)) {
        PtzPosition again;
        FUZZ_EXPECT(ProfileText::preset(ProfileText::presetText(position), &again));
        FUZZ_EXPECT(again == position);
    }
    const CaptureMode mode = CaptureMode::fromString(QString::fromUtf8(text));
    FUZZ_EXPECT(mode.isNull() || CaptureMode::fromString(mode.toString()) == mode);
    return 0;
}
