#pragma once

#include <QImage>
#include <QObject>
#include <QSharedMemory>

#include "sharedframelock.h"

#include <cstdint>

// Publishes camera frames, scaled to 640 x 480 and stored bottom-up, in the
// shared-memory segment "shareFrame" for the virtual camera. The record is
// three 32-bit little-endian integers (width, height, record size) followed
// by the RGB pixels, the last picture row first.
class Vorn_SharedMemory : public QObject
{
    Q_OBJECT
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kHeaderBytes = 12;
    static constexpr int kRecordBytes = kWidth * kHeight * 3 + kHeaderBytes;

    explicit Vorn_SharedMemory(QObject* parent = nullptr);
    ~Vorn_SharedMemory() override;

    int attachOrCreate(int size);
    int detachSegment();

    bool captureOpen = false;

public slots:
    void ImageFrame(uint8_t* buffer, int width, int height);

private:
    enum class Hold
    {
        Kept,     // held since an earlier frame
        Existing, // someone else had made it
        Created,
        Failed
    };
    Hold holdSegment(int size);
    // True when another program (the virtual camera) has the segment too.
    bool heldElsewhere() const;
    void writeRecord(const QImage& picture);
    uchar* recordMemory();

    // Keeps the segment from the first frame until sharing stops, so that a
    // reader always finds it and it is not destroyed and made anew with every
    // frame. It also makes the segment, so that the per-frame attachment
    // below never owns the segment's lock: Qt replaces a lock whenever the
    // object that made it attaches again.
    QSharedMemory m_holder;
    QSharedMemory m_sharedMem;
    SharedFrameLock m_frameLock;
    int segmentSize = 0;
    QImage m_picture;
};
