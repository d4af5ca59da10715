#pragma once

#include <QByteArray>
#include <QVector>

// The records on the upgrade relay's standard output (relay/relayprotocol.h),
// cut apart as they arrive.
struct RelayRecord
{
    char tag = 0;
    QByteArray body;
};

// Takes the whole records off the front of `pending` into `records`,
// leaving an unfinished one for the next read; false on a record the relay
// cannot have written (an unknown tag, a returned text without its byte,
// an impossible length).
bool takeRelayRecords(QByteArray& pending, QVector<RelayRecord>* records);
