#include "filesink.h"

#include "writeall.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

FileSink::FileSink(const QString& path) : m_path(path) {}

FileSink::~FileSink()
{
    if (m_ownsFd && m_fd >= 0) {
        ::close(m_fd);
    }
}

bool FileSink::open(int, int, bool, QString* error)
{
    if (m_path == QLatin1String("-")) {
        m_fd = STDOUT_FILENO;
        return true;
    }
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC,
                  0644);
    if (m_fd < 0) {
        *error = QStringLiteral("cannot open %1: %2")
                     .arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_ownsFd = true;
    return true;
}

bool FileSink::write(const QByteArray& frame)
{
    return writeAll(m_fd, frame.constData(), size_t(frame.size()));
}
