// The console companion's commit and update: the real quillmar-cli.exe over real folders.
#include "tests/cli/companion_output.h"
#include "tests/support/tree_snapshot.h"
#include "tests/sync/cli_sync.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST_F(CliSyncTest, CommitPrintsEveryOperationAndLeavesNoDifference) {
    File(0, L"new.txt", "new");
    File(0, L"modified.txt", "left", kTime + 10000000);
    File(1, L"modified.txt", "right");
    File(0, L"fresh\\inner.txt");
    Folder(1, L"gone\\deeper");
    CompanionRun run = RunCli(L"commit");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(run.err, "quillmar-cli: files copied 3 (1 replaced), deleted 0; folders created 1, removed 2; not done 0\n");
    // In the order they were carried out: folders made, files copied, folders removed.
    std::string expected = "mkdir\t" + Utf8(m_right + L"fresh") + "\ncopy\t" + Utf8(m_left + L"fresh\\inner.txt") +
                           "\t" + Utf8(m_right + L"fresh\\inner.txt") + "\ncopy\t" + Utf8(m_left + L"modified.txt") +
                           "\t" + Utf8(m_right + L"modified.txt") + "\ncopy\t" + Utf8(m_left + L"new.txt") + "\t" +
                           Utf8(m_right + L"new.txt") + "\nrmdir\t" + Utf8(m_right + L"gone\\deeper") + "\nrmdir\t" +
                           Utf8(m_right + L"gone") + "\n";
    EXPECT_EQ(run.out, expected);
    EXPECT_EQ(Differences(), std::vector<std::wstring>());
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "left");
}

// A path as a JSON string's content.
std::string JsonPath(const std::wstring& path) {
    std::string text;
    for (char c : Utf8(path)) text += c == '\\' ? std::string("\\\\") : std::string(1, c);
    return text;
}

