#pragma once
// The background routine behind "Analyze Differences": scans both locations,
// compares them by structure and, optionally, by content, and reports to the
// window stored in the record.
#include "analysis/background_ops.h"

#include <windows.h>

const UINT WM_ANALYSIS_DONE = WM_USER + 1;  // wParam 0
const UINT WM_ANALYSIS_FAILED = WM_USER + 2;  // wParam: location index
const UINT WM_ANALYSIS_STATUS = WM_USER + 3;  // wParam: location index
const UINT WM_ANALYSIS_PROGRESS = WM_USER + 4;  // wParam 0

// Thread routine; the parameter is the record. Exit code 0 after completion
// or cancellation, 1 after a failure.
DWORD WINAPI AnalysisWorker(void* data);
// Thread routine; the parameter is a LocationSlot. Scans the slot's location.
DWORD WINAPI ScanThread(void* slot);

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
// Makes every Identical ancestor of the node Modified.
void MarkAncestorsModified(FileNode* node);
// Makes the node and everything below it but "." and ".." Unknown, and its
// Identical ancestors Modified.
void MarkSubtreeUnknown(FileNode* node);
// Under the slot's lock: the status text (cut to 2,047 characters) and code.
void SetLocationStatus(LocationSlot* slot, const wchar_t* text, DWORD code);

// Sends one analysis message to the record's window without waiting for it.
void NotifyAnalysis(BackgroundOpsData* data, UINT message, WPARAM wParam);

// Called on the worker's thread just before each message is sent (also when
// the record names no window), so that a test can see each status text as it
// was when its message went out, and the companion can follow the analysis
// without a window.
typedef void (*AnalysisMessageObserver)(BackgroundOpsData* data, UINT message, WPARAM wParam, void* context);
void SetAnalysisMessageObserver(AnalysisMessageObserver observer, void* context);
