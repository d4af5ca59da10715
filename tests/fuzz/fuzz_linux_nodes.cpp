// What the Linux camera list reads besides the descriptors: the answer of a
// node to VIDIOC_QUERYCAP (the input's first bytes), the numbers of sysfs
// attribute files and the node names in /dev (the input as text).
#include "fuzzexpect.h"
#include "loopbacknode.h"
#include "uvcsysfs.h"
#include "videonodes.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    v4l2_capability cap{};
    std::memcpy(&cap, data, std::min(size, sizeof cap));
    QString card;
    bool usb = false;
    if (VideoNodes::captureNode(cap, &card, &usb)) {
        FUZZ_EXPECT(card.size() <= int(sizeof cap.card));
        LoopbackNode::isLoopback(cap);
    }
    const QByteArray text(reinterpret_cast<const char*>(data), int(size));
    FUZZ_EXPECT(UvcSysfs::attributeNumber(text, 10) >= -1);
    FUZZ_EXPECT(UvcSysfs::attributeNumber(text, 16) >= -1);
    const QStringList names = QString::fromLocal8Bit(text).split(QLatin1Char('\n'));
    const QStringList nodes = VideoNodes::inOrder(names);
    FUZZ_EXPECT(nodes.size() <= names.size());
    for (int i = 1; i < nodes.size(); ++i) {
        FUZZ_EXPECT(nodes[i - 1].mid(5).toInt() <= nodes[i].mid(5).toInt());
    }
    return 0;
}