TEST_F(CliSyncTest, JsonRecordsShowThePlanAndThenEachOperationsOutcome) {
    File(0, L"new.txt", "new");
    File(0, L"modified.txt", "left", kTime + 10000000);
    File(1, L"modified.txt", "right");
    File(1, L"gone.txt");
    File(0, L"held.txt", "held");
    const auto record = [&](const char* operation, const char* kind, const wchar_t* name, const char* reason,
                            const char* outcome) {
        const bool copy = std::string(operation) == "copy";
        return std::string("{\"record\":\"operation\",\"operation\":\"") + operation + "\",\"kind\":\"" + kind +
               "\",\"source\":" + (copy ? "\"" + JsonPath(m_left + name) + "\"" : std::string("null")) +
               ",\"target\":\"" + JsonPath(m_right + name) + "\",\"to\":\"right\",\"reason\":\"" + reason +
               "\",\"outcome\":\"" + outcome + "\"";
    };
    TreeSnapshot before = SnapshotTree(m_folder.Path());
    CompanionRun dry = RunCli(L"commit", {L"--dry-run", L"--json"});
    EXPECT_EQ(dry.exitCode, 0u) << dry.err;
    EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
    EXPECT_EQ(dry.out, record("delete", "delete-file", L"gone.txt", "missing", "planned") + "}\n" +
                           record("copy", "copy-new", L"held.txt", "new", "planned") + "}\n" +
                           record("copy", "replace", L"modified.txt", "modified", "planned") + "}\n" +
                           record("copy", "copy-new", L"new.txt", "new", "planned") + "}\n" +
                           "{\"record\":\"summary\",\"dry-run\":true,\"copied\":3,\"replaced\":1,\"deleted\":1,"
                           "\"created\":0,\"removed\":0,\"not-done\":0}\n");
    // Held without sharing, the file cannot be copied: its record says so and why.
    HANDLE held = CreateFileW((m_left + L"held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CompanionRun real = RunCli(L"commit", {L"--json"});
    CloseHandle(held);
    EXPECT_EQ(real.exitCode, 1u) << real.err;
    const std::string notDone = record("copy", "copy-new", L"held.txt", "new", "not-done") + ",\"why\":\"";
    ASSERT_NE(real.out.find(notDone), std::string::npos) << real.out;
    const size_t heldEnd = real.out.find("\"}\n", real.out.find(notDone));
    EXPECT_EQ(real.out.substr(0, real.out.find(notDone)) + real.out.substr(heldEnd + 3),
              record("delete", "delete-file", L"gone.txt", "missing", "done") + "}\n" +
                  record("copy", "replace", L"modified.txt", "modified", "done") + "}\n" +
                  record("copy", "copy-new", L"new.txt", "new", "done") + "}\n" +
                  "{\"record\":\"summary\",\"dry-run\":false,\"copied\":2,\"replaced\":1,\"deleted\":1,"
                  "\"created\":0,\"removed\":0,\"not-done\":1}\n");
    EXPECT_EQ(ReadFileBytes(m_right + L"modified.txt"), "left");
    EXPECT_FALSE(Exists(m_right + L"held.txt"));
}

// A folder to remove that holds only what the exclusions leave out (or folders
// that do) stays, quietly: no trouble told, the status 0, and the summary counts
// it, run after run.
TEST_F(CliSyncTest, FoldersHoldingOnlyExcludedEntriesAreKeptQuietly) {
    File(0, L"kept.txt");
    File(1, L"kept.txt");
    File(1, L"build\\x.o");
    File(1, L"a\\b\\c.o");
    File(1, L"a\\b\\d.o");
    const TreeSnapshot before = SnapshotTree(m_right);
    for (int run = 0; run < 2; ++run) {
        const CompanionRun commit = RunCli(L"commit", {L"--exclude", L"*.o"});
        EXPECT_EQ(commit.exitCode, 0u) << commit.err;
        EXPECT_EQ(commit.err.find("not empty"), std::string::npos) << commit.err;
        EXPECT_EQ(SummaryOf(commit), "files copied 0 (0 replaced), deleted 0; folders created 0, removed 0; not done 0; "
                                     "folders kept for what the exclusions leave out in them 3; excluded 3\n");
        EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_right)), "");
    }
    // Without the exclusions the same folders are the user's to remove, and go with what they hold.
    const CompanionRun plain = RunCli(L"commit");
    EXPECT_EQ(plain.exitCode, 0u) << plain.err;
    EXPECT_EQ(SnapshotTree(m_right), SnapshotTree(m_left));
}

// The paths a snapshot holds, a folder's ending in a backslash.
std::vector<std::wstring> PathsOf(const TreeSnapshot& snapshot) {
    std::vector<std::wstring> paths;
    for (const auto& [path, content] : snapshot) paths.push_back(path);
    return paths;
}

// The Recycle Bin's items deleted from below `root` since `before`, by their paths below it, sorted.
std::vector<std::wstring> NewlyBinned(std::vector<std::wstring> before, const std::wstring& root) {
    std::vector<std::wstring> binned;
    for (const std::wstring& entry : RecycleBinEntries()) {
        if (_wcsnicmp(entry.c_str(), root.c_str(), root.size()) != 0) continue;
        // A path deleted before as well is there once more.
        const auto earlier = std::find(before.begin(), before.end(), entry);
        if (earlier != before.end()) {
            before.erase(earlier);
        } else {
            binned.push_back(entry.substr(root.size()));
        }
    }
    std::sort(binned.begin(), binned.end());
    return binned;
}

