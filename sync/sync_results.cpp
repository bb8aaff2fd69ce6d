#include "sync/sync_results.h"

#include "model/system_error.h"
#include "model/text.h"

void DescribeSyncResult(DWORD result, wchar_t* text) {
    const wchar_t* own = nullptr;
    switch (result) {
    case kSyncRefusedTooLong:
        own = L"The path is too long! Both files were skipped.";
        break;
    case kSyncChangedSinceAnalysis:
        own = L"The file has changed since the analysis! Both files were skipped.";
        break;
    case kSyncNoRoomOnTarget:
        own = L"There is not enough free space on the target volume! The file was not copied.";
        break;
    case kSyncNotCarriedOut:
        own = L"The file operation could not be completed!";
        break;
    case kSyncStoppedByShell:
        own = L"The file operation failed or was canceled!";
        break;
    case kSyncCopyIncomplete:
        own = L"The copy is incomplete: its size differs from the source!";
        break;
    case kSyncNotRecycled:
        own = L"The file could not be moved to the Recycle Bin, so it was not deleted!";
        break;
    case kSyncReplacedNotRecycled:
        own = L"The file to be replaced could not be moved to the Recycle Bin, so it was not replaced!";
        break;
    case kSyncTargetUntouched:
        own = L"The file could not be copied; the target was left as it was!";
        break;
    case kSyncCancelled:
        own = L"The synchronization was canceled before this operation!";
        break;
    case kSyncCopyDiffers:
        own = L"The copy differs from the source! The target was left as it was.";
        break;
    case kSyncSourceChangedDuringCopy:
        own = L"The file changed while it was copied! The target was left as it was.";
        break;
    case kSyncNameTaken:
        own = L"A file was made under the target's name meanwhile, so the copy was not put in its place!";
        break;
    case kSyncExcludedFolderInTheWay:
        own = L"A folder that the exclusions leave out stands where the file was to be copied! Both were left as they "
              L"were.";
        break;
    case kSyncFolderInTheWay:
        own = L"A folder was made where the file was to be copied since the analysis! Both were left as they were.";
        break;
    case kSyncNotVersioned:
        own = L"The file could not be moved to the versioning folder, so it was not deleted!";
        break;
    case kSyncReplacedNotVersioned:
        own = L"The file to be replaced could not be moved to the versioning folder, so it was not replaced!";
        break;
    case kSyncRunStoppedForRoom:
        own = L"The synchronization stopped before it began: the files to copy do not fit on the target volume!";
        break;
    case kSyncFolderBecameLink:
        own = L"A folder on the way has become a link since the analysis! Nothing was written through it.";
        break;
    case kSyncKeptForExcluded:
        own = L"The folder holds only entries that the exclusions leave out, so it was kept.";
        break;
    case kSyncWaiting:
        own = L"The file operation waits for another one!";
        break;
    case kSyncEarlierKindStays:
        own = L"What stood in its place could not be removed, so it was not put there!";
        break;
    case kSyncFileInUse:
        own = L"Another program has the file open for writing, so it could not be held unchanged while it was "
              L"copied! Nothing was changed.";
        break;
    case kSyncTimeNotKept:
        own = L"The copy took its place, but its volume dropped its last-write time and it could not be set again: "
              L"the file will look modified to the next analysis!";
        break;
    case kSyncNotJournaled:
        own = L"The run's journal of its temporary files could not record the copy, so it was not made.";
        break;
    case kSyncHoldsLink:
        own = L"The folder holds a link, so it was left whole: nothing that a link leads to is ever removed.";
        break;
    case kSyncSpellingKept:
        own = L"The volume kept the earlier spelling of the name.";
        break;
    default:
        FormatSystemErrorLine(result, text);
        return;
    }
    CopyText(text, kSystemErrorUnits, own);
}

