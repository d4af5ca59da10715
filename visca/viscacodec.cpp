#include "viscacodec.h"

namespace Visca {

namespace {

quint32 bigEndian(const unsigned char* bytes, int count)
{
    quint32 value = 0;
    for (int i = 0; i < count; ++i) {
        value = (value << 8) | bytes[i];
    }
    return value;
}

// Nibble bytes carry 0x0 to 0xF each; anything else is a broken message.
bool readNibbles(const QByteArray& message, int from, int count, int* value)
{
    int result = 0;
    for (int i = from; i < from + count; ++i) {
        const auto byte = quint8(message.at(i));
        if (byte > 0x0F) {
            return false;
        }
        result = (result << 4) | byte;
    }
    *value = result;
    return true;
}

int direction(quint8 code, int negative, int positive)
{
    return code == negative ? -1 : code == positive ? 1 : 0;
}

bool validSpeeds(int pan, int tilt)
{
    return pan >= 1 && pan <= kMaxPanSpeed && tilt >= 1 && tilt <= kMaxTiltSpeed;
}

Command drive(const QByteArray& m, Command command)
{
    const auto pan = quint8(m.at(6));
    const auto tilt = quint8(m.at(7));
    command.panSpeed = quint8(m.at(4));
    command.tiltSpeed = quint8(m.at(5));
    if (pan < 1 || pan > 3 || tilt < 1 || tilt > 3 ||
        !validSpeeds(command.panSpeed, command.tiltSpeed)) {
        return Command{};
    }
    command.kind = Kind::Drive;
    command.panDirection = direction(pan, 1, 2);
    command.tiltDirection = direction(tilt, 2, 1);
    return command;
}

Command position(const QByteArray& m, Command command, Kind kind)
{
    command.panSpeed = quint8(m.at(4));
    command.tiltSpeed = quint8(m.at(5));
    if (!validSpeeds(command.panSpeed, command.tiltSpeed) || !readNibbles(m, 6, 4, &command.pan) ||
        !readNibbles(m, 10, 4, &command.tilt)) {
        return Command{};
    }
    command.kind = kind;
    command.pan = qint16(quint16(command.pan));
    command.tilt = qint16(quint16(command.tilt));
    return command;
}

Command panTilt(const QByteArray& m, Command command)
{
    const auto code = quint8(m.at(3));
    const int size = m.size();
    if (code == 0x01 && size == 9) {
        return drive(m, command);
    }
    if ((code == 0x02 || code == 0x03) && size == 15) {
        return position(m, command, code == 0x02 ? Kind::Absolute : Kind::Relative);
    }
    if (size == 5 && (code == 0x04 || code == 0x05)) {
        command.kind = code == 0x04 ? Kind::Home : Kind::PanTiltReset;
    }
    return command;
}

Command zoomOrMemory(const QByteArray& m, Command command)
{
    const auto code = quint8(m.at(3));
    const int size = m.size();
    const auto argument = size > 4 ? quint8(m.at(4)) : 0;
    if (code == 0x07 && size == 6) {
        // Standard 00, 02, 03; variable 2p and 3p with a speed p of 0 to 7.
        const int high = argument >> 4;
        const int low = argument & 0x0F;
        const bool variable = (high == 2 || high == 3) && low <= 7;
        command.kind = argument == 0x00                              ? Kind::ZoomStop
                       : argument == 0x02 || (variable && high == 2) ? Kind::ZoomTele
                       : argument == 0x03 || (variable && high == 3) ? Kind::ZoomWide
                                                                     : Kind::Invalid;
    } else if (code == 0x47 && size == 9 && readNibbles(m, 4, 4, &command.zoom)) {
        command.kind = Kind::ZoomDirect;
        command.zoom = qMin(command.zoom, kZoomTele);
    } else if (code == 0x3F && size == 7 && argument <= 0x02 && quint8(m.at(5)) <= kMaxMemory) {
        static const Kind kinds[] = {Kind::MemoryReset, Kind::MemorySet, Kind::MemoryRecall};
        command.kind = kinds[argument];
        command.memory = quint8(m.at(5));
    } else if ((code == 0x00 || code == 0x7D) && size == 6 &&
               (argument == 0x02 || argument == 0x03)) {
        const bool on = argument == 0x02;
        command.kind = code == 0x00 ? (on ? Kind::PowerOn : Kind::PowerOff)
                                    : (on ? Kind::FramingOn : Kind::FramingOff);
    }
    return command;
}

Command inquiry(const QByteArray& m, Command command)
{
    if (m.size() != 5) {
        return command;
    }
    const int what = (quint8(m.at(2)) << 8) | quint8(m.at(3));
    command.kind = what == 0x0400   ? Kind::AskPower
                   : what == 0x0447 ? Kind::AskZoom
                   : what == 0x0612 ? Kind::AskPanTilt
                   : what == 0x0002 ? Kind::AskVersion
                                    : Kind::Invalid;
    return command;
}

QByteArray reply(int address, std::initializer_list<quint8> bytes)
{
    QByteArray message(1, char((address + 8) << 4));
    for (quint8 byte : bytes) {
        message.append(char(byte));
    }
    return message;
}

} // namespace

HeaderCheck parseDatagram(const char* data, std::size_t size, Datagram* datagram)
{
    if (size < std::size_t(kHeaderSize)) {
        return HeaderCheck::Drop;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    datagram->type = quint16(bigEndian(bytes, 2));
    const quint32 length = bigEndian(bytes + 2, 2);
    datagram->sequence = bigEndian(bytes + 4, 4);
    const bool known = datagram->type == CommandPayload || datagram->type == InquiryPayload ||
                       datagram->type == ControlPayload;
    if (!known || length == 0 || length > quint32(kMaxMessage) || length != size - kHeaderSize) {
        return HeaderCheck::BadMessage;
    }
    datagram->payload = QByteArray(data + kHeaderSize, int(length));
    return HeaderCheck::Valid;
}

QByteArray datagram(quint16 type, quint32 sequence, const QByteArray& payload)
{
    QByteArray bytes(kHeaderSize, '\0');
    const quint32 length = quint32(payload.size());
    const quint32 words[] = {type, length, sequence};
    const int places[] = {0, 2, 4};
    const int sizes[] = {2, 2, 4};
    for (int w = 0; w < 3; ++w) {
        for (int i = 0; i < sizes[w]; ++i) {
            bytes[places[w] + i] = char(words[w] >> (8 * (sizes[w] - 1 - i)));
        }
    }
    return bytes + payload;
}

Command parseMessage(const QByteArray& m)
{
    Command command;
    const int size = m.size();
    if (size < 3 || size > kMaxMessage || quint8(m.at(size - 1)) != 0xFF ||
        (quint8(m.at(0)) & 0xF0) != 0x80 || m.indexOf(char(0xFF)) != size - 1) {
        return command;
    }
    const int address = quint8(m.at(0)) & 0x0F;
    // 8 is the broadcast address; a network camera stands alone at 1.
    command.address = address >= 1 && address <= 7 ? address : 1;
    if (size == 5 && m.mid(1, 3) == QByteArray("\x01\x00\x01", 3)) {
        command.kind = Kind::IfClear;
        return command;
    }
    if (address < 1 || address > 7 || size < 4) {
        return command;
    }
    const auto type = quint8(m.at(1));
    const auto category = quint8(m.at(2));
    if (type == 0x09) {
        return inquiry(m, command);
    }
    if (type != 0x01) {
        return command;
    }
    return category == 0x06   ? panTilt(m, command)
           : category == 0x04 ? zoomOrMemory(m, command)
                              : command;
}

QByteArray ack(int address, int socket)
{
    return reply(address, {quint8(0x40 | socket), 0xFF});
}

QByteArray completion(int address, int socket)
{
    return reply(address, {quint8(0x50 | socket), 0xFF});
}

QByteArray answer(int address, const QByteArray& data)
{
    return reply(address, {0x50}) + data + char(0xFF);
}

QByteArray error(int address, int socket, quint8 code)
{
    return reply(address, {quint8(0x60 | socket), code, 0xFF});
}

QByteArray nibbles(int value, int count)
{
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i) {
        bytes[i] = char((value >> (4 * (count - 1 - i))) & 0x0F);
    }
    return bytes;
}

} // namespace Visca
