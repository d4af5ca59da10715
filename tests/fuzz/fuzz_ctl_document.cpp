// The JSON of "lumora-ctl set --from FILE", read and checked as set does.
#include "clidocument.h"
#include "controlvalue.h"
#include "fuzzexpect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QList<SourceCamera> sources;
    QStringList unknown;
    readControlsDocument(QByteArray(reinterpret_cast<const char*>(data), int(size)), &sources,
                         &unknown);
    for (const SourceCamera& source : sources) {
        FUZZ_EXPECT(!source.controls.isEmpty());
        for (const Assignment& assignment : assignmentsOf(source.controls)) {
            const ControlDescriptor& control = *assignment.control;
            QString problem;
            const QJsonValue value = ControlValue::parse(control, assignment.value, &problem);
            FUZZ_EXPECT(problem.isEmpty() != value.isNull());
            const bool automatic = control.automatic && value == QJsonValue(0);
            if (problem.isEmpty() && control.kind == ControlDescriptor::Kind::Number &&
                !automatic) {
                FUZZ_EXPECT(value.toInt() >= control.minimum && value.toInt() <= control.maximum);
            }
        }
    }
    for (const QString& name : unknown) {
        FUZZ_EXPECT(!ControlCatalogue::find(name));
    }
    return 0;
}
