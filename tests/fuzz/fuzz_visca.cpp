// A datagram on the VISCA port, as the agent reads it from any allowed
// client: the header, then the message. The TCP stream reads the same
// message parser without the header.
#include "fuzzexpect.h"
#include "viscacodec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Visca::Datagram datagram;
    const Visca::HeaderCheck check =
        Visca::parseDatagram(reinterpret_cast<const char*>(data), size, &datagram);
    FUZZ_EXPECT(check != Visca::HeaderCheck::Drop || size < std::size_t(Visca::kHeaderSize));
    if (check != Visca::HeaderCheck::Valid) {
        return 0;
    }
    FUZZ_EXPECT(datagram.payload.size() == int(size) - Visca::kHeaderSize);
    FUZZ_EXPECT(Visca::datagram(datagram.type, datagram.sequence, datagram.payload) ==
                QByteArray(reinterpret_cast<const char*>(data), int(size)));
    const Visca::Command command = Visca::parseMessage(datagram.payload);
    FUZZ_EXPECT(command.address >= 1 && command.address <= 7);
    if (command.kind == Visca::Kind::Invalid) {
        return 0;
    }
    FUZZ_EXPECT(quint8(datagram.payload.back()) == 0xFF);
    FUZZ_EXPECT(command.zoom >= 0 && command.zoom <= Visca::kZoomTele);
    FUZZ_EXPECT(command.memory >= 0 && command.memory <= Visca::kMaxMemory);
    FUZZ_EXPECT(command.pan >= -0x8000 && command.pan <= 0x7FFF);
    FUZZ_EXPECT(command.tilt >= -0x8000 && command.tilt <= 0x7FFF);
    if (command.kind == Visca::Kind::Drive) {
        FUZZ_EXPECT(command.panSpeed >= 1 && command.panSpeed <= Visca::kMaxPanSpeed);
        FUZZ_EXPECT(command.tiltSpeed >= 1 && command.tiltSpeed <= Visca::kMaxTiltSpeed);
    }
    return 0;
}
