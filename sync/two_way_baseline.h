#pragma once
// The baseline file of a two-way run (model/baseline_file.h): where it may
// lie, whether it was made for this pair and these options, its records read
// into the rows, and its rewriting at the end of the run.
#include "model/baseline_file.h"
#include "model/text_pool.h"
#include "sync/two_way_rows.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

// What the run expects of its baseline, and records in it.
struct TwoWayBaseline {
    const wchar_t* file;  // its full path
    const wchar_t* roots[2];  // LEFT's and RIGHT's full paths, each ending in a backslash
    const wchar_t* pair[2];  // the roots as the baseline names them (ReadTwoWayPairSide)
    DWORD serials[2];  // their volumes' serial numbers
    TwoWayRule rule;
    const wchar_t* const* patterns;  // the run's exclusion patterns, as held
    size_t patternCount;
    bool skipLinks;  // the run leaves links out
};

// The root's long full path without the backslash that ends it (a drive's
// root keeps it), in `path` of kPathUnits, and its volume's serial number (0
// when it cannot be read): what names a side of the pair in its baseline.
void ReadTwoWayPairSide(const wchar_t* root, wchar_t* path, DWORD* serial);

// Whether the baseline may serve this run, and if not, why.
enum TwoWayBaselineVerdict : uint8_t {
    BaselineFits,
    BaselineInsideLeft,  // synchronized with the folder it describes, it would be taken for a change of it
    BaselineInsideRight,
    BaselineOtherPair,
    BaselineOtherLeftVolume,  // a side's serial number differs
    BaselineOtherRightVolume,
    BaselineOtherRule,  // by content or not, the time window, the hour's shift
    BaselineOtherLinks,  // a link left out in one run and not in the next would read as deleted or made
    BaselineOtherPatterns,
};

// What LoadTwoWayBaseline found; zeroed, it holds nothing. Freed with FreeTwoWayBaselineRead.
struct TwoWayBaselineRead {
    TwoWayBaselineVerdict verdict;
    bool firstRun;  // no baseline was read: a first run, which deletes nothing
    bool swapped;  // the file names the pair the other way round
    BaselineHeader header;  // as the file has it, its roots in buffers of their own
    TextPool patternText;
    const wchar_t** patterns;  // the file's exclusion patterns, in patternText
    size_t patternCount;
    CatalogProblem damage;  // where the file is damaged
};

// The baseline's verdict on this run's header (its exclusion patterns apart,
// `patterns`), the pair also taken the other way round, said in `swapped`.
TwoWayBaselineVerdict CheckTwoWayBaselineHeader(const TwoWayBaseline& baseline, const BaselineHeader& header,
                                                const wchar_t* const* patterns, size_t patternCount,
                                                bool* swapped);

// Checks the file's place and, unless it is not there yet or `newBaseline`
// asks for a first run, reads it: its records into `rows` (each side's with
// its own folder, whichever way the file names the pair) when its verdict is
// BaselineFits. Returns 0 with the verdict in `read`; ERROR_INVALID_DATA with
// `read->damage` filled for a damaged file; 8; or the code of its reading.
DWORD LoadTwoWayBaseline(const TwoWayBaseline& baseline, bool newBaseline, TwoWayRows* rows,
                         TwoWayBaselineRead* read);
void FreeTwoWayBaselineRead(TwoWayBaselineRead* read);

// What the baseline records of a row after the run.
enum RowRecord : uint8_t {
    KeepRecord,  // a conflict, an unknown side, an operation not done: as the baseline had it
    RecordAsNow,  // settled: as the sides are now, read back where the run wrote
    // A kind change whose earlier kind went but whose new one did not come: the
    // target as it is now (empty), the source as recorded, so that the next
    // run takes the change across again.
    RecordEarlierKindGone,
};

// False when a run that read its baseline the way round it names the pair
// found every row as recorded and moved nothing: the file stays as it is.
bool TwoWayBaselineNeedsWriting(const TwoWayBaselineRead& read, const TwoWayRows& rows);

// Writes the baseline from the rows after the run, one RowRecord a row; a
// settled row whose sides read back apart (changed meanwhile) keeps its
// earlier record, so that the next run sees the change. `digester` reads back
// what the run wrote in a run by content; null otherwise. Returns 0, or why
// it could not be written (the file then as it was).
DWORD SaveTwoWayBaseline(const TwoWayBaseline& baseline, const TwoWayRows& rows, const RowRecord* records,
                         FileDigester* digester);
