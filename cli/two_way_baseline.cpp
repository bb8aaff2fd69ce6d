#include "cli/two_way_baseline.h"

#include "cli/console.h"
#include "cli/locations.h"
#include "model/baseline_file.h"
#include "model/location_paths.h"
#include "model/names.h"
#include "model/scan_checks.h"

#include <windows.h>

#include <algorithm>

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
    SourceEntries* entries;
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
    try {
        SourceEntry entry = {TwoWayKey(path, length), std::wstring(path, length),
                             {SideOfCatalogEntry(left), SideOfCatalogEntry(right)}};
        static_cast<Loaded*>(context)->entries->push_back(std::move(entry));
        return ERROR_SUCCESS;
    } catch (...) {
        return ERROR_NOT_ENOUGH_MEMORY;
    }
}

std::wstring Quoted(const std::vector<std::wstring>& patterns) {
    std::wstring text;
    for (const std::wstring& pattern : patterns) text += (text.empty() ? L"\"" : L" \"") + pattern + L"\"";
    return text.empty() ? L"none" : text;
}

}  // namespace

BaselineFile::BaselineFile(const Options& options, const RunExclusions& exclusions, const std::wstring (&roots)[2])
    : m_options(options), m_exclusions(exclusions), m_roots(roots) {
    m_rule.byContent = options.compareContent;
    m_rule.time = options.timeRule;
    for (int side = 0; side < 2; ++side) {
        m_pair[side] = LongPath(roots[side]);
        m_serials[side] = VolumeSerial(roots[side]);
    }
}

std::wstring BaselineFile::Refusal(const std::wstring& why) const {
    return L"refused: the baseline " + m_path + L" " + why + L"; nothing was changed";
}

std::wstring BaselineFile::Load(SourceEntries* entries) {
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
    loaded.entries = entries;
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
    return CheckHeader(reading.header, loaded.patterns);
}

std::wstring BaselineFile::CheckHeader(const BaselineHeader& header, const std::vector<std::wstring>& patterns) const {
    const std::wstring recorded[2] = {header.roots[0], header.roots[1]};
    if (!SamePath(recorded[0], m_pair[0]) || !SamePath(recorded[1], m_pair[1])) {
        const bool swapped = SamePath(recorded[0], m_pair[1]) && SamePath(recorded[1], m_pair[0]);
        return Refusal((swapped ? L"records LEFT and RIGHT the other way round: LEFT " : L"was made for another pair of folders: LEFT ") +
                       recorded[0] + L", RIGHT " + recorded[1] + L" (--new-baseline adopts folders that were moved)");
    }
    for (int side = 0; side < 2; ++side) {
        if (header.serials[side] != m_serials[side])
            return Refusal(L"was made for " + std::wstring(kSideNames[side]) +
                           L" on another volume (its serial number differs); --new-baseline adopts folders that were moved");
    }
    const uint32_t window = WindowOf(m_rule.time);
    if (header.withDigests != m_rule.byContent || header.windowSeconds != window ||
        header.ignoreHourShift != m_rule.time.ignoreHourShift)
        return Refusal(L"was made comparing files " + DescribeRule(header.withDigests, header.windowSeconds, header.ignoreHourShift) +
                       L", and this run compares them " + DescribeRule(m_rule.byContent, window, m_rule.time.ignoreHourShift));
    if (FoldedPatterns(patterns) != FoldedPatterns(m_exclusions.Patterns()))
        return Refusal(L"was made with the exclusions " + Quoted(patterns) + L", and this run has " +
                       Quoted(m_exclusions.Patterns()));
    return std::wstring();
}

std::wstring BaselineFile::Save(const TwoWayRows& rows, const std::vector<RowRecord>& records) const {
    FileDigester digester = {};
    if (m_rule.byContent && OpenFileDigester(&digester) != ERROR_SUCCESS)
        return L"the baseline could not be written: the digests cannot be made; " + m_path + L" was left as it was";
    std::vector<const wchar_t*> patterns;
    for (const std::wstring& pattern : m_exclusions.Patterns()) patterns.push_back(pattern.c_str());
    BaselineHeader header = {m_rule.byContent, WindowOf(m_rule.time), m_rule.time.ignoreHourShift,
                             {m_serials[0], m_serials[1]},
                             {const_cast<wchar_t*>(m_pair[0].c_str()), const_cast<wchar_t*>(m_pair[1].c_str())}};
    BaselineWriter writer;
    DWORD status = writer.Begin(m_path.c_str(), header, patterns.data(), patterns.size());
    for (size_t row = 0; status == ERROR_SUCCESS && row < rows.entries.size(); ++row) {
        const TwoWayEntry& entry = rows.entries[row];
        const TwoWaySide* record = entry.now;
        TwoWaySide written[2];
        const int target = TwoWayTarget(entry);
        bool keep = records[row] == KeepRecord || entry.move == TwoWayConflict || entry.move == TwoWayUnknownSide;
        if (!keep && target >= 0) {
            // What the run wrote is recorded as it reads back; the other side as the run found it, or as
            // recorded when only the earlier kind went.
            const bool half = records[row] == RecordEarlierKindGone;
            written[1 - target] = half ? entry.base[1 - target] : entry.now[1 - target];
            keep = !ReadBackSide(m_roots[target] + rows.paths[row], m_rule.byContent ? &digester : nullptr,
                                 &written[target]);
            // What reads back apart from its source changed meanwhile: the next run must see it.
            if (!keep && !half) keep = !SameTwoWaySide(written[target], written[1 - target], m_rule);
            if (!keep && half) keep = written[target].kind != TwoWayNone;
            record = written;
        }
        if (keep) record = entry.base;
        CatalogEntry sides[2];
        const bool present[2] = {CatalogEntryOfSide(record[0], &sides[0]), CatalogEntryOfSide(record[1], &sides[1])};
        if (!present[0] && !present[1]) continue;
        status = writer.Add(rows.paths[row].c_str(), rows.paths[row].size(), present[0] ? &sides[0] : nullptr,
                            present[1] ? &sides[1] : nullptr);
    }
    if (status == ERROR_SUCCESS) status = writer.Finish();
    CloseFileDigester(&digester);
    if (status == ERROR_SUCCESS) return std::wstring();
    return L"the baseline could not be written: " + SystemMessage(status) + L"; " + m_path + L" was left as it was";
}

}  // namespace cli
