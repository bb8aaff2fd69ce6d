#include "model/win_guards.h"

#include <new>

namespace {

struct ThreadStart {
    LPTHREAD_START_ROUTINE routine;
    void* parameter;
};

DWORD WINAPI GuardedThread(void* startBlock) {
    const ThreadStart start = *static_cast<ThreadStart*>(startBlock);
    delete static_cast<ThreadStart*>(startBlock);
    try {
        return start.routine(start.parameter);
    } catch (...) {
        return 1;
    }
}

}  // namespace

OwnedHandle StartCoreThread(LPTHREAD_START_ROUTINE routine, void* parameter) {
    // Not from the program's own allocator, whose failures tests inject into the work a thread does.
    auto* start = new (std::nothrow) ThreadStart{routine, parameter};
    if (!start) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return OwnedHandle();
    }
    HANDLE thread = CreateThread(nullptr, 0, GuardedThread, start, 0, nullptr);
    if (!thread) {
        const DWORD error = GetLastError();
        delete start;
        SetLastError(error);
    }
    return OwnedHandle(thread);
}
