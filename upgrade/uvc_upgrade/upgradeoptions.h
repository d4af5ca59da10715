#pragma once

#include <string>

// The options of one call of the entry point, read from its switch and
// value pairs.
struct UpgradeOptions
{
    enum class Operation
    {
        Invalid,
        ReadInformation,
        WriteImage,
        WritePackage
    };

    Operation operation = Operation::Invalid;
    int cameraIndex = -1;
    std::string filePath; // bytes as the caller passed them
    std::string problem;  // why the options are invalid
};

UpgradeOptions parseUpgradeOptions(int count, const char* switch1, const char* value1,
                                   const char* switch2, const char* value2);

// Decimal integer with an optional minus sign and nothing else.
bool parseCameraIndex(const char* text, int* index);
