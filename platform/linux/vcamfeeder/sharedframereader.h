#pragma once

#include "framerecord.h"

#include <QByteArray>
#include <QSharedMemory>
#include <QString>

// Reads Lumora's frame record from the segment "shareFrame". The segment is
// attached only for the read: held open between frames, it would outlive
// Lumora and keep showing its last frame. QSharedMemory with the same key
// gives the same native segment and lock as the writer.
class SharedFrameReader
{
public:
    enum class Result
    {
        Frame,     // pixels hold a new record's picture
        NoSegment, // nobody publishes frames
        Rejected,  // a record is there, but unsound: see lastStatus()
        LockFailed
    };

    explicit SharedFrameReader(const QString& key = QStringLiteral("shareFrame"));

    // pixels receives width * height * 3 bytes, rows bottom-up as stored.
    Result read(QByteArray& pixels);
    FrameRecord::Status lastStatus() const { return m_lastStatus; }
    QString errorString() const { return m_memory.errorString(); }

private:
    Result copyRecord(QByteArray& pixels);

    QSharedMemory m_memory;
    FrameRecord::Status m_lastStatus = FrameRecord::Status::Unwritten;
};
