// Entries whose state the analysis cannot know are never offered, so that a
// commit or an update afterwards changes nothing but what was listed.
#include "analysis/skip_log.h"
#include "tests/support/tree_snapshot.h"
#include "tests/support/unix_side.h"
#include "tests/sync/sync_run.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

enum Trouble { UnlistedFolder, CaseTwins, RejectedNames, FileFacingFolder, LinkLoop, LinkToTheOtherLocation };

const char* TroubleName(Trouble trouble) {
    static const char* const kNames[] = {"UnlistedFolder", "CaseTwins",           "RejectedNames",
                                         "FileFacingFolder", "LinkLoop", "LinkToTheOtherLocation"};
    return kNames[trouble];
}

// Each trouble in location 0 against ordinary content in location 1, synchronized
// with either location current, in either direction. Location 0 lies deeper
// on the Linux side, so that a chain of folders can be listed in location 1
// and not in location 0.
class UnknownItemsTest : public SyncTest,
                         public testing::WithParamInterface<std::tuple<Trouble, int, SyncDirection>> {
protected:
    void SetUp() override {
        SyncTest::SetUp();
        if (UnixPathOf(m_folder.Path()).empty()) GTEST_SKIP() << "the Linux side is not reachable";
        m_left = m_folder.MakeFolder(std::wstring(179, L'x') + L"\\L");
        m_right = m_folder.MakeFolder(L"R");
        switch (std::get<0>(GetParam())) {
        case UnlistedFolder: {
            std::vector<std::string> names = FolderChainNames(UnixPathOf(m_right).size(), 3990);
            ASSERT_FALSE(names.empty());
            ASSERT_TRUE(MakeFolderChain(m_left, names, "echo left > inner.txt"));
            ASSERT_TRUE(MakeFolderChain(m_right, names, "echo right only > inner.txt && echo more > more.txt"));
            break;
        }
        case CaseTwins:
            Shell(0, "echo one > a.txt && echo two > A.txt && mkdir D d && echo x > D/x && echo y > d/y");
            Shell(1, "echo three > a.txt && touch -t 203001010000 a.txt && mkdir -p D/inner && echo z > D/inner/z");
            break;
        case RejectedNames:
            Shell(0, "echo unique > 'keep.txt ' && echo wanted > keep.txt && mkdir 'star*' && echo a > 'star*/a'");
            Shell(1, "echo wanted > keep.txt && mkdir 'star*' && echo b > 'star*/b'");
            for (int side = 0; side < 2; ++side) ASSERT_TRUE(SetLastWriteTime(Root(side) + L"keep.txt", kTime));
            break;
        case FileFacingFolder:
            File(0, L"x", "a file");
            File(1, L"x\\inside.txt", "in a folder");
            break;
        case LinkLoop:
            Shell(0, "ln -s . loop && mkdir sub && ln -s .. sub/up");
            Shell(1, "mkdir -p loop/inner sub/up && echo l > loop/inner/l && echo u > sub/up/u");
            break;
        case LinkToTheOtherLocation: {
            // Through these, location 1's own files would stand in location 0 too.
            const std::string right = ShellQuote(UnixPathOf(m_right));
            Shell(0, "ln -s " + right + " whole && ln -s " + right + "inner part && ln -s " + right + ".. above");
            FileInBoth(L"inner\\kept.txt");
            break;
        }
        }
        FileInBoth(L"same.txt");
    }
    void TearDown() override {
        SyncTest::TearDown();
        if (!UnixPathOf(m_folder.Path()).empty()) {
            EXPECT_TRUE(RemoveUnixTree(m_folder.Path()));
        }
    }
    void Shell(int side, const std::string& script) {
        ASSERT_EQ(RunUnixShell("cd " + ShellQuote(UnixPathOf(Root(side))) + " || exit 9\n" + script), 0) << script;
    }
};

TEST_P(UnknownItemsTest, OnlyWhatWasListedChanges) {
    const int current = std::get<1>(GetParam());
    const SyncDirection direction = std::get<2>(GetParam());
    File(current, L"new.txt", "chosen");
    // The analysis logs what it cannot know, as the window program's does.
    const std::wstring logPath = m_folder.PathOf(L"AnalyzeLog.txt");
    ASSERT_TRUE(SkipLogOpen(logPath.c_str(), L"Skipped items"));
    AnalyzeAndList(current);
    EXPECT_GE(SkipLogClose(), 2u);
    ASSERT_NE(m_items, nullptr);
    ASSERT_EQ(m_items->count, 1u);
    EXPECT_EQ(std::wstring(m_items->items[0].path), Root(current) + L"new.txt");

    TreeSnapshot before[2] = {SnapshotTree(m_left), SnapshotTree(m_right)};
    SyncRun run = Synchronize(direction);
    EXPECT_EQ(run.exitCode, 0u);
    TreeSnapshot after[2] = {SnapshotTree(m_left), SnapshotTree(m_right)};
    // The one chosen item did what was asked of it...
    if (direction == SyncCommit) {
        EXPECT_EQ(ReadFileBytes(Root(1 - current) + L"new.txt"), "chosen");
    } else {
        EXPECT_FALSE(Exists(Root(current) + L"new.txt"));
    }
    // ...and nothing else changed in either location.
    for (int side = 0; side < 2; ++side) {
        before[side].erase(L"new.txt");
        after[side].erase(L"new.txt");
        EXPECT_EQ(DescribeChanges(before[side], after[side]), "") << "location " << side;
        EXPECT_GT(before[side].size(), 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    EveryTrouble, UnknownItemsTest,
    testing::Combine(testing::Values(UnlistedFolder, CaseTwins, RejectedNames, FileFacingFolder, LinkLoop,
                                     LinkToTheOtherLocation),
                     testing::Values(0, 1), testing::Values(SyncCommit, SyncUpdate)),
    [](const testing::TestParamInfo<UnknownItemsTest::ParamType>& info) {
        return std::string(TroubleName(std::get<0>(info.param))) + "Current" + std::to_string(std::get<1>(info.param)) +
               (std::get<2>(info.param) == SyncCommit ? "Commit" : "Update");
    });

}  // namespace
