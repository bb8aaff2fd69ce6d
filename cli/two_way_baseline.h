#pragma once
// The baseline file of the sync command: where it may lie, whether it was
// made for this pair and these options, its entries, and its rewriting at
// the end of a run.
#include "cli/arguments.h"
#include "cli/exclusion_patterns.h"
#include "model/baseline_file.h"
#include "sync/two_way_rows.h"

#include <string>
#include <vector>

namespace cli {

// What the baseline records of a row after the run.
enum RowRecord : uint8_t {
    KeepRecord,  // a conflict, an unknown side, an operation not done: as the baseline had it
    RecordAsNow,  // settled: as the sides are now, read back where the run wrote
    // A kind change whose earlier kind went but whose new one did not come: the
    // target as it is now (empty), the source as recorded, so that the next
    // run takes the change across again.
    RecordEarlierKindGone,
};

class BaselineFile {
public:
    // `roots`: LEFT and RIGHT, full paths ending in a backslash.
    BaselineFile(const Options& options, const RunExclusions& exclusions, const std::wstring (&roots)[2]);

    // Checks the file's place and, unless it is not there yet or
    // --new-baseline is given (a first run), reads its records into `rows`,
    // each side's with its own folder whichever way the baseline names the
    // pair. Returns an empty text, or the refusal: the file lies inside LEFT
    // or RIGHT, is damaged, or was made for another pair or with other options.
    std::wstring Load(TwoWayRows* rows);
    // How this run tells files apart, as the baseline records it.
    const TwoWayRule& Rule() const { return m_rule; }
    // True when no baseline was read: a first run, which deletes nothing.
    bool FirstRun() const { return m_firstRun; }
    // Records the rows after the run as `records` says; a settled row whose
    // sides read back apart (changed meanwhile) keeps its earlier record, so
    // that the next run sees the change. A run that found every row as the
    // file records it leaves the file as it is. Returns an empty text, or why it failed.
    std::wstring Save(const TwoWayRows& rows, const std::vector<RowRecord>& records) const;

private:
    std::wstring Refusal(const std::wstring& why) const;
    // Takes a header that names the pair the other way round, and says so in `swapped`.
    std::wstring CheckHeader(const BaselineHeader& header, const std::vector<std::wstring>& patterns,
                             bool* swapped) const;

    const Options& m_options;
    const RunExclusions& m_exclusions;
    const std::wstring (&m_roots)[2];
    std::wstring m_path;
    std::wstring m_pair[2];  // the roots' long full paths, without the backslash that ends them
    DWORD m_serials[2] = {};
    TwoWayRule m_rule = {};
    bool m_firstRun = true;
    bool m_swapped = false;  // the file names the pair the other way round
};

}  // namespace cli
