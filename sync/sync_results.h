#pragma once
// What became of one file operation of a synchronization: 0, a system code,
// or one of the worker's own codes below, each with a text for the user.
#include <windows.h>

// Results of a file operation of the worker's own, beside the system's codes
// (bit 29 marks codes that an application defines).
const DWORD kSyncRefusedTooLong = 0x20000001;
const DWORD kSyncChangedSinceAnalysis = 0x20000002;
const DWORD kSyncNoRoomOnTarget = 0x20000003;
const DWORD kSyncNotCarriedOut = 0x20000004;
const DWORD kSyncCopyIncomplete = 0x20000005;
// Not done in a batch that the shell reported as failed or cancelled.
const DWORD kSyncStoppedByShell = 0x20000007;
// Not yet decided: the operation is still to run.
const DWORD kSyncPending = 0x20000006;
// The file could not go to the Recycle Bin, and was not deleted for good.
const DWORD kSyncNotRecycled = 0x20000008;
// The file to be replaced could not go to the Recycle Bin, so nothing was copied over it.
const DWORD kSyncReplacedNotRecycled = 0x20000009;
// The copy left its target as it was.
const DWORD kSyncTargetUntouched = 0x2000000A;
// The run was canceled before the operation was done.
const DWORD kSyncCancelled = 0x2000000B;
// Read back, the copy differed from its source.
const DWORD kSyncCopyDiffers = 0x2000000C;
// The source changed while it was copied: the copy may be of neither version.
const DWORD kSyncSourceChangedDuringCopy = 0x2000000D;
// A file was made under the target's name while the copy was made.
const DWORD kSyncNameTaken = 0x2000000E;
// A folder stands where the copy was to make a file: one that the exclusions
// left out of the analysis, or one made since.
const DWORD kSyncExcludedFolderInTheWay = 0x20000011;
const DWORD kSyncFolderInTheWay = 0x20000012;
// The run stopped before it began: its copies did not fit on their target volume.
const DWORD kSyncRunStoppedForRoom = 0x20000017;
// A folder on the way became a link (or was moved) since the analysis:
// nothing is written, renamed, moved aside or deleted through it.
const DWORD kSyncFolderBecameLink = 0x20000018;
// The folder to remove holds only entries that the exclusions leave out (or
// folders that do): it stays, as the user's exclusions ask, and that is no failure.
const DWORD kSyncKeptForExcluded = 0x20000019;
// Waits for another operation of the run to take away what stands in its place.
const DWORD kSyncWaiting = 0x20000013;
// What stood in its place (a file where a folder was to be made, or the
// reverse) could not be taken away, so it was not put there.
const DWORD kSyncEarlierKindStays = 0x20000014;
// The file could not go to the versioning folder, and was not deleted.
const DWORD kSyncNotVersioned = 0x2000000F;
// The file to be replaced could not go to the versioning folder, so nothing was copied over it.
const DWORD kSyncReplacedNotVersioned = 0x20000010;
// Another program has the file open for writing, so it could not be held
// unchanged while it was copied: nothing was copied over or removed.
const DWORD kSyncFileInUse = 0x20000015;
// The copy took its place, but its volume dropped its last-write time at the
// rename and the time could not be set again.
const DWORD kSyncTimeNotKept = 0x20000016;
// An earlier run's folder in the versioning folder holds a link, so it was left whole.
const DWORD kSyncHoldsLink = 0x2000001A;
// The rename was made, but the volume kept the name's earlier spelling.
const DWORD kSyncSpellingKept = 0x2000001C;
// The run's journal of its temporary files could not take the file's record,
// so the file was not made: no temporary file is made unrecorded.
const DWORD kSyncNotJournaled = 0x2000001E;

// Why a text cannot be shown for the result: the worker's own texts for its
// codes, the system's message for the others, in `text` of kSystemErrorUnits.
void DescribeSyncResult(DWORD result, wchar_t* text);
