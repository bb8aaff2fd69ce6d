// A synchronization acts on the locations' own entries only, and what it
// deletes or replaces can be got back: links are never doors, replaced files
// go to the Recycle Bin, an unattended run never waits for a question, and a
// run that would empty a location is refused. Each case is the real companion
// over real folders, with a snapshot of everything around the two locations.
#include "tests/cli/companion_output.h"
#include "tests/support/unix_side.h"
#include "tests/sync/cli_sync.h"

#include <gtest/gtest.h>

namespace {

class OwnEntriesTest : public CliSyncTest {
protected:
    void SetUp() override {
        CliSyncTest::SetUp();
        m_unix = UnixPathOf(m_folder.Path());
        if (m_unix.empty()) GTEST_SKIP() << "the Linux side is not reachable";
        // Outside both locations, beside them; and one file both share, so that no row empties a location.
        Shell("mkdir outside && echo outside > outside/o.txt && echo kept > outside/f.txt");
        FileInBoth(L"same.txt");
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"XDG_DATA_HOME", nullptr);
        CliSyncTest::TearDown();
        if (!m_unix.empty()) EXPECT_TRUE(RemoveUnixTree(m_folder.Path()));
    }
    // Runs a script in the folder that holds left, right and outside.
    void Shell(const std::string& script) {
        ASSERT_EQ(RunUnixShell("cd " + ShellQuote(m_unix) + " || exit 9\n" + script), 0) << script;
    }
    // Runs the companion and checks that nothing changed anywhere around the locations but `changes`.
    CompanionRun RunAndCompare(const wchar_t* command, const std::vector<std::wstring>& options,
                               const std::string& changes) {
        TreeSnapshot before = SnapshotTree(m_folder.Path());
        CompanionRun run = RunCli(command, options);
        EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), changes) << run.err;
        for (const std::wstring& log : NamedLogs(run.err)) DeleteFileW(log.c_str());
        return run;
    }

    std::string m_unix;
};

