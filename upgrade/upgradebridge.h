#pragma once

#include <QByteArray>
#include <QString>

#include <cstdarg>

// The program's side of the firmware upgrade library: it is loaded for one
// call, given its options, and reports back through upgradeMessageCallback.

// A library message holds at most this many bytes; longer ones are cut.
constexpr int kUpgradeMessageBytes = 1023;

extern "C" int upgradeMessageCallback(const char* format, ...);

// Formats one message into a bounded buffer and decodes it from the local
// 8-bit encoding. *produced receives what vsnprintf reports.
QString formatUpgradeMessage(const char* format, va_list args, int* produced);

// Reads the device information for the camera; runs on the GUI thread and
// tells the user through a message box when the library cannot be used.
void readUpgradeInformation(int cameraId);

// Writes a firmware file into the camera; runs on a pool thread.
void upgradeTask(QString fileName, int cameraId);

// The folder the library is loaded from: the program's own folder unless a
// test points it elsewhere (an empty folder restores the default).
QString upgradeLibraryFolder();
void setUpgradeLibraryFolder(const QString& folder);
QString upgradeLibraryPath();

// Option values as the library expects them.
QByteArray cameraIndexText(int cameraId);
QByteArray upgradeFilePathBytes(const QString& fileName);

enum class UpgradeFileKind
{
    Image,
    Package,
    Unknown
};
UpgradeFileKind upgradeFileKind(const QString& fileName);
