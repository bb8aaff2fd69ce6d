#include "sync/name_and_time.h"

#include "model/location_tree.h"
#include "model/memory.h"
#include "model/system_error.h"
#include "model/win_guards.h"
#include "sync/sync_results.h"
#include "sync/system_calls.h"

#include <cwchar>

namespace {

const wchar_t kStepSuffix[] = L".~respelt";

const wchar_t* LastNameOf(const wchar_t* path) {
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash ? slash + 1 : path;
}

// Whether the entry at `path` is spelt on its volume as `path` ends.
bool SpeltAs(const wchar_t* path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path, &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return wcscmp(found.cFileName, LastNameOf(path)) == 0;
}

DWORD Move(const wchar_t* from, const wchar_t* to) {
    // Without MOVEFILE_REPLACE_EXISTING: a rename never takes another entry's place.
    return SyncCalls().moveFile(from, to, 0) ? ERROR_SUCCESS : LastErrorOr(ERROR_ACCESS_DENIED);
}

}  // namespace

DWORD RenameAsPlanned(const SyncPlan* plan, const SyncOperation& operation, const LocationGuard* guard) {
    const wchar_t* from = TargetOf(plan, operation);
    MemBlock<wchar_t> paths(size_t(2) * kPathUnits);
    if (!paths.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    wchar_t* to = paths.Get();
    wchar_t* step = to + kPathUnits;
    if (!RenamedPath(from, PlanText(plan, operation.paths[1 - TargetSideOf(operation)]), to))
        return ERROR_FILENAME_EXCED_RANGE;
    // Both paths share their folder.
    DWORD result = CheckStaysInside(guard, from);
    if (result == ERROR_SUCCESS) result = Move(from, to);
    if (result != ERROR_SUCCESS || SpeltAs(to)) return result;
    // A volume that takes a new spelling of the same name for no change takes it through another name.
    const size_t units = wcslen(to);
    if (units + wcslen(kStepSuffix) >= kPathUnits) return kSyncSpellingKept;
    wmemcpy(step, to, units);
    wcscpy(step + units, kStepSuffix);
    result = CheckStaysInside(guard, from);
    if (result == ERROR_SUCCESS) result = Move(from, step);
    if (result != ERROR_SUCCESS) return result;
    result = CheckStaysInside(guard, step);
    if (result == ERROR_SUCCESS) result = Move(step, to);
    // Back under its earlier name, where the new one was taken meanwhile (not
    // through a folder that became a link: the file is no longer where the path leads).
    if (result != ERROR_SUCCESS && result != kSyncFolderBecameLink) {
        Move(step, from);
        return result;
    }
    if (result != ERROR_SUCCESS) return result;
    return SpeltAs(to) ? ERROR_SUCCESS : kSyncSpellingKept;
}

DWORD SetTimeAsPlanned(const SyncPlan* plan, const SyncOperation& operation, const LocationGuard* guard) {
    const wchar_t* target = TargetOf(plan, operation);
    DWORD result = CheckStaysInside(guard, target);
    if (result != ERROR_SUCCESS) return result;
    // Held with readers only, the file cannot change between the check and the setting.
    OwnedHandle held;
    result = OpenAsSeen(target, SeenAtTarget(operation), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, 0, &held);
    if (result != ERROR_SUCCESS) return result;
    const FILETIME time = SeenAtSource(operation).lastWriteTime;
    if (SyncCalls().setFileTime(held.Get(), nullptr, nullptr, &time)) return ERROR_SUCCESS;
    return LastErrorOr(ERROR_ACCESS_DENIED);
}
