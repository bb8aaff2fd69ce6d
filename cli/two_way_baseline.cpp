#include "cli/two_way_baseline.h"

#include "cli/console.h"
#include "cli/locations.h"
#include "model/location_tree.h"

#include <windows.h>

namespace cli {

namespace {

std::wstring DescribeRule(bool content, uint32_t window, bool hourShift) {
    return std::wstring(content ? L"by content" : L"by size and time") + L", a time window of " +
           std::to_wstring(window) + L" seconds" + (hourShift ? L", an hour's shift ignored" : L"");
}

std::wstring PatternList(const wchar_t* const* patterns, size_t count) {
    std::wstring text;
    for (size_t index = 0; index < count; ++index) text += (text.empty() ? L"\"" : L" \"") + std::wstring(patterns[index]) + L"\"";
    return text.empty() ? L"none" : text;
}

}  // namespace

BaselineFile::BaselineFile(const Options& options, const RunExclusions& exclusions, const std::wstring (&roots)[2])
    : m_options(options), m_exclusions(exclusions) {
    m_read.firstRun = true;
    m_baseline.rule.byContent = options.compareContent;
    m_baseline.rule.time = options.timeRule;
    m_baseline.rule.prefer = options.prefer;
    for (int side = 0; side < 2; ++side) {
        m_pair[side].resize(kPathUnits);
        ReadTwoWayPairSide(roots[side].c_str(), m_pair[side].data(), &m_baseline.serials[side]);
        m_baseline.roots[side] = roots[side].c_str();
        m_baseline.pair[side] = m_pair[side].data();
    }
    for (const std::wstring& pattern : exclusions.Patterns()) m_patterns.push_back(pattern.c_str());
    m_baseline.patterns = m_patterns.data();
    m_baseline.patternCount = m_patterns.size();
    m_baseline.skipLinks = ExcludesLinks(exclusions.List());
}

std::wstring BaselineFile::Refusal(const std::wstring& why) const {
    return L"refused: the baseline " + m_path + L" " + why + L"; nothing was changed";
}

std::wstring BaselineFile::Load(TwoWayRows* rows) {
    std::wstring problem;
    m_path = OwnFilePath(m_options.baseline, L"--baseline FILE", L"a baseline", &problem);
    if (m_path.empty()) return problem;
    m_baseline.file = m_path.c_str();
    const DWORD status = LoadTwoWayBaseline(m_baseline, m_options.newBaseline, rows, &m_read);
    if (status == ERROR_INVALID_DATA)
        return Refusal(L"is damaged: line " + std::to_wstring(m_read.damage.line) + L": " + m_read.damage.text);
    if (status != ERROR_SUCCESS) return Refusal(L"cannot be read: " + SystemMessage(status));
    return Verdict();
}

std::wstring BaselineFile::Verdict() const {
    const BaselineHeader& header = m_read.header;
    const uint32_t window = WindowSecondsOf(m_baseline.rule.time);
    switch (m_read.verdict) {
    case BaselineFits:
        return std::wstring();
    case BaselineInsideLeft:
    case BaselineInsideRight:
        return Refusal(L"lies inside " + std::wstring(kSideNames[m_read.verdict == BaselineInsideRight]));
    case BaselineOtherPair:
        return Refusal(L"was made for another pair of folders: LEFT " + std::wstring(header.roots[0]) + L", RIGHT " +
                       header.roots[1] + L" (--new-baseline adopts folders that were moved)");
    case BaselineOtherLeftVolume:
    case BaselineOtherRightVolume:
        return Refusal(L"was made for " + std::wstring(kSideNames[m_read.verdict == BaselineOtherRightVolume]) +
                       L" on another volume (its serial number differs); --new-baseline adopts folders that were moved");
    case BaselineOtherRule:
        return Refusal(L"was made comparing files " +
                       DescribeRule(header.withDigests, header.windowSeconds, header.ignoreHourShift) +
                       L", and this run compares them " +
                       DescribeRule(m_baseline.rule.byContent, window, m_baseline.rule.time.ignoreHourShift));
    case BaselineOtherLinks:
        return Refusal(std::wstring(header.skipLinks ? L"was made with --skip-links, and this run keeps links"
                                                     : L"was made keeping links, and this run has --skip-links") +
                       L" (--new-baseline starts again)");
    case BaselineOtherPatterns:
        return Refusal(L"was made with the exclusions " + PatternList(m_read.patterns, m_read.patternCount) +
                       L", and this run has " + PatternList(m_baseline.patterns, m_baseline.patternCount));
    }
    return std::wstring();
}

std::wstring BaselineFile::Save(const TwoWayRows& rows, const std::vector<RowRecord>& records) const {
    // Conflicts and unknown rows keep their records anyway; rows as recorded need no new file.
    if (!TwoWayBaselineNeedsWriting(m_read, rows)) return std::wstring();
    FileDigester digester = {};
    if (m_baseline.rule.byContent && OpenFileDigester(&digester) != ERROR_SUCCESS)
        return L"the baseline could not be written: the digests cannot be made; " + m_path + L" was left as it was";
    const DWORD status =
        SaveTwoWayBaseline(m_baseline, rows, records.data(), m_baseline.rule.byContent ? &digester : nullptr);
    CloseFileDigester(&digester);
    if (status == ERROR_SUCCESS) return std::wstring();
    return L"the baseline could not be written: " + SystemMessage(status) + L"; " + m_path + L" was left as it was";
}

}  // namespace cli
