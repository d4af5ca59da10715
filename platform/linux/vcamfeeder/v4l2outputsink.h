#pragma once

#include "framesink.h"

// The loopback video device: the format is set once on its output side, then
// every frame is one write(), which v4l2loopback hands to its readers.
class V4l2OutputSink : public FrameSink
{
public:
    explicit V4l2OutputSink(const QString& devicePath);
    ~V4l2OutputSink() override;

    bool open(int width, int height, bool i420, QString* error) override;
    bool write(const QByteArray& frame) override;

private:
    bool fail(const QString& what, QString* error);

    QString m_path;
    int m_fd = -1;
};
