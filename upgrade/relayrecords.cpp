#include "relayrecords.h"

#include "relay/relayprotocol.h"

#include <QtEndian>

namespace {

// Up to this many bytes in one record: a message or the returned text.
constexpr quint32 kLargestRecord = 1024 * 1024;

} // namespace

bool takeRelayRecords(QByteArray& pending, QVector<RelayRecord>* records)
{
    while (pending.size() >= RelayProtocol::kHeaderBytes) {
        const char tag = pending.at(0);
        const quint32 length = qFromLittleEndian<quint32>(pending.constData() + 1);
        if (length > kLargestRecord) {
            return false;
        }
        if (quint32(pending.size()) < RelayProtocol::kHeaderBytes + length) {
            return true;
        }
        RelayRecord record{tag, pending.mid(RelayProtocol::kHeaderBytes, int(length))};
        pending.remove(0, RelayProtocol::kHeaderBytes + int(length));
        const bool known = tag == RelayProtocol::kMessage ||
                           (tag == RelayProtocol::kReturned && !record.body.isEmpty());
        if (!known) {
            return false;
        }
        records->append(record);
    }
    return true;
}
