#include "cli/two_way_baseline.h"

#include "cli/console.h"
#include "cli/locations.h"
#include "model/baseline_file.h"
#include "model/location_paths.h"
#include "model/names.h"
#include "model/scan_checks.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

namespace cli {

namespace {

// The folder's long full path without its ending backslash (a drive's root keeps it).
std::wstring LongPath(const std::wstring& folder) {
    std::vector<wchar_t> buffer(kPathUnits);
    const DWORD length = GetLongPathNameW(folder.c_str(), buffer.data(), kPathUnits);
    std::wstring path = length > 0 && length < kPathUnits ? std::wstring(buffer.data(), length) : folder;
    if (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

DWORD VolumeSerial(const std::wstring& folder) {
    FolderIdentity identity = {};
    return ReadFolderIdentity(folder.c_str(), &identity) == ERROR_SUCCESS ? identity.volume : 0;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return a.size() == b.size() && CompareNamesIgnoringCase(a.c_str(), b.c_str()) == 0;
}

// The window the rule keeps: 0 for only equal times, else at least the default.
uint32_t WindowOf(const TimeRule& rule) {
    if (rule.exact) return 0;
    return rule.windowSeconds > kDefaultTimeWindowSeconds ? rule.windowSeconds : kDefaultTimeWindowSeconds;
}

std::wstring DescribeRule(bool content, uint32_t window, bool hourShift) {
    return std::wstring(content ? L"by content" : L"by size and time") + L", a time window of " +
           std::to_wstring(window) + L" seconds" + (hourShift ? L", an hour's shift ignored" : L"");
}

// What a read baseline holds: its header's texts, its exclusions and entries.
struct Loaded {
    std::vector<wchar_t> roots[2] = {std::vector<wchar_t>(kPathUnits), std::vector<wchar_t>(kPathUnits)};
    std::vector<std::wstring> patterns;
    TwoWayRows* rows;
};

DWORD TakeBaselineExclusion(void* context, const wchar_t* pattern) {
    try {
        static_cast<Loaded*>(context)->patterns.push_back(pattern);
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

DWORD TakeBaselineEntry(void* context, const wchar_t* path, size_t length, const CatalogEntry* left,
                const CatalogEntry* right) {
    const TwoWaySide sides[2] = {SideOfCatalogEntry(left), SideOfCatalogEntry(right)};
    const FileDigest* const digests[2] = {left && left->hasDigest ? &left->digest : nullptr,
                                          right && right->hasDigest ? &right->digest : nullptr};
    return TwoWayRowsAddRecord(static_cast<Loaded*>(context)->rows, path, length, sides, digests);
}

std::wstring PatternList(const std::vector<std::wstring>& patterns) {
    std::wstring text;
    for (const std::wstring& pattern : patterns) text += (text.empty() ? L"\"" : L" \"") + pattern + L"\"";
    return text.empty() ? L"none" : text;
}

}  // namespace

BaselineFile::BaselineFile(const Options& options, const RunExclusions& exclusions, const std::wstring (&roots)[2])
    : m_options(options), m_exclusions(exclusions), m_roots(roots) {
    m_rule.byContent = options.compareContent;
    m_rule.time = options.timeRule;
    m_rule.prefer = options.prefer;
    for (int side = 0; side < 2; ++side) {
        m_pair[side] = LongPath(roots[side]);
        m_serials[side] = VolumeSerial(roots[side]);
    }
}

std::wstring BaselineFile::Refusal(const std::wstring& why) const {
    return L"refused: the baseline " + m_path + L" " + why + L"; nothing was changed";
}

std::wstring BaselineFile::Load(TwoWayRows* rows) {
    std::wstring problem;
    m_path = OwnFilePath(m_options.baseline, L"--baseline FILE", L"a baseline", &problem);
    if (m_path.empty()) return problem;
    const std::wstring folder = m_path.substr(0, m_path.rfind(L'\\') + 1);
    for (int side = 0; side < 2; ++side) {
        // Synchronized with the folder it describes, it would be taken for a change of it.
        if (FolderHolds(m_roots[side].c_str(), folder.c_str())) return Refusal(L"lies inside " + std::wstring(kSideNames[side]));
    }
    const DWORD error = GetFileAttributesW(m_path.c_str()) == INVALID_FILE_ATTRIBUTES ? GetLastError() : ERROR_SUCCESS;
    // Only a file that is not there makes a first run: one that cannot be read now may be there.
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) return Refusal(L"cannot be read: " + SystemMessage(error));
    if (error == ERROR_FILE_NOT_FOUND || m_options.newBaseline) return std::wstring();
    m_firstRun = false;
    Loaded loaded;
    loaded.rows = rows;
    BaselineReading reading = {};
    reading.header.roots[0] = loaded.roots[0].data();
    reading.header.roots[1] = loaded.roots[1].data();
    reading.exclusion = TakeBaselineExclusion;
    reading.entry = TakeBaselineEntry;
    reading.context = &loaded;
    CatalogProblem damage;
    const DWORD status = ReadBaseline(m_path.c_str(), &reading, &damage);
    if (status == ERROR_INVALID_DATA)
        return Refusal(L"is damaged: line " + std::to_wstring(damage.line) + L": " + damage.text);
    if (status != ERROR_SUCCESS) return Refusal(L"cannot be read: " + SystemMessage(status));
    problem = CheckHeader(reading.header, loaded.patterns, &m_swapped);
    // The records follow their folders: the rows' LEFT is this run's LEFT.
    if (problem.empty() && m_swapped) SwapTwoWayRecords(rows);
    return problem;
}

std::wstring BaselineFile::CheckHeader(const BaselineHeader& header, const std::vector<std::wstring>& patterns,
                                       bool* swapped) const {
    const std::wstring recorded[2] = {header.roots[0], header.roots[1]};
    *swapped = !SamePath(recorded[0], m_pair[0]) && SamePath(recorded[0], m_pair[1]) && SamePath(recorded[1], m_pair[0]);
    if (!*swapped && (!SamePath(recorded[0], m_pair[0]) || !SamePath(recorded[1], m_pair[1])))
        return Refusal(L"was made for another pair of folders: LEFT " + recorded[0] + L", RIGHT " + recorded[1] +
                       L" (--new-baseline adopts folders that were moved)");
    for (int side = 0; side < 2; ++side) {
        if (header.serials[*swapped ? 1 - side : side] != m_serials[side])
            return Refusal(L"was made for " + std::wstring(kSideNames[side]) +
                           L" on another volume (its serial number differs); --new-baseline adopts folders that were moved");
    }
    const uint32_t window = WindowOf(m_rule.time);
    if (header.withDigests != m_rule.byContent || header.windowSeconds != window ||
        header.ignoreHourShift != m_rule.time.ignoreHourShift)
        return Refusal(L"was made comparing files " + DescribeRule(header.withDigests, header.windowSeconds, header.ignoreHourShift) +
                       L", and this run compares them " + DescribeRule(m_rule.byContent, window, m_rule.time.ignoreHourShift));
    // A link left out in one run and not in the next would read as an entry deleted or made.
    const bool skipLinks = ExcludesLinks(m_exclusions.List());
    if (header.skipLinks != skipLinks)
        return Refusal(std::wstring(header.skipLinks ? L"was made with --skip-links, and this run keeps links"
                                                     : L"was made keeping links, and this run has --skip-links") +
                       L" (--new-baseline starts again)");
    if (FoldedPatterns(patterns) != FoldedPatterns(m_exclusions.Patterns()))
        return Refusal(L"was made with the exclusions " + PatternList(patterns) + L", and this run has " +
                       PatternList(m_exclusions.Patterns()));
    return std::wstring();
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

// True when every row is now as the file records it and the run moved nothing.
bool NothingToRecord(const TwoWayRows& rows) {
    for (uint32_t row = 0; row < rows.count; ++row) {
        const TwoWayEntry& entry = rows.entries[row];
        if (TwoWayTarget(entry) >= 0) return false;
        // What the run leaves alone keeps its record, as the file holds it.
        if (entry.move == TwoWayConflict || entry.move == TwoWayUnknownSide) continue;
        // A name respelt is recorded as it is spelt now.
        if (entry.spelling & (TwoWayLeftRespelt | TwoWayRightRespelt)) return false;
        const TwoWayDigests* digests = rows.digests ? &rows.digests[row] : nullptr;
        for (int side = 0; side < 2; ++side) {
            if (!SameRecord(entry.now[side], digests ? &digests->now[side] : nullptr, entry.base[side],
                            digests ? &digests->base[side] : nullptr))
                return false;
        }
    }
    return true;
}

std::wstring BaselineFile::Save(const TwoWayRows& rows, const std::vector<RowRecord>& records) const {
    // Conflicts and unknown rows keep their records anyway; rows as recorded need no new file.
    if (!m_firstRun && !m_swapped && NothingToRecord(rows)) return std::wstring();
    FileDigester digester = {};
    if (m_rule.byContent && OpenFileDigester(&digester) != ERROR_SUCCESS)
        return L"the baseline could not be written: the digests cannot be made; " + m_path + L" was left as it was";
    std::vector<const wchar_t*> patterns;
    for (const std::wstring& pattern : m_exclusions.Patterns()) patterns.push_back(pattern.c_str());
    BaselineHeader header = {m_rule.byContent, WindowOf(m_rule.time), m_rule.time.ignoreHourShift,
                             {m_serials[0], m_serials[1]},
                             {const_cast<wchar_t*>(m_pair[0].c_str()), const_cast<wchar_t*>(m_pair[1].c_str())},
                             ExcludesLinks(m_exclusions.List())};
    std::vector<wchar_t> paths[2] = {std::vector<wchar_t>(kPathUnits), std::vector<wchar_t>(kPathUnits)};
    size_t lengths[2] = {};
    BaselineWriter writer;
    DWORD status = writer.Begin(m_path.c_str(), header, patterns.data(), patterns.size());
    for (uint32_t row = 0; status == ERROR_SUCCESS && row < rows.count; ++row) {
        const TwoWayEntry& entry = rows.entries[row];
        const TwoWayDigests* digests = rows.digests ? &rows.digests[row] : nullptr;
        const TwoWaySide* record = entry.now;
        const FileDigest* recordDigests[2] = {digests ? &digests->now[0] : nullptr, digests ? &digests->now[1] : nullptr};
        TwoWaySide written[2];
        FileDigest writtenDigests[2] = {};
        // The side the run wrote to: a copy's, a deletion's or a time's target.
        const int target = TwoWayTarget(entry) >= 0 ? TwoWayTarget(entry) : TwoWayTargetOf(entry.time);
        bool keep = records[row] == KeepRecord || entry.move == TwoWayConflict || entry.move == TwoWayUnknownSide;
        // Each side's name as it is after the run, or as recorded where the record stays.
        for (int side = 0; side < 2; ++side)
            lengths[side] = TwoWayRowPath(&rows, row, side, keep ? TwoWaySpeltRecorded : TwoWaySpeltAfter,
                                          paths[side].data(), kPathUnits);
        if (!keep && target >= 0) {
            // What the run wrote is recorded as it reads back; the other side as the run found it, or as
            // recorded when only the earlier kind went.
            const bool half = records[row] == RecordEarlierKindGone;
            const int source = 1 - target;
            written[source] = half ? entry.base[source] : entry.now[source];
            if (digests) writtenDigests[source] = half ? digests->base[source] : digests->now[source];
            const std::wstring targetPath = m_roots[target] + std::wstring(paths[target].data(), lengths[target]);
            keep = lengths[target] == 0 || !ReadBackTwoWaySide(targetPath.c_str(), m_rule.byContent ? &digester : nullptr,
                                                      &written[target], &writtenDigests[target]);
            // What reads back apart from its source changed meanwhile: the next run must see it.
            if (!keep && !half)
                keep = !SameTwoWaySide(written[target], &writtenDigests[target], written[source],
                                       &writtenDigests[source], m_rule);
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
                lengths[side] = TwoWayRowPath(&rows, row, side, TwoWaySpeltRecorded, paths[side].data(), kPathUnits);
        }
        CatalogEntry sides[2];
        const bool present[2] = {CatalogEntryOfSide(record[0], recordDigests[0], &sides[0]),
                                 CatalogEntryOfSide(record[1], recordDigests[1], &sides[1])};
        if (!present[0] && !present[1]) continue;
        if (lengths[0] == 0 || lengths[1] == 0) {
            status = ERROR_FILENAME_EXCED_RANGE;
            break;
        }
        // Sides that spell the name apart have a record each, so that the next run knows either spelling.
        if (present[0] && present[1] && !SameLastName(paths[0].data(), paths[1].data())) {
            status = writer.Add(paths[0].data(), lengths[0], &sides[0], nullptr);
            if (status == ERROR_SUCCESS) status = writer.Add(paths[1].data(), lengths[1], nullptr, &sides[1]);
            continue;
        }
        const int named = present[0] ? 0 : 1;
        status = writer.Add(paths[named].data(), lengths[named], present[0] ? &sides[0] : nullptr,
                            present[1] ? &sides[1] : nullptr);
    }
    if (status == ERROR_SUCCESS) status = writer.Finish();
    CloseFileDigester(&digester);
    if (status == ERROR_SUCCESS) return std::wstring();
    return L"the baseline could not be written: " + SystemMessage(status) + L"; " + m_path + L" was left as it was";
}

}  // namespace cli
