#include "analysis/cancel_poll.h"

bool CancelPoll::Requested(HANDLE event, const volatile LONG* flag, bool pollEveryTime) {
    if (flag) return *flag != 0;
    const DWORD now = GetTickCount();
    if (!pollEveryTime && polled && now == lastTick) return false;
    polled = true;
    lastTick = now;
    return event && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}
