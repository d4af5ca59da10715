#pragma once

#include <QByteArray>
#include <QString>

#include "videoinputinfo.h"

#include <cstdarg>

// The program's side of the firmware upgrade library: it is loaded for one
// call, given its options, and reports back through upgradeMessageCallback.

// A library message holds at most this many bytes; longer ones are cut.
constexpr int kUpgradeMessageBytes = 1023;

extern "C" int upgradeMessageCallback(const char* format, ...);

// Formats one message into a bounded buffer and decodes it from the local
// 8-bit encoding. *produced receives what vsnprintf reports.
QString formatUpgradeMessage(const char* format, va_list args, int* produced);

// Reads the device information for the camera. Returns why the library
// could not be used, or an empty text when it was called.
QString readUpgradeInformation(int cameraId);

// Writes a firmware file into the camera at that position; runs on a pool
// thread. Its end is announced by UpgradeRelay::taskEnded. A negative
// position gets nothing written.
void upgradeTask(QString fileName, int cameraId);
// The same for the camera `expected` (by description and device path),
// wherever it is just before the library call (cameraId is where the
// caller last saw it). A camera that left gets nothing written and the task
// ends with the sentence that says so.
void checkedUpgradeTask(QString fileName, int cameraId, VideoInputInfo expected);

// The folder the library is loaded from: the program's own folder (for an
// installed program its private library folder) unless a test points it
// elsewhere (an empty folder restores the default).
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
