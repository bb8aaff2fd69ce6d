#include "sync/system_calls.h"

namespace {

const SyncSystemCalls kRealCalls = {SHFileOperationW, GetDiskFreeSpaceExW, CopyFileExW,      MoveFileExW,
                                    CreateFileW,      DeleteFileW,         CreateDirectoryW, RemoveDirectoryW,
                                    SetFileTime};
SyncSystemCalls g_calls = kRealCalls;

}  // namespace

void SyncSetSystemCalls(const SyncSystemCalls* calls) {
    g_calls = calls ? *calls : kRealCalls;
    if (!g_calls.fileOperation) g_calls.fileOperation = kRealCalls.fileOperation;
    if (!g_calls.freeSpace) g_calls.freeSpace = kRealCalls.freeSpace;
    if (!g_calls.copyFile) g_calls.copyFile = kRealCalls.copyFile;
    if (!g_calls.moveFile) g_calls.moveFile = kRealCalls.moveFile;
    if (!g_calls.createFile) g_calls.createFile = kRealCalls.createFile;
    if (!g_calls.deleteFile) g_calls.deleteFile = kRealCalls.deleteFile;
    if (!g_calls.makeFolder) g_calls.makeFolder = kRealCalls.makeFolder;
    if (!g_calls.removeFolder) g_calls.removeFolder = kRealCalls.removeFolder;
    if (!g_calls.setFileTime) g_calls.setFileTime = kRealCalls.setFileTime;
}

const SyncSystemCalls& SyncCalls() { return g_calls; }
