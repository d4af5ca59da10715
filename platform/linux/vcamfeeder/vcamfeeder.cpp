#include "vcamfeeder.h"

#include "framesink.h"
#include "placeholderpicture.h"

#include <QtGlobal>

#include <cerrno>
#include <ctime>

namespace {

qint64 monotonicNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleepUntil(qint64 nanoseconds)
{
    timespec until{};
    until.tv_sec = time_t(nanoseconds / 1000000000);
    until.tv_nsec = long(nanoseconds % 1000000000);
    // An interrupting signal returns early so that a stop request is seen.
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
}

} // namespace

VcamFeeder::VcamFeeder(SharedFrameReader& reader, FrameSink& sink, const FeederOptions& options)
    : m_reader(reader), m_sink(sink), m_options(options)
{
    m_reader.setReattachInterval(options.reattachIntervalMs);
    const int bytes =
        YuvConversion::frameBytes(options.format, FrameRecord::kWidth, FrameRecord::kHeight);
    m_frame.resize(bytes);
    m_placeholder.resize(bytes);
    const QByteArray bars =
        PlaceholderPicture::bottomUpRgb(FrameRecord::kWidth, FrameRecord::kHeight);
    YuvConversion::bottomUpRgbTo(options.format, reinterpret_cast<const uchar*>(bars.constData()),
                                 FrameRecord::kWidth, FrameRecord::kHeight,
                                 reinterpret_cast<uchar*>(m_placeholder.data()));
}

const QByteArray& VcamFeeder::frameAt(qint64 nowMs)
{
    const SharedFrameReader::Result result = m_reader.read(m_pixels);
    reportChange(result);
    if (result == SharedFrameReader::Result::Frame) {
        YuvConversion::bottomUpRgbTo(
            m_options.format, reinterpret_cast<const uchar*>(m_pixels.constData()),
            FrameRecord::kWidth, FrameRecord::kHeight, reinterpret_cast<uchar*>(m_frame.data()));
        m_haveFrame = true;
        m_lastFrameMs = nowMs;
        return m_frame;
    }
    if (m_haveFrame && nowMs - m_lastFrameMs <= m_options.holdMilliseconds) {
        return m_frame;
    }
    m_haveFrame = false;
    return m_placeholder;
}

bool VcamFeeder::run(const volatile std::sig_atomic_t& stop)
{
    const qint64 period = 1000000000 / qMax(1, m_options.framesPerSecond);
    qint64 next = monotonicNanoseconds();
    for (qint64 written = 0; !stop; ++written) {
        if (m_options.frameCount >= 0 && written >= m_options.frameCount) {
            return true;
        }
        const qint64 now = monotonicNanoseconds();
        if (!m_sink.write(frameAt(now / 1000000))) {
            return false;
        }
        next += period;
        // After a stall (a reader that stopped taking frames), resume the
        // rate from now instead of sending the missed frames in a burst.
        if (next < monotonicNanoseconds() - period) {
            next = monotonicNanoseconds();
        }
        sleepUntil(next);
    }
    return true;
}

void VcamFeeder::reportChange(SharedFrameReader::Result result)
{
    const FrameRecord::Status status = m_reader.lastStatus();
    if (m_reported && result == m_lastResult &&
        (result != SharedFrameReader::Result::Rejected || status == m_lastStatus)) {
        return;
    }
    m_reported = true;
    m_lastResult = result;
    m_lastStatus = status;
    switch (result) {
    case SharedFrameReader::Result::Frame:
        qInfo("lumora-vcam-feeder: receiving frames");
        break;
    case SharedFrameReader::Result::NoSegment:
        qInfo("lumora-vcam-feeder: no shared frame, showing the placeholder");
        break;
    case SharedFrameReader::Result::Rejected:
        qWarning("lumora-vcam-feeder: record rejected: %s", FrameRecord::describe(status));
        break;
    case SharedFrameReader::Result::LockFailed:
        qWarning("lumora-vcam-feeder: cannot lock the shared frame: %s",
                 qPrintable(m_reader.errorString()));
        break;
    }
}
