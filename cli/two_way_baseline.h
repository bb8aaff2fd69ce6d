#pragma once
// The baseline file of the sync command as the user sees it: the run's
// options made into what the core checks (sync/two_way_baseline.h), and each
// refusal and failure told in words.
#include "cli/arguments.h"
#include "cli/exclusion_patterns.h"
#include "sync/two_way_baseline.h"

#include <string>
#include <vector>

namespace cli {

class BaselineFile {
public:
    // `roots`: LEFT and RIGHT, full paths ending in a backslash.
    BaselineFile(const Options& options, const RunExclusions& exclusions, const std::wstring (&roots)[2]);
    ~BaselineFile() { FreeTwoWayBaselineRead(&m_read); }
    BaselineFile(const BaselineFile&) = delete;
    BaselineFile& operator=(const BaselineFile&) = delete;

    // Checks the file and reads its records into `rows` (LoadTwoWayBaseline).
    // Returns an empty text, or the refusal: the file lies inside LEFT or
    // RIGHT, is damaged, or was made for another pair or with other options.
    std::wstring Load(TwoWayRows* rows);
    // How this run tells files apart, as the baseline records it.
    const TwoWayRule& Rule() const { return m_baseline.rule; }
    // True when no baseline was read: a first run, which deletes nothing.
    bool FirstRun() const { return m_read.firstRun; }
    // Records the rows after the run (SaveTwoWayBaseline), unless the file
    // holds them already. Returns an empty text, or why it failed.
    std::wstring Save(const TwoWayRows& rows, const std::vector<RowRecord>& records) const;

private:
    std::wstring Refusal(const std::wstring& why) const;
    std::wstring Verdict() const;

    const Options& m_options;
    const RunExclusions& m_exclusions;
    std::wstring m_path;
    std::vector<wchar_t> m_pair[2];
    std::vector<const wchar_t*> m_patterns;
    TwoWayBaseline m_baseline = {};
    TwoWayBaselineRead m_read = {};
};

}  // namespace cli