// --delete-excluded deletes what the patterns leave out of the folder made to
// match, there only and under the guards of any deletion; without it all of it
// stays. Each row runs over the same pair: both folders, the versioning folder
// and the Recycle Bin are looked at after it.
TEST_F(CliSyncTest, DeleteExcludedRemovesWhatThePatternsLeaveOutOfTheTargetOnly) {
    const std::vector<std::wstring> kDeletedFiles = {L"cache\\a.bin", L"cache\\sub\\b.bin", L"gone\\deep\\x.tmp",
                                                     L"gone\\drop.txt", L"gone\\keep.tmp", L"keep\\y.tmp",
                                                     L"top.tmp"};
    const std::vector<std::wstring> kEveryTargetPath = {
        L"cache\\", L"cache\\a.bin", L"cache\\sub\\", L"cache\\sub\\b.bin", L"gone\\", L"gone\\deep\\",
        L"gone\\deep\\x.tmp", L"gone\\drop.txt", L"gone\\keep.tmp", L"keep\\", L"keep\\both.txt", L"keep\\y.tmp",
        L"same.txt", L"top.tmp"};
    const std::vector<std::wstring> kMatched = {L"keep\\", L"keep\\both.txt", L"same.txt"};
    std::vector<std::wstring> kKeptWithout = kEveryTargetPath;
    kKeptWithout.erase(std::find(kKeptWithout.begin(), kKeptWithout.end(), L"gone\\drop.txt"));
    const std::string kAllDeleted = "files copied 0 (0 replaced), deleted 7; folders created 0, removed 4; not done 0; "
                                    "excluded 7";
    const struct {
        const char* name;
        const wchar_t* command;
        std::vector<std::wstring> options;
        DWORD status;
        std::string says;  // on standard error
        std::vector<std::wstring> targetAfter;
        std::vector<std::wstring> binned;  // below the target, sorted
        bool versioned;  // every deleted file is in the versioning folder
    } kRows[] = {
        {"without the option the excluded entries and their folders stay", L"commit", {L"--max-delete", L"3"}, 0,
         "quillmar-cli: files copied 0 (0 replaced), deleted 1; folders created 0, removed 0; not done 0; "
         "folders kept for what the exclusions leave out in them 2; excluded 7\n",
         kKeptWithout, {L"gone\\drop.txt"}, false},
        {"commit deletes them from RIGHT to the Recycle Bin", L"commit",
         {L"--delete-excluded", L"--max-delete", L"11"}, 0, "quillmar-cli: " + kAllDeleted + "\n", kMatched,
         kDeletedFiles, false},
        {"update deletes them from LEFT to the versioning folder", L"update",
         {L"--delete-excluded", L"--backup-dir", L"versions"}, 0, kAllDeleted + "; earlier versions in <", kMatched,
         {}, true},
        {"a dry run lists them with their reason and changes nothing", L"commit",
         {L"--delete-excluded", L"--dry-run", L"--json"}, 0,
         "quillmar-cli: dry run, nothing was changed; files to copy 0 (0 to replace), to delete 7; folders to create "
         "0, to remove 4; would not be done 0; excluded 7\n",
         kEveryTargetPath, {}, false},
        {"--max-delete counts them", L"commit", {L"--delete-excluded", L"--max-delete", L"10"}, 2,
         "refused: the run would delete 11 files and folders from RIGHT, more than --max-delete 10; nothing was "
         "changed",
         kEveryTargetPath, {}, false},
    };
    for (const auto& row : kRows) {
        SCOPED_TRACE(row.name);
        const int target = std::wstring(row.command) == L"commit" ? 1 : 0;
        FileInBoth(L"same.txt");
        FileInBoth(L"keep\\both.txt");
        File(1 - target, L"new.tmp");
        File(1 - target, L"cache\\source.bin");
        for (const std::wstring& path : kDeletedFiles) File(target, path, "deleted " + Utf8(path));
        ASSERT_EQ(PathsOf(SnapshotTree(Root(target))), kEveryTargetPath);
        const TreeSnapshot sourceBefore = SnapshotTree(Root(1 - target));
        const TreeSnapshot targetBefore = SnapshotTree(Root(target));
        const std::vector<std::wstring> binBefore = RecycleBinEntries();
        std::vector<std::wstring> options = row.options;
        for (std::wstring& option : options)
            if (option == L"versions") option = m_folder.PathOf(L"versions");
        options.insert(options.end(), {L"--exclude", L"*.tmp", L"--exclude", L"cache\\"});
        const CompanionRun run = RunCli(row.command, options);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        // The other folder's excluded entries, and all else there, stay as they were; what stays of the target too.
        EXPECT_EQ(DescribeChanges(sourceBefore, SnapshotTree(Root(1 - target))), "");
        const TreeSnapshot targetAfter = SnapshotTree(Root(target));
        EXPECT_EQ(PathsOf(targetAfter), row.targetAfter);
        for (const auto& [path, content] : targetAfter) EXPECT_EQ(content, targetBefore.at(path)) << Utf8(path);
        // Each file deleted went where deleted files go, whole, under its path.
        EXPECT_EQ(NewlyBinned(binBefore, Root(target)), row.binned);
        TreeSnapshot versions;
        if (Exists(m_folder.PathOf(L"versions"))) {
            const TreeSnapshot runs = SnapshotTree(m_folder.PathOf(L"versions\\"));
            ASSERT_FALSE(runs.empty());
            versions = SnapshotTree(m_folder.PathOf(L"versions\\") + runs.begin()->first);
        }
        for (const std::wstring& path : kDeletedFiles) {
            EXPECT_EQ(versions.count(path) ? versions[path] : std::string("(none)"),
                      row.versioned ? targetBefore.at(path) : std::string("(none)"))
                << Utf8(path);
        }
        if (options[2] == L"--json") {
            EXPECT_NE(run.out.find("{\"record\":\"operation\",\"operation\":\"delete\",\"kind\":\"delete-file\","
                                   "\"source\":null,\"target\":\"" + JsonPath(m_right + L"top.tmp") +
                                   "\",\"to\":\"right\",\"reason\":\"excluded\",\"outcome\":\"planned\"}\n"),
                      std::string::npos)
                << run.out;
        }
        for (int side = 0; side < 2; ++side) {
            RemoveFolderTree(Root(side));
            CreateDirectoryW(Root(side).c_str(), nullptr);
        }
        RemoveFolderTree(m_folder.PathOf(L"versions\\"));
    }
}

