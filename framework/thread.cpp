#include "framework/thread.h"

#include <new>

namespace {

struct ThreadStart {
    ThreadRoutine routine;
    void* parameter;
};

DWORD WINAPI ThreadEntry(void* startBlock) {
    ThreadStart start = *static_cast<ThreadStart*>(startBlock);
    delete static_cast<ThreadStart*>(startBlock);
    try {
        return start.routine(start.parameter);
    } catch (...) {
        return 1;
    }
}

}  // namespace

HANDLE StartThread(ThreadRoutine routine, void* parameter) {
    ThreadStart* start = new (std::nothrow) ThreadStart{routine, parameter};
    if (start == nullptr) {
        ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HANDLE thread = ::CreateThread(nullptr, 0, ThreadEntry, start, 0, nullptr);
    if (thread == nullptr) {
        DWORD error = ::GetLastError();
        delete start;
        ::SetLastError(error);
    }
    return thread;
}

void JoinThread(HANDLE thread) {
    if (thread == nullptr) return;
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
}
