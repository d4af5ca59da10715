#pragma once

#include "propertytransport.h"

#include <linux/videodev2.h>

#include <cstddef>

// The V4L2 control behind each standard camera-control and picture
// property; automaticId is the control that switches it to automatic, 0
// when there is none. The property transport sends the standard properties
// this way, and the advanced dialog knows by it which of the device's
// controls are the program's own.
namespace UvcStandardControls {

struct Mapping
{
    long property;
    quint32 id;
    quint32 automaticId;
};

constexpr Mapping kCameraControls[] = {
    {CameraControlProperty::Pan, V4L2_CID_PAN_ABSOLUTE, 0},
    {CameraControlProperty::Tilt, V4L2_CID_TILT_ABSOLUTE, 0},
    {CameraControlProperty::Zoom, V4L2_CID_ZOOM_ABSOLUTE, 0},
    {CameraControlProperty::PanRelative, V4L2_CID_PAN_SPEED, 0},
    {CameraControlProperty::TiltRelative, V4L2_CID_TILT_SPEED, 0},
};

constexpr Mapping kVideoProcAmpControls[] = {
    {VideoProcAmpProperty::Contrast, V4L2_CID_CONTRAST, 0},
    {VideoProcAmpProperty::WhiteBalance, V4L2_CID_WHITE_BALANCE_TEMPERATURE,
     V4L2_CID_AUTO_WHITE_BALANCE},
};

template <std::size_t N> const Mapping* byProperty(const Mapping (&table)[N], long property)
{
    for (const Mapping& mapping : table) {
        if (mapping.property == property) {
            return &mapping;
        }
    }
    return nullptr;
}

template <std::size_t N> const Mapping* byId(const Mapping (&table)[N], quint32 id)
{
    for (const Mapping& mapping : table) {
        if (mapping.id == id) {
            return &mapping;
        }
    }
    return nullptr;
}

} // namespace UvcStandardControls
