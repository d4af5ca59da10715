#pragma once

#include "videoinputinfo.h"

#include <QString>

class Vorn_CameraProperty;

// The camera's settings as the video and audio pages and lumora-ctl drive
// them: which request carries which control, its range and how its bytes
// read. No widgets; every call goes to the property access it is given.
namespace CameraSettings {

// Selectors of the main extension unit (the zoom motion is on the zoom unit).
constexpr unsigned long kDeviceInfo = 9;
constexpr unsigned long kExposureMode = 10;
constexpr unsigned long kExposureValue = 11;
constexpr unsigned long kZoomMotion = 12;
constexpr unsigned long kImageStyle = 13;
constexpr unsigned long kBlueShift = 14;
constexpr unsigned long kRedShift = 15;
constexpr unsigned long kFactoryReset = 23;
constexpr unsigned long kVerticalFlip = 24;
constexpr unsigned long kHorizontalFlip = 25;
constexpr unsigned long kAudioFunction = 26;
constexpr unsigned long kAudioProcessing = 27;

constexpr int kExposureMinimum = -7;
constexpr int kExposureMaximum = 7;
constexpr int kShiftMinimum = -10;
constexpr int kShiftMaximum = 10;

constexpr unsigned char kStyleMeeting = 6;
constexpr unsigned char kStyleLive = 5;

constexpr unsigned char kZoomIn = 0x01;
constexpr unsigned char kZoomOut = 0xFF;
constexpr unsigned char kZoomSpeed = 6;

// One byte of a control; false when the camera did not answer.
bool readByte(Vorn_CameraProperty& property, unsigned long selector, unsigned char* value);
long writeByte(Vorn_CameraProperty& property, unsigned long selector, unsigned char value);
// A switch reads on only for a byte the camera really returned as 1.
bool readSwitch(Vorn_CameraProperty& property, unsigned long selector, bool* on);
long writeSwitch(Vorn_CameraProperty& property, unsigned long selector, bool on);
// Values the camera keeps as signed bytes (exposure, colour shifts).
bool readSignedByte(Vorn_CameraProperty& property, unsigned long selector, int* value);

// Exposure 0 is automatic; any other value is a manual exposure.
long writeExposure(Vorn_CameraProperty& property, int value);
// The exposure mode: true automatic. False when the camera does not answer,
// and then the mode is unknown.
bool readAutoExposure(Vorn_CameraProperty& property, bool* automatic);

// Negative colour shifts exist only while white balance is manual: the
// camera's automatic white balance would undo them. Reads the mode.
bool colourShiftAllowed(Vorn_CameraProperty& property, int value);
// White balance as the camera reports it: true automatic; false when the
// mode cannot be read or is manual.
bool readAutoWhiteBalance(Vorn_CameraProperty& property, bool* automatic);

// Continuous zoom on the zoom unit: direction kZoomIn, kZoomOut or 0 (stop).
long sendZoomMotion(Vorn_CameraProperty& zoomProperty, unsigned char direction);
// Pan or tilt; direction -1 or 1. Speed 1 is the camera's default speed,
// 0 half of it and 2 the camera's fastest. False when the camera reports no
// range for the motion (then nothing moves).
bool startRelativeMotion(Vorn_CameraProperty& property, long relativeProperty, int direction,
                         int speed = 1);
void stopRelativeMotion(Vorn_CameraProperty& property, long relativeProperty);
void goHome(Vorn_CameraProperty& property);
void restoreFactorySettings(Vorn_CameraProperty& property);

// The firmware version as the window shows it ("FW: 1.0.3" for the
// SV-CAM-417 family, the version alone otherwise), or "Get device info
// failed!".
QString firmwareVersionText(Vorn_CameraProperty& property, const VideoInputInfo& camera);

} // namespace CameraSettings
