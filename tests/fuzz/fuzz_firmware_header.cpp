// A firmware image as the upgrade library checks it before anything is sent.
#include "firmwareimage.h"
#include "fuzzexpect.h"

#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FirmwareHeader header;
    if (!readFirmwareHeader(data, size, &header)) {
        FUZZ_EXPECT(size < size_t(kFirmwareHeaderBytes) || std::memcmp(data, "LUMORAFW", 8) != 0);
        return 0;
    }
    const size_t payload = size - size_t(kFirmwareHeaderBytes);
    if (header.payloadBytes == payload) {
        // The same sum in one pass and in two halves, as the file is read.
        const unsigned char* bytes = data + kFirmwareHeaderBytes;
        const unsigned int whole = firmwareCrc32(0, bytes, payload);
        FUZZ_EXPECT(firmwareCrc32(firmwareCrc32(0, bytes, payload / 2), bytes + payload / 2,
                                  payload - payload / 2) == whole);
    }
    return 0;
}
