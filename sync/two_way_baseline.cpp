#include "sync/two_way_baseline.h"

#include "model/exclusions.h"
#include "model/location_paths.h"
#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/scan_checks.h"

#include <cstring>
#include <cwchar>

namespace {

bool SamePath(const wchar_t* a, const wchar_t* b) { return CompareNamesIgnoringCase(a, b) == 0; }

// Whether each pattern of `some` is one of `all`.
bool PatternsAmong(const wchar_t* const* some, size_t someCount, const wchar_t* const* all, size_t allCount) {
    for (size_t index = 0; index < someCount; ++index) {
        bool found = false;
        for (size_t other = 0; !found && other < allCount; ++other) found = SameExclusionPattern(some[index], all[other]);
        if (!found) return false;
    }
    return true;
}

// What the reading of a baseline fills.
struct Reading {
    TwoWayBaselineRead* read;
    TwoWayRows* rows;
};

DWORD TakeExclusion(void* context, const wchar_t* pattern) {
    TwoWayBaselineRead* read = static_cast<Reading*>(context)->read;
    uint32_t at = 0;
    const DWORD added = TextPoolAdd(&read->patternText, pattern, wcslen(pattern), &at);
    if (added == ERROR_SUCCESS) ++read->patternCount;
    return added;
}

DWORD TakeBaselineRecord(void* context, const wchar_t* path, size_t length, const CatalogEntry* left,
                         const CatalogEntry* right) {
    const TwoWaySide sides[2] = {SideOfCatalogEntry(left), SideOfCatalogEntry(right)};
    const FileDigest* const digests[2] = {left && left->hasDigest ? &left->digest : nullptr,
                                          right && right->hasDigest ? &right->digest : nullptr};
    return TwoWayRowsAddRecord(static_cast<Reading*>(context)->rows, path, length, sides, digests);
}

TwoWayBaselineVerdict CheckPlace(const TwoWayBaseline& baseline, wchar_t* folder) {
    const wchar_t* slash = wcsrchr(baseline.file, L'\\');
    const size_t length = slash ? slash + 1 - baseline.file : 0;
    wmemcpy(folder, baseline.file, length);
    folder[length] = 0;
    for (int side = 0; side < 2; ++side) {
        if (FolderHolds(baseline.roots[side], folder)) return side ? BaselineInsideRight : BaselineInsideLeft;
    }
    return BaselineFits;
}

// The same record to the bit: what the file holds needs no rewriting.
bool SameRecord(const TwoWaySide& a, const FileDigest* digestA, const TwoWaySide& b, const FileDigest* digestB) {
    if (a.kind != b.kind) return false;
    if (a.kind == TwoWayNone) return true;
    const bool sameDigest = !digestA || !digestB || memcmp(digestA->bytes, digestB->bytes, kDigestBytes) == 0;
    return a.size == b.size && FileTimeTicks(a.time) == FileTimeTicks(b.time) && a.attributes == b.attributes &&
           a.hasDigest == b.hasDigest && sameDigest;
}

// Whether two paths end in the same name, spelt alike to the letter.
bool SameLastName(const wchar_t* a, const wchar_t* b) {
    const wchar_t* slashA = wcsrchr(a, L'\\');
    const wchar_t* slashB = wcsrchr(b, L'\\');
    return wcscmp(slashA ? slashA + 1 : a, slashB ? slashB + 1 : b) == 0;
}

// The record of one row after the run, and its paths on each side.
struct RowWriting {
    FileDigester* digester;
    wchar_t* paths[2];  // kPathUnits each
    size_t lengths[2];
    wchar_t* target;  // kPathUnits: the full path the run wrote to
};

DWORD WriteRow(const TwoWayBaseline& baseline, const TwoWayRows& rows, uint32_t row, RowRecord recorded,
               RowWriting* writing, BaselineWriter* writer) {
    const TwoWayEntry& entry = rows.entries[row];
    const TwoWayDigests* digests = rows.digests ? &rows.digests[row] : nullptr;
    const TwoWaySide* record = entry.now;
    const FileDigest* recordDigests[2] = {digests ? &digests->now[0] : nullptr, digests ? &digests->now[1] : nullptr};
    TwoWaySide written[2];
    FileDigest writtenDigests[2] = {};
    size_t* lengths = writing->lengths;
    wchar_t* const* paths = writing->paths;
    // The side the run wrote to: a copy's, a deletion's or a time's target.
    const int target = TwoWayTarget(entry) >= 0 ? TwoWayTarget(entry) : TwoWayTargetOf(entry.time);
    bool keep = recorded == KeepRecord || entry.move == TwoWayConflict || entry.move == TwoWayUnknownSide;
    // Each side's name as it is after the run, or as recorded where the record stays.
    for (int side = 0; side < 2; ++side)
        lengths[side] = TwoWayRowPath(&rows, row, side, keep ? TwoWaySpeltRecorded : TwoWaySpeltAfter, paths[side],
                                      kPathUnits);
    if (!keep && target >= 0) {
        // What the run wrote is recorded as it reads back; the other side as the run found it, or as
        // recorded when only the earlier kind went.
        const bool half = recorded == RecordEarlierKindGone;
        const int source = 1 - target;
        written[source] = half ? entry.base[source] : entry.now[source];
        if (digests) writtenDigests[source] = half ? digests->base[source] : digests->now[source];
        const size_t rootUnits = wcslen(baseline.roots[target]);
        const bool fits = lengths[target] > 0 && rootUnits + lengths[target] < kPathUnits;
        if (fits) {
            wmemcpy(writing->target, baseline.roots[target], rootUnits);
            wmemcpy(writing->target + rootUnits, paths[target], lengths[target] + 1);
        }
        keep = !fits || !ReadBackTwoWaySide(writing->target, writing->digester, &written[target],
                                            &writtenDigests[target]);
        // What reads back apart from its source changed meanwhile: the next run must see it.
        if (!keep && !half)
            keep = !SameTwoWaySide(written[target], &writtenDigests[target], written[source], &writtenDigests[source],
                                   baseline.rule);
        if (!keep && half) keep = written[target].kind != TwoWayNone;
        record = written;
        recordDigests[0] = &writtenDigests[0];
        recordDigests[1] = &writtenDigests[1];
    }
    if (keep) {
        record = entry.base;
        recordDigests[0] = digests ? &digests->base[0] : nullptr;
        recordDigests[1] = digests ? &digests->base[1] : nullptr;
        for (int side = 0; side < 2; ++side)
            lengths[side] = TwoWayRowPath(&rows, row, side, TwoWaySpeltRecorded, paths[side], kPathUnits);
    }
    CatalogEntry sides[2];
    const bool present[2] = {CatalogEntryOfSide(record[0], recordDigests[0], &sides[0]),
                             CatalogEntryOfSide(record[1], recordDigests[1], &sides[1])};
    if (!present[0] && !present[1]) return ERROR_SUCCESS;
    if (lengths[0] == 0 || lengths[1] == 0) return ERROR_FILENAME_EXCED_RANGE;
    // Sides that spell the name apart have a record each, so that the next run knows either spelling.
    if (present[0] && present[1] && !SameLastName(paths[0], paths[1])) {
        const DWORD status = writer->Add(paths[0], lengths[0], &sides[0], nullptr);
        return status == ERROR_SUCCESS ? writer->Add(paths[1], lengths[1], nullptr, &sides[1]) : status;
    }
    const int named = present[0] ? 0 : 1;
    return writer->Add(paths[named], lengths[named], present[0] ? &sides[0] : nullptr,
                       present[1] ? &sides[1] : nullptr);
}

}  // namespace

