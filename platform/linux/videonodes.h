#pragma once

#include "lumora_platform_export.h"

#include <QString>
#include <QStringList>

#include <linux/videodev2.h>

// What the catalogue takes from the video nodes the kernel offers: their
// names in /dev and the capabilities a node answers with. Both come from
// drivers of any quality, v4l2loopback and gadget drivers among them.
namespace VideoNodes {

// The names of the form videoN, in the order of N.
LUMORA_PLATFORM_EXPORT QStringList inOrder(const QStringList& names);

// False when the node is no video capture node (uvcvideo's metadata nodes
// among them); else the card's name and whether the node sits on USB. The
// texts of the capabilities need not end in a zero byte.
LUMORA_PLATFORM_EXPORT bool captureNode(const v4l2_capability& cap, QString* card, bool* usb);

} // namespace VideoNodes
