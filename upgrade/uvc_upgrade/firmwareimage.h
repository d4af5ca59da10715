#pragma once

#include <cstddef>

// A firmware image for the simulated camera (.img or .pkg alike) is a
// 32-byte header and the firmware itself, the payload:
//   bytes  0..7   "LUMORAFW"
//   bytes  8..11  length of the payload, unsigned, little-endian
//   bytes 12..15  CRC-32 (IEEE 802.3, as zlib and gzip compute it) of the
//                 payload, little-endian
//   bytes 16..31  firmware version text, zero-padded (informative: the
//                 library never reports it, as a text holding "exit" or
//                 "error" would be read as the end or failure of the upgrade)
// scripts/make-firmware-image makes one from any payload.
constexpr int kFirmwareHeaderBytes = 32;
constexpr char kFirmwareMagic[] = "LUMORAFW";

struct FirmwareHeader
{
    unsigned int payloadBytes = 0;
    unsigned int payloadCrc = 0;
};

// Reads the header from the first `available` bytes of a file; false when
// they are fewer than a header or do not start with the magic.
bool readFirmwareHeader(const unsigned char* bytes, std::size_t available, FirmwareHeader* header);

// Goes on with the CRC-32 of earlier bytes (0 to start).
unsigned int firmwareCrc32(unsigned int crc, const unsigned char* data, std::size_t length);
