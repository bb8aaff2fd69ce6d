#pragma once
// The real quillmar-cli.exe run over the two fresh locations of a SyncTest.
#include "tests/support/companion.h"
#include "tests/support/tree_snapshot.h"
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

class CliSyncTest : public SyncTest {
protected:
    // Trailing backslashes are left off the locations, as a user would type them.
    CompanionRun RunCli(const wchar_t* command, std::vector<std::wstring> options = {}) {
        options.insert(options.begin(), command);
        options.push_back(m_left.substr(0, m_left.size() - 1));
        options.push_back(m_right.substr(0, m_right.size() - 1));
        // Files of its own for each run, which no earlier run may still hold.
        TempFolder output;
        return RunCompanion(options, output);
    }

    // The dry run prints what the run then does, from the same decision, and touches nothing.
    void ExpectDryRunShowsTheRun(const wchar_t* command, const std::string& plannedSummary,
                                 const std::string& doneSummary) {
        const std::wstring& folder = m_folder.Path();
        TreeSnapshot before = SnapshotTree(folder);
        CompanionRun dry = RunCli(command, {L"--dry-run"});
        EXPECT_EQ(dry.exitCode, 0u) << dry.err;
        EXPECT_EQ(DescribeChanges(before, SnapshotTree(folder)), "");
        EXPECT_EQ(dry.err, "quillmar-cli: dry run, nothing was changed; " + plannedSummary + "\n");
        CompanionRun real = RunCli(command);
        EXPECT_EQ(real.exitCode, 0u) << real.err;
        EXPECT_EQ(real.out, dry.out);
        EXPECT_EQ(real.err, "quillmar-cli: " + doneSummary + "\n");
    }

    // The summary line that ends a run on standard error, without its prefix.
    static std::string SummaryOf(const CompanionRun& run) {
        size_t start = run.err.rfind("quillmar-cli: ");
        return start == std::string::npos ? std::string() : run.err.substr(start + 14);
    }

    TempFolder m_output;
};
