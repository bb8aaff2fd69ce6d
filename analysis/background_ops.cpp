#include "analysis/background_ops.h"

#include "model/text.h"
#include "model/win_guards.h"

#include <cstring>

BackgroundOpsData g_backgroundOps;

namespace {

volatile LONG g_eventsAllowed = -1;

void ReleaseSlot(LocationSlot* slot) {
    DeleteCriticalSection(&slot->lock);
    if (slot->scanDoneEvent) CloseHandle(slot->scanDoneEvent);
    if (slot->tree) DestroyLocationTree(slot->tree);
    slot->tree = nullptr;
    FreeLeftOut(&slot->leftOut);
}

}  // namespace

bool BackgroundOpsInit(BackgroundOpsData* data) {
    if (!data) return false;
    memset(data, 0, sizeof(*data));
    // Without its events the worker would read a scan's result before the scan
    // ends. Nobody frees an invalid record: what is made waits in guards until
    // all of it is there.
    OwnedHandle cancelEvent(CreateAnalysisEvent(true));
    if (!cancelEvent.IsValid()) return false;
    OwnedHandle scanDone[2];
    LocationTree* trees[2] = {nullptr, nullptr};
    for (unsigned index = 0; index < 2; ++index) {
        scanDone[index] = OwnedHandle(CreateAnalysisEvent(true));
        if (scanDone[index].IsValid()) trees[index] = CreateLocationTree();
        if (!trees[index]) {
            for (LocationTree* tree : trees) DestroyLocationTree(tree);
            return false;
        }
    }
    data->cancelEvent = cancelEvent.Release();
    for (unsigned index = 0; index < 2; ++index) {
        LocationSlot* slot = &data->slots[index];
        InitializeCriticalSection(&slot->lock);
        slot->cancelEvent = data->cancelEvent;
        slot->cancelRequested = &data->cancelRequested;
        slot->scanDoneEvent = scanDone[index].Release();
        slot->tree = trees[index];
    }
    data->signature[0] = kBackgroundOpsSignature0;
    data->signature[1] = kBackgroundOpsSignature1;
    return true;
}

bool BackgroundOpsFree(BackgroundOpsData* data) {
    if (!BackgroundOpsIsValid(data)) return true;
    // A scan of a failed analysis may still run: ask it to stop early, then
    // wait until it has let go of its slot.
    RequestCancel(data);
    for (auto& slot : data->slots) {
        if (slot.scanStarted) WaitForSingleObject(slot.scanDoneEvent, INFINITE);
    }
    CloseHandle(data->cancelEvent);
    for (auto& slot : data->slots) ReleaseSlot(&slot);
    memset(data, 0xFF, sizeof(*data));
    return true;
}

bool BackgroundOpsIsValid(const BackgroundOpsData* data) {
    return data && data->signature[0] == kBackgroundOpsSignature0 && data->signature[1] == kBackgroundOpsSignature1;
}

void RequestCancel(BackgroundOpsData* data) {
    InterlockedExchange(&data->cancelRequested, 1);
    SetEvent(data->cancelEvent);
}

ProgressFigures ReadProgress(LocationSlot* slot) {
    ScopedLock hold(&slot->lock);
    return ProgressFigures{slot->elapsedMs, slot->totalBytes, slot->doneBytes};
}

HANDLE CreateAnalysisEvent(bool manualReset) {
    for (;;) {
        LONG left = g_eventsAllowed;
        if (left < 0) break;
        if (left == 0) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return nullptr;
        }
        if (InterlockedCompareExchange(&g_eventsAllowed, left - 1, left) == left) break;
    }
    return CreateEventW(nullptr, manualReset ? TRUE : FALSE, FALSE, nullptr);
}

void AnalysisEventsFailAfter(long allowed) { InterlockedExchange(&g_eventsAllowed, allowed); }

void SetLocationStatus(LocationSlot* slot, const wchar_t* text, DWORD code) {
    ScopedLock hold(&slot->lock);
    CopyText(slot->statusText, kStatusTextUnits, text);
    slot->statusCode = code;
}
