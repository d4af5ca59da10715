#pragma once

#include "upgradecamera.h"
#include "uvc_upgrade.h"

#include <string>

// A firmware image for the simulated camera (.img or .pkg alike) is a
// 32-byte header and the firmware itself, the payload:
//   bytes  0..7   "LUMORAFW"
//   bytes  8..11  length of the payload, unsigned, little-endian
//   bytes 12..15  CRC-32 (IEEE 802.3, as zlib and gzip compute it) of the
//                 payload, little-endian
//   bytes 16..31  firmware version text, zero-padded (informative)
// scripts/make-firmware-image makes one from any payload.
constexpr int kFirmwareHeaderBytes = 32;
constexpr char kFirmwareMagic[] = "LUMORAFW";

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
