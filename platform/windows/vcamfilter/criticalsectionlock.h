#pragma once

#include <windows.h>

// Holds a critical section for as long as it lives; the filter and its pin
// guard their state with one each.
class CriticalSectionLock
{
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& lock) : m_lock(lock)
    {
        EnterCriticalSection(&m_lock);
    }
    ~CriticalSectionLock() { LeaveCriticalSection(&m_lock); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_lock;
};
