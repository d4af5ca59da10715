#include "v4l2source.h"

#include "v4l2formatprobe.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSet>

extern "C" {
#include <libavformat/avformat.h>
}

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The address ranges of this process that map the node, from /proc/self/maps.
QSet<QPair<quintptr, quintptr>> nodeMappings(const QString& node)
{
    QSet<QPair<quintptr, quintptr>> ranges;
    QFile maps(QStringLiteral("/proc/self/maps"));
    if (node.isEmpty() || !maps.open(QIODevice::ReadOnly)) {
        return ranges;
    }
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || QString::fromLocal8Bit(fields.mid(5).join(' ')) != node) {
            continue;
        }
        const QList<QByteArray> range = fields[0].split('-');
        ranges.insert({quintptr(range.value(0).toULongLong(nullptr, 16)),
                       quintptr(range.value(1).toULongLong(nullptr, 16))});
    }
    return ranges;
}

// libavdevice keeps its descriptor of the node to itself. Like every
// context with options, its V4L2 input's private context begins with its
// class; the descriptor has come next ever since the input was written. It
// is taken only when the class is the input's own and the descriptor is
// this node's; otherwise -1, and the worker naps between looks instead.
int inputDescriptor(const AVFormatContext* input, const QString& node)
{
    struct Head
    {
        const AVClass* inputClass;
        int fd;
    };
    if (!input || !input->priv_data || !input->iformat || !input->iformat->priv_class) {
        return -1;
    }
    const auto* head = static_cast<const Head*>(input->priv_data);
    struct stat ofNode = {}, ofDescriptor = {};
    if (head->inputClass != input->iformat->priv_class ||
        ::stat(QFile::encodeName(node).constData(), &ofNode) != 0 ||
        ::fstat(head->fd, &ofDescriptor) != 0 || !S_ISCHR(ofDescriptor.st_mode) ||
        ofDescriptor.st_rdev != ofNode.st_rdev) {
        return -1;
    }
    return head->fd;
}

} // namespace

V4l2Source::V4l2Source(const QString& devicePath)
    : LibavdeviceSource("video4linux2", devicePath, "input_format"),
      m_wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

V4l2Source::~V4l2Source()
{
    if (m_wake >= 0) {
        ::close(m_wake);
    }
}

void V4l2Source::interrupt()
{
    LibavdeviceSource::interrupt();
    if (m_wake >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(m_wake, &one, sizeof one);
    }
}

void V4l2Source::waitForPicture(int64_t timeoutUs, int round)
{
    // A node that said "ready" and then had no picture is not trusted a
    // second time in a row: nap once rather than spin.
    if (m_node < 0 || m_wake < 0 || (round > 0 && m_saidReady)) {
        m_saidReady = false;
        LibavdeviceSource::waitForPicture(timeoutUs, round);
        return;
    }
    pollfd wait[2] = {{m_node, POLLIN, 0}, {m_wake, POLLIN, 0}};
    const int ready = ::poll(wait, 2, int((timeoutUs + 999) / 1000));
    m_saidReady = ready > 0 && wait[0].revents != 0;
}

bool V4l2Source::open(int width, int height, int fps)
{
    QList<Attempt> attempts;
    V4l2Mode mode;
    if (chooseV4l2Mode(enumerateV4l2Modes(url()), width, height, fps, mode)) {
        attempts.append({v4l2InputFormatName(mode.fourcc), mode.width, mode.height, mode.fps});
    }
    // Cameras that list nothing still often take the usual request, and
    // failing that, whatever they are set to.
    attempts.append({QStringLiteral("mjpeg"), width, height, double(fps)});
    attempts.append(Attempt());
    return openFirst(attempts);
}

bool V4l2Source::openWith(const Attempt& attempt)
{
    const QString node = QFileInfo(url()).canonicalFilePath();
    const auto before = nodeMappings(node);
    m_node = -1;
    if (LibavdeviceSource::openWith(attempt)) {
        m_node = inputDescriptor(input(), url());
        qDebug().noquote() << "capture:" << url()
                           << (m_node >= 0 ? "waits for pictures in poll()"
                                           : "looks for pictures every few ms");
        return true;
    }
    // When the start fails after the buffers were mapped (STREAMON refused),
    // libavdevice closes the node but leaves them mapped. A driver that
    // counts mappings (v4l2loopback) then refuses every later start with
    // EBUSY for as long as this program runs.
    for (const auto& range : nodeMappings(node) - before) {
        munmap(reinterpret_cast<void*>(range.first), range.second - range.first);
    }
    return false;
}
