#include "upgradeoptions.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool isSwitch(const char* text, const char* name)
{
    return text && std::strcmp(text, name) == 0;
}

// Applies one pair; false with a reason when it makes no sense.
bool applyPair(UpgradeOptions& options, const char* option, const char* value, bool* haveIndex)
{
    if (!value) {
        options.problem = "option without a value";
        return false;
    }
    if (isSwitch(option, "-I")) {
        if (!parseCameraIndex(value, &options.cameraIndex)) {
            options.problem = "camera index is not a number";
            return false;
        }
        *haveIndex = true;
        return true;
    }
    const bool image = isSwitch(option, "-M");
    if (image || isSwitch(option, "-P")) {
        if (options.operation != UpgradeOptions::Operation::Invalid) {
            options.problem = "more than one firmware file";
            return false;
        }
        options.operation =
            image ? UpgradeOptions::Operation::WriteImage : UpgradeOptions::Operation::WritePackage;
        options.filePath = value;
        return true;
    }
    options.problem = "unknown option";
    return false;
}

} // namespace

bool parseCameraIndex(const char* text, int* index)
{
    if (!text || !*text) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    const long parsed = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed < INT_MIN || parsed > INT_MAX ||
        !(text[0] == '-' || (text[0] >= '0' && text[0] <= '9'))) {
        return false;
    }
    *index = static_cast<int>(parsed);
    return true;
}

UpgradeOptions parseUpgradeOptions(int count, const char* switch1, const char* value1,
                                   const char* switch2, const char* value2)
{
    UpgradeOptions options;
    if (count != 1 && count != 2) {
        options.problem = "option count must be 1 or 2";
        return options;
    }
    bool haveIndex = false;
    if (!applyPair(options, switch1, value1, &haveIndex) ||
        (count == 2 && !applyPair(options, switch2, value2, &haveIndex))) {
        options.operation = UpgradeOptions::Operation::Invalid;
        return options;
    }
    if (!haveIndex) {
        options.problem = "no camera index";
        options.operation = UpgradeOptions::Operation::Invalid;
        return options;
    }
    if (options.operation == UpgradeOptions::Operation::Invalid) {
        options.operation = UpgradeOptions::Operation::ReadInformation;
    }
    return options;
}
