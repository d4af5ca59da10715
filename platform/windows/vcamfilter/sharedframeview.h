#pragma once

#include "framerecord.h"

#include <windows.h>

// Reads Lumora's frame record from the segment "shareFrame" the way the
// Linux feeder does, without Qt. Lumora writes it through QSharedMemory,
// whose Windows objects are named by Qt's rule: a prefix, the key's letters
// and the SHA-1 of the key in hexadecimal.
//   segment: the file mapping "qipc_sharedmemory_shareFrame" + SHA-1
//   lock:    the semaphore "qipc_systemsem_shareFrame" + SHA-1 (count 1)
// The record is read under that lock and checked as the feeder checks it
// (FrameRecord::check), against the size of the mapping as Qt sees it.
class SharedFrameView
{
public:
    enum class Result
    {
        Frame,     // pixels hold a new record's picture
        NoSegment, // nobody publishes frames
        Rejected,  // a record is there, but unsound: see lastStatus()
        LockFailed
    };

    SharedFrameView() = default;
    ~SharedFrameView();
    SharedFrameView(const SharedFrameView&) = delete;
    SharedFrameView& operator=(const SharedFrameView&) = delete;

    // pixels receives FrameRecord::kPixelBytes, rows bottom-up as stored.
    Result read(unsigned char* pixels);
    FrameRecord::Status lastStatus() const { return m_lastStatus; }

    static const wchar_t* segmentName();
    static const wchar_t* lockName();

private:
    bool holdSegment();
    void letGo();
    Result copyRecord(unsigned char* pixels);

    HANDLE m_mapping = nullptr;
    const unsigned char* m_view = nullptr;
    SIZE_T m_viewBytes = 0;
    HANDLE m_lock = nullptr;
    FrameRecord::Status m_lastStatus = FrameRecord::Status::Unwritten;
};
