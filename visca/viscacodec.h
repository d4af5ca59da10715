#pragma once

#include <QByteArray>

#include <cstddef>

// VISCA as network PTZ controllers send it: over UDP each message rides
// behind an 8-byte header (payload type, payload length, sequence number,
// all big-endian); over TCP the messages come bare, one after the other.
// Pure functions on bytes, so that every datagram a stranger can send is
// read here and nowhere else.
namespace Visca {

enum PayloadType : quint16
{
    CommandPayload = 0x0100,
    InquiryPayload = 0x0110,
    ReplyPayload = 0x0111,
    ControlPayload = 0x0200,
    ControlReplyPayload = 0x0201,
};

// A message is 3 to 16 bytes: 8x ... FF.
constexpr int kMaxMessage = 16;
constexpr int kHeaderSize = 8;

struct Datagram
{
    quint16 type = 0;
    quint32 sequence = 0;
    QByteArray payload;
};

enum class HeaderCheck
{
    Valid,
    Drop,       // too short to carry even a sequence number to answer
    BadMessage, // answered with the control reply "message abnormal"
};
HeaderCheck parseDatagram(const char* data, std::size_t size, Datagram* datagram);
QByteArray datagram(quint16 type, quint32 sequence, const QByteArray& payload);

enum class Kind
{
    Invalid, // answered with a syntax error
    IfClear,
    Drive, // pan and tilt directions -1, 0 (stop) or 1
    Absolute,
    Relative,
    Home,
    PanTiltReset,
    ZoomStop,
    ZoomTele,
    ZoomWide,
    ZoomDirect,
    MemoryReset,
    MemorySet,
    MemoryRecall,
    PowerOn,
    PowerOff,
    FramingOn,
    FramingOff,
    AskPower,
    AskZoom,
    AskPanTilt,
    AskVersion,
};

struct Command
{
    Kind kind = Kind::Invalid;
    int address = 1; // the camera's place in a daisy chain; replies carry it
    int panSpeed = 0;
    int tiltSpeed = 0;
    int panDirection = 0;  // -1 left, 1 right
    int tiltDirection = 0; // -1 down, 1 up
    int pan = 0;           // signed 16 bits
    int tilt = 0;          // signed 16 bits
    int zoom = 0;          // 0 (wide) to kZoomTele
    int memory = 0;
    bool isInquiry() const { return kind >= Kind::AskPower; }
};

constexpr int kZoomTele = 0x4000;
constexpr int kMaxMemory = 127;
constexpr int kMaxPanSpeed = 0x18;
constexpr int kMaxTiltSpeed = 0x17;

// One whole message, terminator included.
Command parseMessage(const QByteArray& message);

// Replies, addressed from camera `address`; `socket` is the command buffer.
QByteArray ack(int address, int socket);
QByteArray completion(int address, int socket);
QByteArray answer(int address, const QByteArray& data);
QByteArray error(int address, int socket, quint8 code);
constexpr quint8 kSyntaxError = 0x02;
constexpr quint8 kBufferFull = 0x03;
constexpr quint8 kCanceled = 0x04;
constexpr quint8 kNotExecutable = 0x41;

// A value as the low nibbles of `count` bytes, most significant first.
QByteArray nibbles(int value, int count);

} // namespace Visca
