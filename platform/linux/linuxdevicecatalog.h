#pragma once

#include "devicecatalog.h"

#include <QHash>

#include <mutex>
#include <sys/types.h>

// Video inputs from the V4L2 capture nodes (/dev/videoN), audio inputs from
// the PulseAudio sources. A node is queried only when it is new or has
// changed since the last pass, so a pass costs a directory read and a stat
// per node.
class LUMORA_PLATFORM_EXPORT LinuxDeviceCatalog : public DeviceCatalog
{
public:
    VideoInputList videoInputs() override;
    AudioInputList audioInputs() override;
    // A format request on the node: uvcvideo answers EBUSY while another
    // handle streams or holds the stream's format.
    CameraAvailability availability(const VideoInputInfo& camera) override;

    // Reads one node; false when it is no video capture node.
    static bool queryNode(const QString& path, VideoInputInfo* info);

private:
    struct CachedNode
    {
        dev_t device = 0;
        ino_t inode = 0;
        qint64 changeTime = 0;
        bool capture = false;
        VideoInputInfo info;
    };

    std::mutex m_mutex;
    QHash<QString, CachedNode> m_cache;
};
