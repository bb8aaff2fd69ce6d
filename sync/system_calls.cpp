#include "sync/system_calls.h"

namespace {

const SyncSystemCalls kRealCalls = {SHFileOperationW, GetDiskFreeSpaceExW, CopyFileExW, MoveFileExW};
SyncSystemCalls g_calls = kRealCalls;

}  // namespace

void SyncSetSystemCalls(const SyncSystemCalls* calls) {
    g_calls = calls ? *calls : kRealCalls;
    if (!g_calls.fileOperation) g_calls.fileOperation = kRealCalls.fileOperation;
    if (!g_calls.freeSpace) g_calls.freeSpace = kRealCalls.freeSpace;
    if (!g_calls.copyFile) g_calls.copyFile = kRealCalls.copyFile;
    if (!g_calls.moveFile) g_calls.moveFile = kRealCalls.moveFile;
}

const SyncSystemCalls& SyncCalls() { return g_calls; }
