#pragma once
// Whether the analysis was asked to stop. The flag that RequestCancel raises
// with the event costs nothing to test and is tested every time; the event is
// a call into the system (a round trip to the server under Wine), so without
// a flag it is polled at most once per tick of the clock, unless the caller
// asks for every time.
#include <windows.h>

struct CancelPoll {
    DWORD lastTick;
    bool polled;

    // `event` is manual reset and only polled with a zero wait; `flag` is optional.
    bool Requested(HANDLE event, const volatile LONG* flag, bool pollEveryTime = false);
};