void ReadTwoWayPairSide(const wchar_t* root, wchar_t* path, DWORD* serial) {
    DWORD length = GetLongPathNameW(root, path, kPathUnits);
    if (length == 0 || length >= kPathUnits) {
        length = static_cast<DWORD>(wcslen(root));
        wmemcpy(path, root, length + 1);
    }
    if (length > 3 && path[length - 1] == L'\\') path[length - 1] = 0;
    FolderIdentity identity = {};
    *serial = ReadFolderIdentity(root, &identity) == ERROR_SUCCESS ? identity.volume : 0;
}

TwoWayBaselineVerdict CheckTwoWayBaselineHeader(const TwoWayBaseline& baseline, const BaselineHeader& header,
                                                const wchar_t* const* patterns, size_t patternCount,
                                                bool* swapped) {
    const wchar_t* const* recorded = header.roots;
    *swapped = !SamePath(recorded[0], baseline.pair[0]) && SamePath(recorded[0], baseline.pair[1]) &&
               SamePath(recorded[1], baseline.pair[0]);
    if (!*swapped && (!SamePath(recorded[0], baseline.pair[0]) || !SamePath(recorded[1], baseline.pair[1])))
        return BaselineOtherPair;
    for (int side = 0; side < 2; ++side) {
        if (header.serials[*swapped ? 1 - side : side] != baseline.serials[side])
            return side ? BaselineOtherRightVolume : BaselineOtherLeftVolume;
    }
    const TimeRule& time = baseline.rule.time;
    if (header.withDigests != baseline.rule.byContent || header.windowSeconds != WindowSecondsOf(time) ||
        header.ignoreHourShift != time.ignoreHourShift)
        return BaselineOtherRule;
    if (header.skipLinks != baseline.skipLinks) return BaselineOtherLinks;
    if (!PatternsAmong(patterns, patternCount, baseline.patterns, baseline.patternCount) ||
        !PatternsAmong(baseline.patterns, baseline.patternCount, patterns, patternCount))
        return BaselineOtherPatterns;
    return BaselineFits;
}

