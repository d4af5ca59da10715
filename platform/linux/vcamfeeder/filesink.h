#pragma once

#include "framesink.h"

// Raw frames into a file, a named pipe or, for "-", standard output.
class FileSink : public FrameSink
{
public:
    explicit FileSink(const QString& path);
    ~FileSink() override;

    bool open(int width, int height, bool i420, QString* error) override;
    bool write(const QByteArray& frame) override;

private:
    QString m_path;
    int m_fd = -1;
    bool m_ownsFd = false;
};
