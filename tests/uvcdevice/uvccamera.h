#pragma once

#include "simulatedcamera.h"
#include "simulatedextensionunits.h"
#include "simulatedstandardcontrols.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <atomic>

// Set once the devices exist: until then every call passes straight through.
inline std::atomic<bool> uvcDevicesActive{false};

// One uvcvideo camera as the kernel presents it: a capture node and a
// metadata node, the streaming state of the handle that owns it, and the
// simulated camera that answers its controls.
struct UvcCamera
{
    struct Buffer
    {
        bool queued = false;
        bool done = false;
        uint32_t bytes = 0;
        uint32_t sequence = 0;
        int64_t capturedNs = 0;
    };

    std::string name;
    bool yuyvOnly = false;
    int mainUnit = 4;
    int zoomUnit = 6;
    int node = 0; // capture node; the metadata node is node + 1
    int port = 1;
    bool plugged = true;
    int64_t pluggedAtNs = 0; // CLOCK_REALTIME
    std::shared_ptr<SimulatedCamera> model;
    std::unique_ptr<SimulatedExtensionUnits> units;
    std::unique_ptr<SimulatedStandardControls> controls;

    uint32_t fourcc = 0;
    int width = 0;
    int height = 0;
    uint32_t interval100ns = 0;

    int owner = -1;
    std::vector<Buffer> buffers;
    uint32_t bufferLength = 0;
    uint8_t* map = nullptr;
    bool streaming = false;
    int64_t startNs = 0;
    int64_t nextFrame = 1;
    std::deque<int> queued;
    std::deque<int> done;
};

// The handles, cameras and request log of this process. One lock guards it
// all; a blocking dequeue waits outside it.
class UvcDevices
{
public:
    static UvcDevices& instance();

    int plug(const std::string& specification);
    int unplug(int node);
    std::string takeLog();
    int64_t pictureTime(int picture);

    // -1 when the path is not one of the nodes.
    static int nodeNumber(const char* path);
    static bool isSysfsPath(const char* path);
    std::string sysfsRedirect(const char* path) const { return m_root + path; }
    const std::string& root() const { return m_root; }

    // A plugged camera's node: open gives a handle; stat, the node's identity.
    int open(int node, int flags);
    bool nodeIdentity(int node, uint64_t* inode, int64_t* changedNs);
    std::vector<int> nodes();

    bool isHandle(int fd);
    int streamingHandles();
    void close(int fd);
    int ioctl(int fd, unsigned long request, void* arg); // 0 or -errno, or 1 when not ours
    // Readiness of a handle for poll: a mask, or -1 when it is not one.
    int pollMask(int fd, int64_t* readyInNs);

private:
    UvcDevices();

    struct Handle
    {
        std::shared_ptr<UvcCamera> camera;
        bool metadata = false;
        bool nonblocking = false;
    };

    std::shared_ptr<UvcCamera> cameraOfNode(int node, bool* metadata);
    void writeSysfs(const UvcCamera& camera);
    void removeSysfs(const UvcCamera& camera);
    void note(const char* format, ...) __attribute__((format(printf, 2, 3)));
    int videoIoctl(int fd, Handle& handle, unsigned long request, void* arg);
    int controlIoctl(UvcCamera& camera, unsigned long request, void* arg);
    int streamIoctl(int fd, Handle& handle, unsigned long request, void* arg);
    int dequeue(int fd, Handle& handle, void* arg);
    void advance(UvcCamera& camera, int64_t now);
    void release(UvcCamera& camera);

    std::recursive_mutex m_mutex;
    std::string m_root;
    std::vector<std::shared_ptr<UvcCamera>> m_cameras;
    std::map<int, Handle> m_handles;
    int m_nextNode = 0;
    int m_nextPort = 1;
    std::string m_log;
    std::map<int, int64_t> m_pictureTimes;
};
