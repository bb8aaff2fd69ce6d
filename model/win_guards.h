#pragma once
// Small guards for the Win32 resources of the core: a held critical section,
// an owned handle, an owned search of a folder, and the one way the core
// starts threads.
#include <windows.h>

// Holds a critical section for its lifetime.
class ScopedLock {
public:
    explicit ScopedLock(CRITICAL_SECTION* section) : m_section(section) { EnterCriticalSection(m_section); }
    ~ScopedLock() { LeaveCriticalSection(m_section); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    CRITICAL_SECTION* m_section;
};

// Closes its handle when it goes; null (or INVALID_HANDLE_VALUE) holds nothing.
class OwnedHandle {
public:
    OwnedHandle() = default;
    explicit OwnedHandle(HANDLE handle) : m_handle(handle) {}
    ~OwnedHandle() { Close(); }
    OwnedHandle(OwnedHandle&& other) noexcept : m_handle(other.Release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            Close();
            m_handle = other.Release();
        }
        return *this;
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;

    HANDLE Get() const { return m_handle; }
    bool IsValid() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    // Gives the handle up without closing it.
    HANDLE Release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Close() {
        if (IsValid()) CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle = nullptr;
};

// Ends its search (from FindFirstFileW or FindFirstFileExW) when it goes;
// INVALID_HANDLE_VALUE, what a search that could not start gives, holds nothing.
class OwnedFindHandle {
public:
    OwnedFindHandle() = default;
    explicit OwnedFindHandle(HANDLE search) : m_search(search) {}
    ~OwnedFindHandle() { Close(); }
    OwnedFindHandle(const OwnedFindHandle&) = delete;
    OwnedFindHandle& operator=(const OwnedFindHandle&) = delete;

    HANDLE Get() const { return m_search; }
    bool IsValid() const { return m_search != INVALID_HANDLE_VALUE; }
    // Ends the search held and holds `search` instead.
    void Reset(HANDLE search = INVALID_HANDLE_VALUE) {
        if (search == m_search) return;
        Close();
        m_search = search;
    }
    void Close() {
        if (IsValid()) FindClose(m_search);
        m_search = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_search = INVALID_HANDLE_VALUE;
};

// Starts `routine` with `parameter` on a new thread of default security and
// stack size: the one way the program starts threads. The handle holds nothing
// (and GetLastError tells why) when the thread cannot be started. No exception
// leaves through the system: one thrown by `routine` ends the thread with exit
// code 1.
OwnedHandle StartCoreThread(LPTHREAD_START_ROUTINE routine, void* parameter);

// Waits for the thread to end and closes its handle; nothing for none.
inline void JoinThread(OwnedHandle* thread) {
    if (thread->IsValid()) WaitForSingleObject(thread->Get(), INFINITE);
    thread->Close();
}
