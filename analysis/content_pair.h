#pragma once
// The worker's side of the content comparison: what a compared pair means for
// the two trees, and the progress figures of the content phase.
#include "analysis/background_ops.h"
#include "analysis/io_engine.h"

#include <windows.h>

#include <cstdint>

const DWORD kProgressIntervalMs = 1000;

// The context of ReportContentProgress.
struct ContentProgress {
    BackgroundOpsData* data;
    DWORD startTick;  // the worker's start
    DWORD lastReportTick;  // updated
    uint64_t amountToCompare;  // commonBytes of slot 0
};

// A CompareProgressFunction: when more than a second has passed since the last
// report, sets slot 0's figures and sends WM_ANALYSIS_PROGRESS.
void ReportContentProgress(uint64_t bytesCompared, void* progress);

// Compares the two attached files; when they differ, both nodes become
// Modified, and so do their Identical ancestors. `node1` may be null.
CompareOutcome CompareNodePair(IoEngine* engine, CompareRun* run, FileNode* node0, FileNode* node1,
                               ReadFailure* failure);
