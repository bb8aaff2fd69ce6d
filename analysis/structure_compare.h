#pragma once
// The structure comparison of an analysis: which entries are on one side
// only, and which files differ by size or time.
#include "analysis/background_ops.h"
#include "model/file_times.h"

// Compares everything below `node` (named by `treePath`) with the other
// slot's tree, one folder pair at a time. An entry that is Unknown on either
// side makes its counterpart Unknown with everything below it, and so does a
// file facing a folder of the same name (logged); neither side is descended
// into. Returns 0; 8 when memory runs out; 3 when the folder that should
// receive Missing copies is not found; 1359 when the log cannot be written.
// Files of both sides whose sizes differ, or whose times differ by
// `timeRule`, are Modified; with no rule (content comparison) times and sizes
// are left to the content phase.
DWORD CompareStructure(FileNode* node, const wchar_t* treePath, LocationSlot* other, const TimeRule* timeRule);
