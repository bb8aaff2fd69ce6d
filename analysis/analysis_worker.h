#pragma once
// The background routine behind "Analyze Differences": scans both locations,
// compares them by structure and, optionally, by content, and reports to the
// window stored in the record.
#include "analysis/analysis_messages.h"
#include "analysis/background_ops.h"

#include <windows.h>

// Thread routine; the parameter is the record. Exit code 0 after completion
// or cancellation, 1 after a failure.
DWORD WINAPI AnalysisWorker(void* data);
// Thread routine; the parameter is a LocationSlot. Scans the slot's location.
DWORD WINAPI ScanThread(void* slot);
