#pragma once
// The messages by which an analysis tells its window how it goes, and the
// observer that sees each one as it goes out.
#include "analysis/background_ops.h"

#include <windows.h>

const UINT WM_ANALYSIS_DONE = WM_USER + 1;  // wParam 0
const UINT WM_ANALYSIS_FAILED = WM_USER + 2;  // wParam: location index
const UINT WM_ANALYSIS_STATUS = WM_USER + 3;  // wParam: location index
const UINT WM_ANALYSIS_PROGRESS = WM_USER + 4;  // wParam 0

// Sends one analysis message to the record's window without waiting for it.
void NotifyAnalysis(BackgroundOpsData* data, UINT message, WPARAM wParam);

// Called on the worker's thread just before each message is sent (also when
// the record names no window), so that a test can see each status text as it
// was when its message went out, and the companion can follow the analysis
// without a window.
typedef void (*AnalysisMessageObserver)(BackgroundOpsData* data, UINT message, WPARAM wParam, void* context);
void SetAnalysisMessageObserver(AnalysisMessageObserver observer, void* context);
