// The sysfs entries of the user-space cameras: what udev and the USB
// descriptor readers find for a uvcvideo node, as real files under a
// temporary root.
#include "uvcdeviceinternal.h"

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace uvcdev {

// The device descriptor, then the configuration with its video function.
std::string descriptors(const Camera& c)
{
    std::string d;
    auto add = [&d](std::initializer_list<int> bytes) {
        for (int b : bytes)
            d.push_back(char(b));
    };
    add({18, 1, 0x00, 0x02, 0xEF, 0x02, 0x01, 64, 0x4C, 0x7A, 0x01, 0x00, 0x00, 0x01, 1, 2, 0, 1});
    add({9, 2, 0, 0, 2, 1, 0, 0x80, 250});                                 // configuration
    add({8, 0x0B, 0, 2, 0x0E, 0x03, 0x00, 0});                             // association
    add({9, 4, 0, 0, 1, 0x0E, 0x01, 0x00, 0});                             // VideoControl
    add({13, 0x24, 0x01, 0x00, 0x01, 0, 0, 0x80, 0x8D, 0x5B, 0x00, 1, 1}); // header
    add({18, 0x24, 0x02, 1, 0x01, 0x02, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0x0A, 0x00, 0x02}); // camera
    for (const auto& [id, guid] : {std::make_pair(c.mainUnit, SimulatedExtensionUnits::MainUnit),
                                   std::make_pair(c.zoomUnit, SimulatedExtensionUnits::ZoomUnit)}) {
        add({27, 0x24, 0x06, id});
        QByteArray b = guid.toRfc4122(); // USB keeps the first three fields little-endian
        for (auto [from, to] : {std::make_pair(0, 4), std::make_pair(4, 6), std::make_pair(6, 8)})
            std::reverse(b.begin() + from, b.begin() + to);
        d.append(b.constData(), 16);
        add({24, 1, 1, 2, 0xFF, 0xFF, 0});
    }
    d[20] = char(d.size() - 18);
    return d;
}

std::string usbFolder(const Camera& c)
{
    return "/sys/devices/platform/uvcdev/usb9/9-" + std::to_string(c.port);
}

std::string classFolder(int node)
{
    return "/sys/class/video4linux/video" + std::to_string(node);
}

std::string charLink(int node)
{
    return "/sys/dev/char/81:" + std::to_string(node);
}

void writeSysfs(const std::string& root, const Camera& c)
{
    const std::string interface = usbFolder(c) + "/9-" + std::to_string(c.port) + ":1.0";
    fs::create_directories(root + interface);
    std::ofstream(root + usbFolder(c) + "/descriptors", std::ios::binary) << descriptors(c);
    std::ofstream(root + usbFolder(c) + "/bConfigurationValue") << "1\n";
    std::ofstream(root + interface + "/bInterfaceNumber") << "00\n";
    for (int i : {0, 1}) {
        fs::create_directories(root + classFolder(c.node + i));
        std::ofstream(root + classFolder(c.node + i) + "/index") << i << "\n";
        std::ofstream(root + classFolder(c.node + i) + "/name") << c.name << "\n";
        std::ofstream(root + classFolder(c.node + i) + "/uevent")
            << "MAJOR=81\nMINOR=" << c.node + i << "\nDEVNAME=video" << c.node + i << "\n";
        fs::create_directories(root + "/sys/dev/char");
        fs::create_symlink("../../class/video4linux/video" + std::to_string(c.node + i),
                           root + charLink(c.node + i));
        fs::create_symlink("../../.." + interface.substr(4),
                           root + classFolder(c.node + i) + "/device");
    }
}

} // namespace uvcdev
