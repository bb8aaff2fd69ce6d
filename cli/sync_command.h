#pragma once
// The commit and update commands: after an analysis, synchronizes every listed
// item of the whole first location (the current one) through the worker of
// the window program, all checked.
#include "analysis/background_ops.h"
#include "sync/sync_decision.h"

#include <string>

namespace cli {

// Runs the synchronization over the analysed pair in `data`. The lines of the
// file and folder operations go to `operations` (UTF-8), the worker's notices
// and failures to `notices`. `window` receives the worker's end message.
// Returns 0 when every operation was done, 1 when the run ended early or left
// some operation undone (each told in the notices).
int SynchronizeAnalysedPair(const BackgroundOpsData* data, SyncDirection direction, HWND window,
                            std::string* operations, std::wstring* notices);

}  // namespace cli
