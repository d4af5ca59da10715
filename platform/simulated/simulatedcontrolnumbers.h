#pragma once

// The V4L2 numbers the simulated camera's standard controls are known by
// (its model is a UVC camera as uvcvideo presents it). Linux takes them from
// the kernel's header; elsewhere the same published values are spelled out,
// so that the simulated camera is one model on every platform.
#if defined(__linux__)
#include <linux/videodev2.h>
#else
#define V4L2_CID_USER_CLASS 0x00980001
#define V4L2_CID_CONTRAST 0x00980901
#define V4L2_CID_AUTO_WHITE_BALANCE 0x0098090c
#define V4L2_CID_HFLIP 0x00980914
#define V4L2_CID_VFLIP 0x00980915
#define V4L2_CID_WHITE_BALANCE_TEMPERATURE 0x0098091a
#define V4L2_CID_CAMERA_CLASS 0x009a0001
#define V4L2_CID_EXPOSURE_AUTO 0x009a0901
#define V4L2_CID_PAN_ABSOLUTE 0x009a0908
#define V4L2_CID_TILT_ABSOLUTE 0x009a0909
#define V4L2_CID_ZOOM_ABSOLUTE 0x009a090d
#define V4L2_CID_PAN_SPEED 0x009a0920
#define V4L2_CID_TILT_SPEED 0x009a0921
#define V4L2_CTRL_TYPE_INTEGER 0x00000001
#define V4L2_CTRL_TYPE_BOOLEAN 0x00000002
#define V4L2_CTRL_TYPE_MENU 0x00000003
#define V4L2_CTRL_TYPE_CTRL_CLASS 0x00000006
#define V4L2_EXPOSURE_MANUAL 0x00000001
#define V4L2_EXPOSURE_APERTURE_PRIORITY 0x00000003
#endif
