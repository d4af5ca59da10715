#include "firmwareimage.h"

#include <cstring>

namespace {

unsigned int littleEndian32(const unsigned char* bytes)
{
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | unsigned(bytes[3]) << 24;
}

} // namespace

bool readFirmwareHeader(const unsigned char* bytes, std::size_t available, FirmwareHeader* header)
{
    if (available < std::size_t(kFirmwareHeaderBytes) ||
        std::memcmp(bytes, kFirmwareMagic, sizeof kFirmwareMagic - 1) != 0) {
        return false;
    }
    header->payloadBytes = littleEndian32(bytes + 8);
    header->payloadCrc = littleEndian32(bytes + 12);
    return true;
}

unsigned int firmwareCrc32(unsigned int crc, const unsigned char* data, std::size_t length)
{
    crc = ~crc;
    for (std::size_t i = 0; i < length; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}
