#include "analysis/background_ops.h"

#include <cstring>

BackgroundOpsData g_backgroundOps;

namespace {

void ReleaseSlot(LocationSlot* slot) {
    DeleteCriticalSection(&slot->lock);
    if (slot->scanDoneEvent) CloseHandle(slot->scanDoneEvent);
    if (slot->tree) DestroyLocationTree(slot->tree);
    slot->tree = nullptr;
}

}  // namespace

bool BackgroundOpsInit(BackgroundOpsData* data) {
    if (!data) return false;
    memset(data, 0, sizeof(*data));
    data->cancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    for (unsigned index = 0; index < 2; ++index) {
        LocationSlot* slot = &data->slots[index];
        InitializeCriticalSection(&slot->lock);
        slot->cancelEvent = data->cancelEvent;
        slot->scanDoneEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        slot->tree = CreateLocationTree();
        if (!slot->tree) {
            // Nobody frees an invalid record, so undo here what was made.
            for (unsigned made = 0; made <= index; ++made) ReleaseSlot(&data->slots[made]);
            CloseHandle(data->cancelEvent);
            memset(data, 0, sizeof(*data));
            return false;
        }
    }
    data->signature[0] = kBackgroundOpsSignature0;
    data->signature[1] = kBackgroundOpsSignature1;
    return true;
}

bool BackgroundOpsFree(BackgroundOpsData* data) {
    if (!BackgroundOpsIsValid(data)) return true;
    // A scan of a failed analysis may still run: ask it to stop early, then
    // wait until it has let go of its slot.
    SetEvent(data->cancelEvent);
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
