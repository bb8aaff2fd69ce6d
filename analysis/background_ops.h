#pragma once
// The one record that the Analyze dialog and the threads of an analysis share.
#include "model/exclusions.h"
#include "model/file_times.h"
#include "model/left_out.h"
#include "model/location_tree.h"

#include <windows.h>

#include <cstdint>

struct CatalogDigests;  // model/catalog.h

const unsigned kStatusTextUnits = 2048;
const DWORD kBackgroundOpsSignature0 = 0x6B636F6E;
const DWORD kBackgroundOpsSignature1 = 0xA9206E65;

struct LocationSlot {
    LocationTree* tree;  // owned
    wchar_t rootPath[kPathUnits];  // ends in a backslash
    uint64_t commonBytes;  // sum of the smaller sizes of the common file pairs
    // Guarded by `lock`:
    wchar_t statusText[kStatusTextUnits];
    DWORD statusCode;
    DWORD elapsedMs;  // slot 0 only
    uint64_t totalBytes;  // slot 0 only
    uint64_t doneBytes;  // slot 0 only
    CRITICAL_SECTION lock;
    HANDLE cancelEvent;  // copy of the shared one, not owned
    const volatile LONG* cancelRequested;  // the shared flag
    HANDLE scanDoneEvent;  // owned, manual reset; set when the slot's scan thread ends
    DWORD scanResult;
    // Set by the worker before it starts the slot's scan thread, so that the
    // record is not released under a scan that still runs.
    BYTE scanStarted;
    // Entries the scan has listed so far, for a progress display; written by
    // the slot's scan thread with interlocked operations.
    volatile LONG foldersListed;
    volatile LONG filesListed;
    // Entries the scan left out for the exclusions, raised like the counts above.
    volatile LONG entriesExcluded;
    // Links the scan left out when the exclusions leave links out, raised likewise.
    volatile LONG linksLeftOut;
    // Compared by digests: files whose content differs under the same size and
    // time (within the time rule), the sign of damage rather than of an edit.
    // Counted in the first slot by the worker.
    uint32_t changedWithoutNewTime;
    const ExclusionList* exclusions;  // the record's, copied by the worker before the scan starts
    // Set with a tree read from a catalog before the worker starts (not
    // owned): the slot is not scanned, and in content mode its files compare
    // by the catalog's digests. Null for a folder.
    const CatalogDigests* catalog;
    // Set before the worker starts: the scan records in `leftOut` what the
    // exclusions leave out of the slot (a run that deletes it). Owned.
    bool recordLeftOut;
    LeftOutList leftOut;
    // A folder that is not there yet (a dry run of a synchronization into a
    // new folder): it stands as empty and is not scanned.
    bool absent;
};

struct BackgroundOpsData {
    LocationSlot slots[2];
    HWND notifyWindow;  // may be null: the messages then go only to the observer
    HANDLE cancelEvent;  // owned, manual reset
    // Set together with the event by RequestCancel. A scan tests it before
    // every folder entry: testing the event is a call into the system each time.
    volatile LONG cancelRequested;
    BYTE simultaneous;
    BYTE compareContent;
    TimeRule timeRule;  // without content comparison: when two times are the same (zeroed: the default)
    // Entries both scans leave out; not owned, null for none. Set after BackgroundOpsInit.
    const ExclusionList* exclusions;
    DWORD signature[2];
};

// The process's one record: all zero (invalid) at start.
extern BackgroundOpsData g_backgroundOps;

// Sets the record up from any state; the caller frees a valid record first.
// On failure everything made so far is released and the record stays invalid.
bool BackgroundOpsInit(BackgroundOpsData* data);
// Waits for every scan thread that was started, releases everything and fills
// the record with 0xFF. Does nothing to an invalid record. Always true.
bool BackgroundOpsFree(BackgroundOpsData* data);
bool BackgroundOpsIsValid(const BackgroundOpsData* data);
// Asks every thread of the analysis to stop: sets the flag, then the event.
void RequestCancel(BackgroundOpsData* data);
// Under the slot's lock: the status text (cut to 2,047 characters) and code.
void SetLocationStatus(LocationSlot* slot, const wchar_t* text, DWORD code);

// Slot 0's progress figures, copied under its lock.
struct ProgressFigures {
    DWORD elapsedMs;
    uint64_t totalBytes;
    uint64_t doneBytes;
};
ProgressFigures ReadProgress(LocationSlot* slot);

// Creates an unnamed, unsignalled event for the analysis; null on failure.
HANDLE CreateAnalysisEvent(bool manualReset);
// Makes event creation fail once `allowed` more events have been created; a
// negative value switches failures off. For tests of the failure paths.
void AnalysisEventsFailAfter(long allowed);
