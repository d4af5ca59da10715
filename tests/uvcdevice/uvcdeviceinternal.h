#pragma once

// What the parts of libuvcdevice share: the cameras with their nodes, the open
// handles, and what the C library entry points answer with.
#include "simulatedcamera.h"
#include "simulatedextensionunits.h"
#include "simulatedstandardcontrols.h"
#include "uvcdevice.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <tuple>
#include <vector>

namespace uvcdev {

// The camera sends `loop` pictures over and over, each with its number drawn in as a row of
// squares placed in fractions of the picture: it reads back at any scale.
struct PictureCode
{
    static constexpr int loop = 30, bits = 8;
    static constexpr double y = 0.07, half = 0.012;
    static double x(int bit) { return 0.05 + bit * 0.04; }
};

struct Mode
{
    uint32_t fourcc;
    int width, height;
    std::vector<uint32_t> intervals; // 100 ns units, fastest first
};

constexpr int kSlowUnitMs = 2000;

extern const std::vector<Mode> kModes, kYuyvModes, kNv12Modes;

struct Camera
{
    std::string name;
    const std::vector<Mode>* offered = &kModes;
    bool plugged = true, streaming = false, mute = false; // mute: refuses to stream
    bool slowUnits = false; // every extension-unit GET_CUR and SET_CUR takes kSlowUnitMs
    // The metadata node is node + 1; owner is the handle that set a format or took buffers,
    // as uvcvideo's privileges.
    int mainUnit = 4, zoomUnit = 6, node = 0, port = 1, owner = -1;
    int64_t pluggedAtNs = 0;
    std::shared_ptr<SimulatedCamera> model;
    std::unique_ptr<SimulatedExtensionUnits> units;
    std::unique_ptr<SimulatedStandardControls> controls;
    Mode mode;
    uint32_t interval = 0, bufferLength = 0;
    std::vector<v4l2_buffer> buffers; // as QUERYBUF describes them
    uint8_t* map = nullptr;
    int64_t startNs = 0, nextFrame = 1;
    std::deque<int> queued, done;

    const std::vector<Mode>& modes() const { return *offered; }
    uint32_t lineBytes() const
    {
        return uint32_t(mode.width) * (mode.fourcc == V4L2_PIX_FMT_YUYV ? 2 : 1);
    }
    uint32_t imageSize() const
    {
        return uint32_t(mode.width * mode.height * (mode.fourcc == V4L2_PIX_FMT_NV12 ? 3 : 4) / 2);
    }
    int64_t dueNs() const { return startNs + nextFrame * int64_t(interval) * 100; }
};

struct Handle
{
    std::shared_ptr<Camera> camera;
    bool metadata = false, nonblocking = false;
    std::set<uint32_t> subscribed; // controls whose V4L2_EVENT_CTRL it takes
    std::deque<v4l2_event> events; // not yet dequeued
};

struct Devices
{
    std::recursive_mutex mutex;
    std::string root;
    std::vector<std::shared_ptr<Camera>> cameras;
    std::map<int, Handle> handles;
    std::map<DIR*, std::deque<int>> listings; // of /dev: the nodes still to add at its end
    int nextNode = 0, nextPort = 1;
    std::string log;
    std::map<int, int64_t> pictureTimes;
    int emptyDequeues = 0;
};

extern std::atomic<bool> active; // until the devices exist, every call passes through

int64_t clockNs(clockid_t clock);
Devices& devices();
// The devices, held until the lock goes.
std::pair<Devices&, std::unique_lock<std::recursive_mutex>> locked();
std::shared_ptr<Camera> cameraOfNode(Devices& d, int node);
// The camera's sysfs entries, relative to the devices' root.
std::string usbFolder(const Camera& c);
std::string classFolder(int node);
std::string charLink(int node);
void writeSysfs(const std::string& root, const Camera& c);
void releaseStream(Camera& c);
// The answer to an ioctl of a node's descriptor, -errno on failure; 1 when
// the descriptor is not a node.
int nodeIoctl(int fd, unsigned long request, void* arg);
short nodeEvents(const Handle& h, int fd, int64_t now, short wanted);
// The camera's picture number frame in that mode; empty if it cannot be made.
const std::string& picture(const Mode& mode, int64_t frame);

} // namespace uvcdev
