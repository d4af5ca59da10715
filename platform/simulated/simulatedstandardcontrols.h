#pragma once

#include "lumora_platform_export.h"
#include "propertytransport.h"

#include "simulatedcontrolnumbers.h"

class SimulatedCamera;

// The simulated camera's standard controls: the camera-control and picture
// properties with their ranges and defaults, and the same controls as V4L2
// numbers them, for the vendor dialog. Every call is logged on the camera.
class LUMORA_PLATFORM_EXPORT SimulatedStandardControls
{
public:
    explicit SimulatedStandardControls(SimulatedCamera& camera);

    long cameraControlSet(long property, long value, long flags);
    long cameraControlGetRange(long property, PropertyRange* range);
    long cameraControlGet(long property, long* value);
    long pictureGet(long property, long* value, long* flags);
    long pictureSet(long property, long value, long flags);
    long pictureGetRange(long property, PropertyRange* range);

#if defined(__linux__)
    // V4L2-style access (VIDIOC_QUERY_EXT_CTRL with V4L2_CTRL_FLAG_NEXT_CTRL,
    // VIDIOC_QUERYMENU, VIDIOC_G_CTRL, VIDIOC_S_CTRL), for the Linux vendor
    // dialog. 0 or a negative errno.
    int queryExtControl(v4l2_query_ext_ctrl* query);
    int queryMenu(v4l2_querymenu* item);
    int getControl(v4l2_control* control);
    int setControl(v4l2_control* control);
#endif

private:
    bool failing(const QString& request) const;

    SimulatedCamera& m_camera;
};
