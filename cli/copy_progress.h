#pragma once
// The line that shows the copies of a synchronization on a console.
#include "sync/sync_progress.h"

#include <windows.h>

#include <string>

namespace cli {

// Files and bytes done of the total, a percentage, and once a second of
// copying has given a rate, the rate and the time left.
std::wstring SyncProgressText(const SyncProgressFigures& figures, DWORD elapsedMs);

}  // namespace cli