// Each row: links made in L or R, and the run. Nothing changes anywhere: the
// links are Unknown, and what a hidden file link stands for is refused.
TEST_F(OwnEntriesTest, LinksAreEntriesOfTheirOwnAndNeverDoors) {
    const struct {
        const char* name;
        const char* script;
        const wchar_t* command;
    } kRows[] = {
        {"folder link to outside in RIGHT, commit", "ln -s ../outside right/ext", L"commit"},
        {"folder link to outside in LEFT, update", "ln -s ../outside left/ext", L"update"},
        {"file link onto which a newer file would be copied", "ln -s ../outside/f.txt right/f.txt && echo newer > left/f.txt "
                                                             "&& touch -d 2031-01-01 left/f.txt", L"commit"},
        {"file link that would be deleted", "ln -s ../outside/f.txt right/g.txt", L"commit"},
        {"file link from which a copy would read", "ln -s ../outside/f.txt left/h.txt", L"commit"},
        {"folder link to a folder of the same location", "mkdir left/real right/real && echo r > left/real/r.txt && "
                                                         "cp -p left/real/r.txt right/real/ && ln -s real right/alias", L"commit"},
        {"folder link to the other location", "ln -s ../left right/left", L"commit"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        Shell(row.script);
        CompanionRun run = RunAndCompare(row.command, {}, "");
        // Not all is as asked: what was left alone is told in the status.
        EXPECT_EQ(run.exitCode, 1u) << run.err;
        Shell("find left right -type l -delete && rm -rf left/real right/real left/f.txt left/h.txt");
    }
}

// A replaced file's earlier version is in the Recycle Bin, and the copy is a
// new file, so the other name of a hard link keeps its content; a second run
// finds nothing to do.
TEST_F(OwnEntriesTest, ReplacedFilesGoToTheRecycleBinAndHardLinksKeepTheirOtherNames) {
    const struct {
        const wchar_t* command;
        int current;
    } kRows[] = {{L"commit", 0}, {L"update", 1}};
    for (const auto& row : kRows) {
        SCOPED_TRACE(Utf8(row.command));
        const std::string target = row.current == 0 ? "right" : "left";
        const std::string model = row.current == 0 ? "left" : "right";
        const std::string name = "a-" + std::string(row.current == 0 ? "commit" : "update") + ".txt";
        Shell("echo earlier > " + target + "/" + name + " && ln " + target + "/" + name + " " + target + "/b.txt && " +
              "echo newer > " + model + "/" + name + " && touch -d 2031-01-01 " + model + "/" + name +
              " && cp -p " + target + "/b.txt " + model + "/b.txt");
        const std::wstring wide(name.begin(), name.end());
        const std::wstring targetRoot = Root(1 - row.current);
        CompanionRun run = RunAndCompare(row.command, {}, "changed: " + target + "\\" + name + "\n");
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        EXPECT_NE(run.err.find("files copied 1 (1 replaced)"), std::string::npos) << run.err;
        EXPECT_EQ(ReadFileBytes(targetRoot + wide), "newer\n");
        EXPECT_EQ(ReadFileBytes(targetRoot + L"b.txt"), "earlier\n");
        EXPECT_TRUE(InRecycleBin(wide, targetRoot));
        EXPECT_EQ(RunAndCompare(row.command, {}, "").err.find("files copied 0"), 14u);
        Shell("rm -f left/a-*.txt right/a-*.txt left/b.txt right/b.txt");
    }
}

// With no Recycle Bin to take them, an unattended run leaves the files and says
// so, unless it is told to delete for good; it never waits for an answer.
TEST_F(OwnEntriesTest, WithoutARecycleBinNothingIsDeletedOrReplacedUnlessAskedFor) {
    // A trash folder that cannot be made: the shell cannot move anything to the Recycle Bin.
    Shell("mkdir nobin && touch nobin/Trash");
    ASSERT_TRUE(SetEnvironmentVariableW(L"XDG_DATA_HOME", Wide(m_unix + "nobin").c_str()));
    const struct {
        std::vector<std::wstring> options;
        DWORD status;
        const char* changes;
    } kRows[] = {
        {{}, 1, ""},
        {{L"--delete-without-recycle-bin"}, 0, "gone: right\\missing.txt\nchanged: right\\modified.txt\n"},
    };
    for (const auto& row : kRows) {
        File(0, L"modified.txt", "left", kTime + 10000000);
        File(1, L"modified.txt", "right");
        File(1, L"missing.txt", "right only");
        CompanionRun run = RunAndCompare(L"commit", row.options, row.changes);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        if (row.status != 0) {
            EXPECT_NE(run.err.find(": The file could not be moved to the Recycle Bin, so it was not deleted!"),
                      std::string::npos) << run.err;
            EXPECT_NE(run.err.find(": The file to be replaced could not be moved to the Recycle Bin, so it was not "
                                   "replaced!"),
                      std::string::npos) << run.err;
        }
    }
}

// A run that would delete every entry of the location made to match, or more
// than --max-delete, is refused before anything changes.
TEST_F(OwnEntriesTest, RunsThatDeleteTooMuchAreRefused) {
    Shell("rm left/same.txt && mkdir right/sub && echo x > right/sub/x.txt");
    const struct {
        const wchar_t* command;
        std::vector<std::wstring> options;
        DWORD status;
        const char* refusal;  // null when the run goes on
    } kRows[] = {
        {L"commit", {L"--dry-run"}, 2, "every file and folder of RIGHT, 3 in all"},
        {L"commit", {L"--max-delete", L"2", L"--allow-delete-all"}, 2, "delete 3 files and folders from RIGHT, "
                                                                        "more than --max-delete 2"},
        {L"update", {L"--max-delete", L"0"}, 0, nullptr},  // LEFT is empty: nothing to delete there
        {L"commit", {L"--max-delete", L"3"}, 2, "every file and folder of RIGHT"},
        {L"commit", {L"--max-delete", L"3", L"--allow-delete-all"}, 0, nullptr},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(Utf8(row.command) + " " + std::to_string(row.options.size()));
        const bool deletes = row.command == std::wstring(L"commit") && !row.refusal;
        const bool restores = row.command == std::wstring(L"update");
        std::string changes = deletes ? "gone: right\\same.txt\ngone: right\\sub\\\ngone: right\\sub\\x.txt\n" : "";
        if (restores) changes = "appeared: left\\same.txt\nappeared: left\\sub\\\nappeared: left\\sub\\x.txt\n";
        CompanionRun run = RunAndCompare(row.command, row.options, changes);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        if (row.refusal) EXPECT_NE(run.err.find(row.refusal), std::string::npos) << run.err;
        if (restores) Shell("rm -r left/same.txt left/sub");
    }
}


// --delete-excluded acts on files and emptied folders only: a link that a
// pattern matches, or one in an excluded folder, is never followed nor removed,
// names with a case twin are left alone, and so are the folders that hold them.
// A file link that the system lists as a plain file is caught by the check
// before the deletion, and told.
TEST_F(OwnEntriesTest, DeleteExcludedLeavesLinksAndTwinsAlone) {
    const struct {
        const char* name;
        const char* script;
        std::vector<std::wstring> options;
        const char* changes;
        DWORD status;
        const char* says;
    } kRows[] = {
        {"an excluded folder link to outside", "ln -s ../outside right/ext.tmp", {}, "", 0, "removed 0; not done 0;"},
        {"an excluded file link to outside", "ln -s ../outside/f.txt right/g.tmp", {}, "", 1,
         "g.tmp: The item is a link to another place"},
        {"a link in an excluded folder, beside a file",
         "mkdir right/c.tmp && echo in > right/c.tmp/in.txt && ln -s ../../outside right/c.tmp/ext", {},
         "gone: right\\c.tmp\\in.txt\n", 0,
         "deleted 1; folders created 0, removed 0; not done 0; folders kept for what the exclusions leave out in "
         "them 1;"},
        {"names with a case twin in an excluded folder",
         "mkdir right/d.tmp && echo a > right/d.tmp/A.txt && echo b > right/d.tmp/a.txt", {}, "", 0,
         "deleted 0; folders created 0, removed 0; not done 0; folders kept for what the exclusions leave out in "
         "them 1;"},
        {"with --skip-links, links a pattern matches and links none does",
         "ln -s ../outside right/l.tmp && ln -s ../outside right/plain", {L"--skip-links"}, "", 0,
         "removed 0; not done 0; excluded 1; links left out 1"},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        Shell(row.script);
        std::vector<std::wstring> options = {L"--delete-excluded", L"--exclude", L"*.tmp"};
        options.insert(options.end(), row.options.begin(), row.options.end());
        CompanionRun run = RunAndCompare(L"commit", options, row.changes);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        Shell("find left right -type l -delete && rm -rf right/c.tmp right/d.tmp");
    }
}

}  // namespace
