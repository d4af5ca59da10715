#include "firmwarewriter.h"

#include "simulatedcamera.h"
#include "simulatedhub.h"

#include <QtGlobal>

#include <sys/stat.h>

#if defined(_WIN32)
#include "librarypath.h"

#include <QString>

#include <string>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

namespace {

constexpr int kTransferSteps = 40;
constexpr int kFlashSteps = 20;
constexpr long long kLargestChunk = 256 * 1024;

// The path comes as GB18030 bytes. Windows reaches any file name through its
// wide-character calls; elsewhere the bytes are the name.
#if defined(_WIN32)
using FileStatus = struct _stat64;

std::wstring widePath(const std::string& path)
{
    return pathFromLibraryBytes(path.c_str()).toStdWString();
}

int statPath(const std::string& path, FileStatus* info)
{
    return ::_wstat64(widePath(path).c_str(), info);
}

std::FILE* openForReading(const std::string& path)
{
    return ::_wfopen(widePath(path).c_str(), L"rb");
}
#else
using FileStatus = struct stat;

int statPath(const std::string& path, FileStatus* info)
{
    return ::stat(path.c_str(), info);
}

std::FILE* openForReading(const std::string& path)
{
    return std::fopen(path.c_str(), "rb");
}
#endif

void pause(int steps = 1)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(upgradeStepMilliseconds() * steps));
}

// Checks the file before anything is sent; reports why it cannot be used.
bool checkFile(const std::string& path, long long* size, UpgradeMessageCallback report)
{
    FileStatus info = {};
    if (statPath(path, &info) != 0) {
        report("Error: cannot use the firmware file %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        report("Error: %s is not a firmware file", path.c_str());
        return false;
    }
    if (info.st_size == 0) {
        report("Error: the firmware file %s is empty", path.c_str());
        return false;
    }
    *size = static_cast<long long>(info.st_size);
    return true;
}

// A file that is not an image for this camera, or a damaged one, must never
// reach the flash: the header and the checksum of the whole payload are
// checked before a byte is sent. The messages do not name the file (see
// the header).
bool checkImage(const std::string& path, long long size, UpgradeMessageCallback report)
{
    std::FILE* file = openForReading(path);
    if (!file) {
        report("Error: cannot open the firmware file: %s", std::strerror(errno));
        return false;
    }
    unsigned char bytes[kFirmwareHeaderBytes] = {};
    const size_t got = std::fread(bytes, 1, sizeof bytes, file);
    FirmwareHeader header;
    if (!readFirmwareHeader(bytes, got, &header)) {
        std::fclose(file);
        report("Error: this file is no firmware image for this camera (no Lumora firmware "
               "header); nothing was written. Make one with scripts/make-firmware-image");
        return false;
    }
    const long long announced = header.payloadBytes;
    if (announced != size - kFirmwareHeaderBytes) {
        std::fclose(file);
        report("Error: the firmware image is cut short or has bytes added: its header announces "
               "%lld bytes of firmware, the file holds %lld; nothing was written",
               announced, size - kFirmwareHeaderBytes);
        return false;
    }
    std::vector<unsigned char> buffer(64 * 1024);
    unsigned int crc = 0;
    size_t read = 0;
    while ((read = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
        crc = firmwareCrc32(crc, buffer.data(), read);
    }
    const bool readError = std::ferror(file) != 0;
    std::fclose(file);
    if (readError || crc != header.payloadCrc) {
        report("Error: the firmware image is damaged: its checksum is %08X, its header says "
               "%08X; nothing was written",
               crc, header.payloadCrc);
        return false;
    }
    return true;
}

// Sends the file in chunks; the percentage is that of the bytes read.
// A camera pulled out during the upgrade stops answering; the transfer
// cannot go on.
bool stillPlugged(const UpgradeCamera& camera, UpgradeMessageCallback report)
{
    if (camera.simulated->isPlugged()) {
        return true;
    }
    report("Error: the camera was disconnected during the upgrade");
    return false;
}

bool transfer(const std::string& path, long long size, unsigned int* crc,
              const UpgradeCamera& camera, UpgradeMessageCallback report)
{
    std::FILE* file = openForReading(path);
    if (!file) {
        report("Error: cannot open the firmware file %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    const long long chunk =
        std::clamp((size + kTransferSteps - 1) / kTransferSteps, 1LL, kLargestChunk);
    std::vector<unsigned char> buffer(static_cast<size_t>(chunk));
    long long sent = 0;
    int lastPercent = -1;
    *crc = 0;
    while (sent < size) {
        if (!stillPlugged(camera, report)) {
            std::fclose(file);
            return false;
        }
        const size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        if (got == 0) {
            break;
        }
        *crc = firmwareCrc32(*crc, buffer.data(), got);
        sent += static_cast<long long>(got);
        const int percent = static_cast<int>(std::min(sent, size) * 100 / size);
        if (percent != lastPercent) {
            report("send file: %d%%", percent);
            lastPercent = percent;
        }
        pause();
    }
    const bool failed = std::ferror(file) != 0 || sent < size;
    std::fclose(file);
    if (failed) {
        report("Error: reading the firmware file %s failed after %lld of %lld bytes", path.c_str(),
               sent, size);
        return false;
    }
    return true;
}

// The camera restarts with its new firmware: it leaves the bus and comes
// back as a new device, as a real one does.
void reboot(const UpgradeCamera& camera, UpgradeMessageCallback report)
{
    report("Device rebooting...");
    const SimulatedCameraConfig config = camera.simulated->config();
    SimulatedHub::instance().unplug(camera.deviceName);
    pause(75);
    SimulatedHub::instance().plugCamera(config);
    report("Device is back, firmware version %s", kSimulatedFirmwareVersion);
}

} // namespace

int upgradeStepMilliseconds()
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue("LUMORA_UPGRADE_STEP_MS", &ok);
    return ok && value >= 0 ? value : 40;
}

bool writeFirmware(const std::string& path, const UpgradeCamera& camera,
                   UpgradeMessageCallback report)
{
    long long size = 0;
    unsigned int crc = 0;
    if (!checkFile(path, &size, report) || !checkImage(path, size, report)) {
        return false;
    }
    report("Firmware size: %lld bytes", size);
    if (!transfer(path, size, &crc, camera, report)) {
        return false;
    }
    report("Transfer checksum: %08X", crc);
    for (int step = 1; step <= kFlashSteps; ++step) {
        pause(2);
        if (!stillPlugged(camera, report)) {
            return false;
        }
        report("flash write: %.1f%%", 100.0 * step / kFlashSteps);
    }
    reboot(camera, report);
    return true;
}