TEST_F(CliSyncTest, UpdateRestoresTheCurrentLocation) {
    FileInBoth(L"same.txt");
    File(1, L"restored.txt", "restored");
    File(0, L"extra.txt");
    Folder(0, L"busy");
    CompanionRun run = RunCli(L"update");
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ReadFileBytes(m_left + L"restored.txt"), "restored");
    EXPECT_FALSE(Exists(m_left + L"extra.txt"));
    EXPECT_FALSE(Exists(m_left + L"busy"));
    EXPECT_NE(run.out.find("delete\t" + Utf8(m_left + L"extra.txt") + "\n"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("rmdir\t" + Utf8(m_left + L"busy") + "\n"), std::string::npos) << run.out;
}

TEST_F(CliSyncTest, RefusedPathsAreToldOnTheErrorStream) {
    std::wstring folder = m_left + std::wstring(247 - m_left.size(), L'f');
    std::wstring refused = folder + L"\\" + std::wstring(259 - folder.size() - 1, L'n');
    ASSERT_TRUE(MakeLongFile(refused));
    File(0, L"fits.txt");
    CompanionRun run = RunCli(L"commit");
    // The refused file was a checked operation that was not done.
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_NE(run.err.find("copy\t" + Utf8(refused) + "\t" + Utf8(m_right + refused.substr(m_left.size())) +
                           ": The path is too long! Both files were skipped.\n"),
              std::string::npos)
        << run.err;
    // The log of this run, named where the window program would name the file beside it.
    size_t named = run.err.find("; log <");
    ASSERT_NE(named, std::string::npos) << run.err;
    std::string log = run.err.substr(named + 7, run.err.find('>', named) - named - 7);
    EXPECT_NE(run.err.find("Some file paths are too long and will not be included in the synchronization process. "
                           "A list of these files was saved to <" + log + ">!\n"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(SummaryOf(run), "files copied 1 (0 replaced), deleted 0; folders created 1, removed 0; not done 1; log <" + log +
                                  ">\n");
    EXPECT_NE(LogText(Wide(log)).find(refused), std::wstring::npos);
    EXPECT_EQ(ReadFileBytes(m_right + L"fits.txt"), "x");
    EXPECT_FALSE(Exists(m_right + refused.substr(m_left.size())));
    DeleteFileW(Wide(log).c_str());
    EXPECT_FALSE(Exists(ProgramFolder() + L"SynchronizeLog.txt"));
}

TEST_F(CliSyncTest, AFileThatCannotBeCopiedIsToldAndTheStatusIsOne) {
    File(0, L"held.txt", "held");
    File(0, L"free.txt", "free");
    TreeSnapshot left = SnapshotTree(m_left);
    // Held without sharing for the whole run, as another program may hold it.
    HANDLE held = CreateFileW((m_left + L"held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    CompanionRun run = RunCli(L"commit");
    CloseHandle(held);
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    EXPECT_NE(run.err.find("copy\t" + Utf8(m_left + L"held.txt") + "\t" + Utf8(m_right + L"held.txt") + ": "),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("Some file operations could not be completed."), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("held.txt"), std::string::npos) << run.out;
    EXPECT_FALSE(Exists(m_right + L"held.txt"));
    EXPECT_EQ(DescribeChanges(left, SnapshotTree(m_left)), "");
    EXPECT_EQ(SummaryOf(run).find("files copied 1 (0 replaced), deleted 0; folders created 0, removed 0; not done 1; log <"), 0u)
        << run.err;
    size_t named = run.err.find("; log <");
    if (named != std::string::npos)
        DeleteFileW(Wide(run.err.substr(named + 7, run.err.find('>', named) - named - 7)).c_str());
}

TEST_F(CliSyncTest, DryRunOfACommitPrintsWhatTheCommitThenDoes) {
    File(0, L"new.txt", "new");
    File(0, L"modified.txt", "left", kTime + 10000000);
    File(1, L"modified.txt", "right");
    File(0, L"fresh\\inner.txt");
    File(1, L"stale.txt");
    Folder(1, L"gone\\deeper");
    ExpectDryRunShowsTheRun(L"commit", "files to copy 3 (1 to replace), to delete 1; folders to create 1, to remove 2; would not be done 0",
                            "files copied 3 (1 replaced), deleted 1; folders created 1, removed 2; not done 0");
    EXPECT_EQ(Differences(), std::vector<std::wstring>());
}

TEST_F(CliSyncTest, DryRunOfAnUpdatePrintsWhatTheUpdateThenDoes) {
    File(1, L"restored.txt", "restored");
    File(1, L"modified.txt", "right", kTime + 10000000);
    File(0, L"modified.txt", "left");
    File(0, L"extra\\file.txt");
    Folder(1, L"wanted");
    ExpectDryRunShowsTheRun(L"update", "files to copy 2 (1 to replace), to delete 1; folders to create 1, to remove 1; would not be done 0",
                            "files copied 2 (1 replaced), deleted 1; folders created 1, removed 1; not done 0");
    EXPECT_EQ(ReadFileBytes(m_left + L"modified.txt"), "right");
    EXPECT_EQ(Differences(), std::vector<std::wstring>());
}

// What the run would refuse, the dry run tells the same way, on the error stream.
TEST_F(CliSyncTest, DryRunTellsWhatWouldNotBeDone) {
    std::wstring folder = m_left + std::wstring(247 - m_left.size(), L'f');
    std::wstring refused = folder + L"\\" + std::wstring(259 - folder.size() - 1, L'n');
    ASSERT_TRUE(MakeLongFile(refused));
    File(0, L"fits.txt");
    TreeSnapshot right = SnapshotTree(m_right);
    CompanionRun dry = RunCli(L"commit", {L"--dry-run"});
    EXPECT_EQ(dry.exitCode, 1u);
    EXPECT_EQ(DescribeChanges(right, SnapshotTree(m_right)), "");
    EXPECT_NE(dry.err.find("copy\t" + Utf8(refused) + "\t" + Utf8(m_right + refused.substr(m_left.size())) +
                           ": The path is too long! Both files were skipped.\n"),
              std::string::npos)
        << dry.err;
    EXPECT_NE(dry.err.find("would not be done 1; log <"), std::string::npos) << dry.err;
    EXPECT_EQ(dry.out, "mkdir\t" + Utf8(m_right + folder.substr(m_left.size())) + "\ncopy\t" +
                           Utf8(m_left + L"fits.txt") + "\t" + Utf8(m_right + L"fits.txt") + "\n");
    for (const std::wstring& log : NamedLogs(dry.err)) DeleteFileW(log.c_str());
}

TEST_F(CliSyncTest, ASynchronizationThatCannotStartIsTroubleAndChangesNothing) {
    FileInBoth(L"same.txt");
    File(0, L"new.txt");
    File(1, L"old.txt");
    std::wstring logs = m_output.MakeFolder(L"logs");
    ASSERT_TRUE(CreateDirectoryW((logs + L"SynchronizeLog.txt").c_str(), nullptr));
    TreeSnapshot before = SnapshotTree(m_folder.Path());
    for (const wchar_t* command : {L"commit", L"update"}) {
        CompanionRun run = RunCli(command, {L"--log", logs});
        EXPECT_EQ(run.exitCode, 2u) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "Can not create error log file! <" + Utf8(logs) + "SynchronizeLog.txt>\n");
    }
    EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
    RemoveDirectoryW((logs + L"SynchronizeLog.txt").c_str());
}

// A pair the analysis could not read stays as it was while the folders around it are made alike.
TEST_F(CliSyncTest, ItemsTheAnalysisCouldNotReadMakeTheStatusOne) {
    File(0, L"new.txt");
    File(0, L"locked.bin", "left");
    std::wstring locked = File(1, L"locked.bin", "right");
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    CompanionRun run = RunCli(L"commit", {L"--content"});
    CloseHandle(holder);
    EXPECT_EQ(run.exitCode, 1u) << run.err;
    EXPECT_EQ(run.out, "copy\t" + Utf8(m_left + L"new.txt") + "\t" + Utf8(m_right + L"new.txt") + "\n");
    EXPECT_EQ(ReadFileBytes(locked), "right");
    EXPECT_NE(run.err.find("Some files/folders could not be accessed"), std::string::npos) << run.err;
    EXPECT_NE(SummaryOf(run).find("not done 0"), std::string::npos) << run.err;
    for (const std::wstring& log : NamedLogs(run.err)) DeleteFileW(log.c_str());
}

// Locations inside each other would have a synchronization copy a location
// into itself or delete its own root; raw device paths the shell cannot take.
TEST_F(CliSyncTest, OverlappingLocationsAndRawPathsAreRefusedBeforeAnything) {
    File(0, L"sub\\keep.txt", "keep");
    File(0, L"top.txt", "top");
    TreeSnapshot left = SnapshotTree(m_left);
    std::wstring leftRoot = m_left.substr(0, m_left.size() - 1);
    std::wstring upper = leftRoot;
    for (wchar_t& c : upper) c = towupper(c);
    const std::vector<std::vector<std::wstring>> refused = {
        {L"update", leftRoot, leftRoot + L"\\sub"},
        {L"commit", leftRoot + L"\\sub", leftRoot},
        {L"update", leftRoot, upper + L"\\."},
        {L"commit", leftRoot + L"\\sub\\..", leftRoot},
        {L"update", L"\\\\?\\" + leftRoot, m_right},
        {L"analyze", leftRoot, L"\\\\?\\" + m_right},
    };
    for (const auto& arguments : refused) {
        TempFolder output;
        CompanionRun run = RunCompanion(arguments, output);
        EXPECT_EQ(run.exitCode, 2u) << Utf8(arguments[1]) << " " << Utf8(arguments[2]);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("quillmar-cli: "), std::string::npos) << run.err;
    }
    EXPECT_EQ(DescribeChanges(left, SnapshotTree(m_left)), "");
    // A sibling whose name begins like the other location's is no overlap.
    std::wstring sibling = m_folder.MakeFolder(L"left-more");
    CompanionRun run = RunCompanion({L"analyze", leftRoot, sibling}, m_output);
    EXPECT_NE(run.exitCode, 2u) << run.err;
}

}  // namespace
