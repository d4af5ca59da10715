// A datagram on the kernel's uevent socket, as the agent reads it: any
// sender on the machine can write to the group's listeners' buffers.
#include "fuzzexpect.h"
#include "ueventmessage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UeventMessage message;
    if (UeventMessage::parse(reinterpret_cast<const char*>(data), size, &message)) {
        FUZZ_EXPECT(!message.subsystem.isEmpty() && !message.action.isEmpty());
        FUZZ_EXPECT(!message.action.contains('\0') && !message.subsystem.contains('\0'));
        FUZZ_EXPECT(!message.concernsVideoDevices() || message.subsystem == "video4linux");
    }
    return 0;
}
