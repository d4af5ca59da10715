#pragma once

#include "devicecatalog.h"

#include <QHash>
#include <QString>

#include <mutex>
#include <sys/types.h>

// Video inputs from the V4L2 capture nodes (/dev/videoN), audio inputs from
// the PulseAudio sources. A node is queried only when it is new or has
// changed since the last pass, so a pass costs a directory read and a stat
// per node.
class LUMORA_PLATFORM_EXPORT LinuxDeviceCatalog : public DeviceCatalog
{
public:
    // The folder that holds the videoN nodes; another one for tests.
    explicit LinuxDeviceCatalog(const QString& folder = QStringLiteral("/dev"));

    VideoInputList videoInputs() override;
    AudioInputList audioInputs() override;
    // A format request on the node: uvcvideo answers EBUSY while another
    // handle streams or holds the stream's format.
    CameraAvailability availability(const VideoInputInfo& camera) override;
    // Nodes whose open() was refused for lack of permission.
    QStringList inaccessibleVideoInputs() override;
    void settleAudioInputs(int waitMs) override;

    // Reads one node; false when it is no video capture node. *denied
    // tells whether the node could not be opened for lack of permission,
    // *loopback whether v4l2loopback drives it.
    static bool queryNode(const QString& path, VideoInputInfo* info, bool* denied = nullptr,
                          bool* loopback = nullptr);

private:
    struct CachedNode
    {
        dev_t device = 0;
        ino_t inode = 0;
        qint64 changeTime = 0;
        bool capture = false;
        bool denied = false;
        bool loopback = false;
        VideoInputInfo info;
    };

    const QString m_folder;
    std::mutex m_mutex;
    QStringList m_denied;
    QHash<QString, CachedNode> m_cache;
};
