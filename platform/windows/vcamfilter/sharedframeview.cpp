#include "sharedframeview.h"

namespace {

// The SHA-1 of "shareFrame" in UTF-8, as Qt appends it to both names.
#define LUMORA_SHAREFRAME_NATIVE L"shareFrame41fae676942de6736209d95028705999c02ab7f1"

// The writer holds the lock for one copy of a record. A writer that died
// holding it would block a reader forever (a semaphore is not released
// with its holder): the frame is given up instead.
constexpr DWORD kLockTimeoutMs = 100;

} // namespace

SharedFrameView::~SharedFrameView()
{
    letGo();
    if (m_lock) {
        CloseHandle(m_lock);
    }
}

const wchar_t* SharedFrameView::segmentName()
{
    return L"qipc_sharedmemory_" LUMORA_SHAREFRAME_NATIVE;
}

const wchar_t* SharedFrameView::lockName()
{
    return L"qipc_systemsem_" LUMORA_SHAREFRAME_NATIVE;
}

SharedFrameView::Result SharedFrameView::read(unsigned char* pixels)
{
    // The segment is opened for each read and let go of after it. A segment
    // that readers kept open would outlive a Lumora that has gone, cleanly
    // or not, and its last frame would show for ever; with several programs
    // using the camera at once, their holds would overlap without end.
    // Lumora's own handle keeps a live segment, and mapping it anew costs
    // well under a millisecond a frame.
    if (!holdSegment()) {
        return Result::NoSegment;
    }
    const Result result = copyRecord(pixels);
    letGo();
    return result;
}

void SharedFrameView::letGo()
{
    if (m_view) {
        UnmapViewOfFile(m_view);
        m_view = nullptr;
    }
    if (m_mapping) {
        CloseHandle(m_mapping);
        m_mapping = nullptr;
    }
    m_viewBytes = 0;
}

bool SharedFrameView::holdSegment()
{
    m_mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, segmentName());
    if (!m_mapping) {
        return false;
    }
    m_view = static_cast<const unsigned char*>(MapViewOfFile(m_mapping, FILE_MAP_READ, 0, 0, 0));
    MEMORY_BASIC_INFORMATION info{};
    // The size as QSharedMemory reports it on Windows: the mapped region,
    // whole pages.
    if (!m_view || !VirtualQuery(m_view, &info, sizeof(info))) {
        letGo();
        return false;
    }
    m_viewBytes = info.RegionSize;
    return true;
}

SharedFrameView::Result SharedFrameView::copyRecord(unsigned char* pixels)
{
    if (m_viewBytes < SIZE_T(FrameRecord::kHeaderBytes)) {
        m_lastStatus = FrameRecord::Status::LargerThanSegment;
        return Result::Rejected;
    }
    // Made as QSystemSemaphore makes it, should the reader come first.
    if (!m_lock) {
        m_lock = CreateSemaphoreW(nullptr, 1, MAXLONG, lockName());
    }
    if (!m_lock || WaitForSingleObject(m_lock, kLockTimeoutMs) != WAIT_OBJECT_0) {
        return Result::LockFailed;
    }
    m_lastStatus = FrameRecord::copyPicture(m_view, std::int64_t(m_viewBytes), pixels);
    ReleaseSemaphore(m_lock, 1, nullptr);
    return m_lastStatus == FrameRecord::Status::Valid ? Result::Frame : Result::Rejected;
}
