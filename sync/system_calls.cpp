#include "sync/system_calls.h"

namespace {

const SyncSystemCalls kRealCalls = {SHFileOperationW, GetDiskFreeSpaceExW};
SyncSystemCalls g_calls = kRealCalls;

}  // namespace

void SyncSetSystemCalls(const SyncSystemCalls* calls) { g_calls = calls ? *calls : kRealCalls; }

const SyncSystemCalls& SyncCalls() { return g_calls; }
