#include "ueventmessage.h"

#include <QList>

bool UeventMessage::parse(const char* data, std::size_t size, UeventMessage* message)
{
    if (!data || size == 0 || size > 64 * 1024) {
        return false;
    }
    const QList<QByteArray> fields = QByteArray(data, int(size)).split('\0');
    const QByteArray& header = fields.first();
    const int at = header.indexOf('@');
    if (at <= 0 || at == header.size() - 1) {
        return false;
    }
    UeventMessage parsed;
    parsed.action = header.left(at);
    for (int i = 1; i < fields.size(); ++i) {
        const QByteArray& field = fields.at(i);
        const int equals = field.indexOf('=');
        if (equals <= 0) {
            continue;
        }
        const QByteArray key = field.left(equals);
        const QByteArray value = field.mid(equals + 1);
        if (key == "ACTION" && !value.isEmpty()) {
            parsed.action = value; // the field wins over the header
        } else if (key == "SUBSYSTEM") {
            parsed.subsystem = value;
        } else if (key == "DEVNAME") {
            parsed.devName = value;
        }
    }
    if (parsed.subsystem.isEmpty()) {
        return false;
    }
    *message = parsed;
    return true;
}

bool UeventMessage::concernsVideoDevices() const
{
    return subsystem == "video4linux" && (action == "add" || action == "remove");
}
