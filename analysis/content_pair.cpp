#include "analysis/content_pair.h"

#include "analysis/analysis_messages.h"
#include "analysis/state_marks.h"
#include "model/win_guards.h"

void ReportContentProgress(uint64_t bytesCompared, void* context) {
    auto* progress = static_cast<ContentProgress*>(context);
    const DWORD now = GetTickCount();
    // Unsigned arithmetic stays right across the wrap of the tick count.
    if (now - progress->lastReportTick <= kProgressIntervalMs) return;
    progress->lastReportTick = now;
    LocationSlot* slot = &progress->data->slots[0];
    {
        ScopedLock hold(&slot->lock);
        slot->elapsedMs = now - progress->startTick;
        slot->totalBytes = progress->amountToCompare;
        slot->doneBytes = bytesCompared;
    }
    NotifyAnalysis(progress->data, WM_ANALYSIS_PROGRESS, 0);
}

CompareOutcome CompareNodePair(IoEngine* engine, CompareRun* run, FileNode* node0, FileNode* node1,
                               ReadFailure* failure) {
    CompareOutcome outcome = CompareFilePair(engine, run, failure);
    if (outcome == CompareDifferent) {
        MarkModified(node0);
        if (node1) MarkModified(node1);
    }
    return outcome;
}