DWORD LoadTwoWayBaseline(const TwoWayBaseline& baseline, bool newBaseline, TwoWayRows* rows,
                         TwoWayBaselineRead* read) {
    *read = TwoWayBaselineRead{};
    read->firstRun = true;
    if (wcslen(baseline.file) >= kPathUnits) return ERROR_FILENAME_EXCED_RANGE;
    MemBlock<wchar_t> folder(kPathUnits);
    if (!folder.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    read->verdict = CheckPlace(baseline, folder.Get());
    if (read->verdict != BaselineFits) return ERROR_SUCCESS;
    const DWORD error = GetFileAttributesW(baseline.file) == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
    // Only a file that is not there makes a first run: one that cannot be read now may be there.
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return error;
    if (error == ERROR_FILE_NOT_FOUND || newBaseline) return ERROR_SUCCESS;
    read->firstRun = false;
    auto* roots = static_cast<wchar_t*>(MemAlloc(sizeof(wchar_t) * 2 * kPathUnits));
    if (!roots) return ERROR_NOT_ENOUGH_MEMORY;
    roots[0] = roots[kPathUnits] = 0;
    BaselineReading reading = {};
    reading.header.roots[0] = roots;
    reading.header.roots[1] = roots + kPathUnits;
    reading.exclusion = TakeExclusion;
    reading.entry = TakeBaselineRecord;
    Reading context = {read, rows};
    reading.context = &context;
    DWORD status = ReadBaseline(baseline.file, &reading, &read->damage);
    read->header = reading.header;
    if (status != ERROR_SUCCESS) return status;
    read->patterns = static_cast<const wchar_t**>(MemAlloc(sizeof(wchar_t*) * (read->patternCount + 1)));
    if (!read->patterns) return ERROR_NOT_ENOUGH_MEMORY;
    size_t at = 0;
    for (size_t index = 0; index < read->patternCount; ++index) {
        read->patterns[index] = TextAt(read->patternText, static_cast<uint32_t>(at));
        at += wcslen(read->patterns[index]) + 1;
    }
    read->verdict =
        CheckTwoWayBaselineHeader(baseline, read->header, read->patterns, read->patternCount, &read->swapped);
    // The records follow their folders: the rows' LEFT is this run's LEFT.
    if (read->verdict == BaselineFits && read->swapped) SwapTwoWayRecords(rows);
    return ERROR_SUCCESS;
}

void FreeTwoWayBaselineRead(TwoWayBaselineRead* read) {
    MemFree(read->header.roots[0]);
    TextPoolFree(&read->patternText);
    MemFree(read->patterns);
    *read = TwoWayBaselineRead{};
}

bool TwoWayBaselineNeedsWriting(const TwoWayBaselineRead& read, const TwoWayRows& rows) {
    if (read.firstRun || read.swapped) return true;
    for (uint32_t row = 0; row < rows.count; ++row) {
        const TwoWayEntry& entry = rows.entries[row];
        if (TwoWayTarget(entry) >= 0) return true;
        // What the run leaves alone keeps its record, as the file holds it.
        if (entry.move == TwoWayConflict || entry.move == TwoWayUnknownSide) continue;
        // A name respelt is recorded as it is spelt now.
        if (entry.spelling & (TwoWayLeftRespelt | TwoWayRightRespelt)) return true;
        const TwoWayDigests* digests = rows.digests ? &rows.digests[row] : nullptr;
        for (int side = 0; side < 2; ++side) {
            if (!SameRecord(entry.now[side], digests ? &digests->now[side] : nullptr, entry.base[side],
                            digests ? &digests->base[side] : nullptr))
                return true;
        }
    }
    return false;
}

DWORD SaveTwoWayBaseline(const TwoWayBaseline& baseline, const TwoWayRows& rows, const RowRecord* records,
                         FileDigester* digester) {
    MemBlock<wchar_t> paths(size_t(3) * kPathUnits);
    if (!paths.Get()) return ERROR_NOT_ENOUGH_MEMORY;
    RowWriting writing = {digester, {paths.Get(), paths.Get() + kPathUnits}, {}, paths.Get() + 2 * kPathUnits};
    BaselineHeader header = {baseline.rule.byContent,
                             WindowSecondsOf(baseline.rule.time),
                             baseline.rule.time.ignoreHourShift,
                             {baseline.serials[0], baseline.serials[1]},
                             {const_cast<wchar_t*>(baseline.pair[0]), const_cast<wchar_t*>(baseline.pair[1])},
                             baseline.skipLinks};
    BaselineWriter writer;
    DWORD status = writer.Begin(baseline.file, header, baseline.patterns, baseline.patternCount);
    for (uint32_t row = 0; status == ERROR_SUCCESS && row < rows.count; ++row)
        status = WriteRow(baseline, rows, row, records[row], &writing, &writer);
    return status == ERROR_SUCCESS ? writer.Finish() : status;
}
