#pragma once
// What a changing command (commit, update, sync) does about temporary files:
// before its analysis it opens its own journal of them and moves aside what
// the journals of stopped runs over its folders recorded (sync/run_journal.h),
// so that no leftover is ever taken for a user's file.
#include "sync/run_journal.h"
#include "sync/synchronize_worker.h"

#include <string>

namespace cli {

class JournalledRun {
public:
    JournalledRun() = default;
    ~JournalledRun() { End(false); }
    JournalledRun(const JournalledRun&) = delete;
    JournalledRun& operator=(const JournalledRun&) = delete;

    // Opens the run's journal, then moves aside the earlier runs' leftovers
    // in `roots` and `versioningFolder` (empty for none), telling on standard
    // error those that stay. A dry run does neither. Returns an empty text,
    // or why the run cannot go on: a run without its journal makes no
    // temporary file.
    std::wstring Begin(const std::wstring (&roots)[2], const std::wstring& versioningFolder, bool dryRun);
    // Null for a dry run.
    RunJournal* Journal() { return m_journal.file ? &m_journal : nullptr; }
    // The leftovers moved aside into the summary, and those that stay among what was not done.
    void AddTo(SyncSummary* summary) const;
    // Closes the journal: deleted at once after a `clean` run, otherwise only when none of its temporary files is left.
    void End(bool clean) { RunJournalClose(&m_journal, clean); }

private:
    RunJournal m_journal = {};
    LeftoverRemoval m_removal = {};
};

}  // namespace cli
