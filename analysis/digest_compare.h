#pragma once
// The content phase when a side is a catalog: a catalog holds its files'
// digests rather than their bytes, so each common pair compares by digest,
// that of a folder's file made from the file as it is now, read once.
#include "analysis/background_ops.h"

#include <windows.h>

// Walks the common file pairs of both trees after the structure comparison.
// Files whose digests differ, or whose sizes do (they are then not read), are
// Modified with their Identical ancestors; a pair whose digest cannot be had
// (a file that cannot be read whole, a catalog's file without one) is Unknown
// on both sides and logged. Progress goes out as the engine's does, counted in
// bytes read. Returns 0, ERROR_CANCELLED, 8, 1359 when the log cannot be
// written, or the code of the system's cryptography when it cannot start.
DWORD CompareByDigests(BackgroundOpsData* data, DWORD startTick);
