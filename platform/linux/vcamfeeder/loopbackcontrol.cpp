#include "loopbackcontrol.h"

#include "retryioctl.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// The requests of v4l2loopback.h; they carry no size, so the module reads
// as much of the configuration as its own version defines.
constexpr unsigned long kAdd = 0x4C80;
constexpr unsigned long kRemove = 0x4C81;
constexpr unsigned long kQuery = 0x4C82;

// The configuration changed between 0.12 (68 bytes) and 0.13 (72 bytes):
// both begin with two device numbers and the 32-byte label, and in both a
// zero in every later field asks for the defaults and for exclusive
// capabilities (announce_all_caps 0), which browsers need to see a camera.
// So only the shared beginning is filled, in a buffer larger than either.
struct Configuration
{
    qint32 outputNumber = -1;
    qint32 captureNumber = -1;
    char label[32] = {};
    qint32 rest[24] = {};
};

int retrying(int fd, unsigned long request, unsigned long argument)
{
    const int result = retryOnInterrupt([&] { return ::ioctl(fd, request, argument); });
    return result < 0 ? -errno : result;
}

} // namespace

LoopbackControl::Status LoopbackControl::open()
{
    if (!QFileInfo::exists(QStringLiteral("/sys/module/v4l2loopback"))) {
        return Status::NotLoaded;
    }
    m_fd = ::open("/dev/v4l2loopback", O_RDWR | O_CLOEXEC);
    if (m_fd >= 0) {
        return Status::Ok;
    }
    return errno == ENOENT ? Status::NoControl : Status::Failed;
}

LoopbackControl::~LoopbackControl()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

bool LoopbackControl::query(int number, Device& device) const
{
    Configuration configuration;
    configuration.outputNumber = number;
    if (retrying(m_fd, kQuery, reinterpret_cast<unsigned long>(&configuration)) < 0) {
        return false;
    }
    device.number = number;
    device.label = QString::fromUtf8(configuration.label,
                                     int(strnlen(configuration.label, sizeof configuration.label)));
    return true;
}

QVector<LoopbackControl::Device> LoopbackControl::devices() const
{
    // Every video node is asked; only the module's own answer the query.
    QVector<Device> found;
    const QStringList nodes = QDir(QStringLiteral("/sys/class/video4linux"))
                                  .entryList({QStringLiteral("video*")}, QDir::Dirs | QDir::System);
    for (const QString& node : nodes) {
        bool ok = false;
        const int number = node.mid(5).toInt(&ok);
        Device device;
        if (ok && query(number, device)) {
            found.append(device);
        }
    }
    return found;
}

int LoopbackControl::add(const QString& label) const
{
    Configuration configuration;
    const QByteArray name = label.toUtf8().left(int(sizeof configuration.label) - 1);
    std::memcpy(configuration.label, name.constData(), size_t(name.size()));
    return retrying(m_fd, kAdd, reinterpret_cast<unsigned long>(&configuration));
}

int LoopbackControl::remove(int number) const
{
    // The device's number goes as the argument itself, not behind a pointer.
    return retrying(m_fd, kRemove, static_cast<unsigned long>(number));
}
