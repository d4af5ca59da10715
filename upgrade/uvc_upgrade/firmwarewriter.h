#pragma once

#include "firmwareimage.h"
#include "upgradecamera.h"
#include "uvc_upgrade.h"

#include <string>

// Writes a firmware file into a simulated camera and reports each step
// through the callback: the transfer as "send file" percentages of the
// bytes read, the flash write as "flash write" percentages, then the
// device's restart. Returns false when the file could not be sent; a file
// that is no valid image is refused before anything is sent.
//
// No message before the last one names the file or the device: a name
// holding "exit" would read as the end of the upgrade.
bool writeFirmware(const std::string& path, const UpgradeCamera& camera,
                   UpgradeMessageCallback report);

// Pause between two steps, in milliseconds (LUMORA_UPGRADE_STEP_MS, default
// 40), so that a small file takes a few seconds as on a real camera.
int upgradeStepMilliseconds();
