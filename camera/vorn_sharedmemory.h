#pragma once

#include <QObject>
#include <QSharedMemory>

#include <cstdint>

// Publishes camera frames, scaled to 640 x 480 and stored bottom-up, in the
// shared-memory segment "shareFrame" for the virtual camera.
class Vorn_SharedMemory : public QObject
{
    Q_OBJECT
public:
    explicit Vorn_SharedMemory(QObject* parent = nullptr);
    ~Vorn_SharedMemory() override;

    int attachOrCreate(int size);
    int detachSegment();

    bool captureOpen = false;

public slots:
    void ImageFrame(uint8_t* buffer, int width, int height);

private:
    QSharedMemory m_sharedMem;
    int segmentSize = 0;
};
