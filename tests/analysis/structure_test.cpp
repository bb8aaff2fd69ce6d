#include "tests/analysis/analysis_run.h"

#include <cstdlib>
#include <cstring>
#include <tuple>

namespace {

const int kIdentical = DiffIdentical, kNew = DiffNew, kMissing = DiffMissing, kModified = DiffModified;

using StructureTest = AnalysisTest;

TEST_F(StructureTest, IdenticalTreesStayIdenticalToTheRoot) {
    FileInBoth(L"a.txt", "alpha");
    Folder(0, L"sub\\deep");
    Folder(1, L"sub\\deep");
    FileInBoth(L"sub\\b.txt", "bravo!");
    FileInBoth(L"sub\\deep\\c.txt", "charlie");
    AnalysisRun run = Run();

    ASSERT_FALSE(run.sent.empty());
    EXPECT_EQ(run.sent.back().message, WM_ANALYSIS_DONE);
    EXPECT_EQ(run.exitCode, 0u);
    for (int side = 0; side < 2; ++side) {
        for (const wchar_t* path : {L"", L"a.txt", L"sub", L"sub\\b.txt", L"sub\\deep", L"sub\\deep\\c.txt",
                                    L"sub\\.", L"sub\\.."})
            EXPECT_EQ(State(side, path), kIdentical) << side << " " << path;
        EXPECT_STREQ(g_backgroundOps.slots[side].statusText, L"Analysis completed");
    }
    EXPECT_EQ(g_backgroundOps.slots[0].commonBytes, 5u + 6u + 7u);
    EXPECT_EQ(g_backgroundOps.slots[1].commonBytes, 5u + 6u + 7u);
    EXPECT_EQ(g_backgroundOps.slots[0].totalBytes, 1u);
    EXPECT_EQ(g_backgroundOps.slots[0].doneBytes, 1u);
}

TEST_F(StructureTest, FileOnlyInSecondLocationGetsAMissingCopyAndModifiedAncestors) {
    Folder(0, L"sub");
    Folder(1, L"sub");
    FileInBoth(L"same.txt");
    File(1, L"sub\\only.txt", "twelve bytes", kTime + 7);
    Run();

    EXPECT_EQ(State(1, L"sub\\only.txt"), kNew);
    EXPECT_EQ(State(0, L"sub\\only.txt"), kMissing);
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(State(side, L"sub"), kModified);
        EXPECT_EQ(State(side, L""), kModified);
        EXPECT_EQ(State(side, L"same.txt"), kIdentical);
    }
    const FileNode* copy = NodeAt(g_backgroundOps.slots[0].tree, L"sub\\only.txt");
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->size, 12u);
    EXPECT_EQ(FileTimeValue(copy->lastWriteTime), kTime + 7);
    EXPECT_FALSE(IsFolderNode(copy));
}

TEST_F(StructureTest, FolderOnlyInFirstLocationIsCopiedLevelByLevel) {
    File(0, L"new\\a.txt");
    Folder(0, L"new\\inner\\innermost");
    File(0, L"new\\inner\\b.txt");
    Run();

    for (const wchar_t* path : {L"new", L"new\\a.txt", L"new\\inner", L"new\\inner\\b.txt", L"new\\inner\\innermost"}) {
        EXPECT_EQ(State(0, path), kNew) << path;
        EXPECT_EQ(State(1, path), kMissing) << path;
    }
    EXPECT_TRUE(IsFolderNode(NodeAt(g_backgroundOps.slots[1].tree, L"new\\inner")));
    // The scan's "." and ".." take part in nothing and are not copied.
    EXPECT_EQ(State(0, L"new\\."), kIdentical);
    EXPECT_EQ(State(0, L"new\\inner\\.."), kIdentical);
    EXPECT_EQ(State(1, L"new\\."), -1);
    EXPECT_EQ(State(0, L""), kModified);
    EXPECT_EQ(State(1, L""), kModified);
}

TEST_F(StructureTest, NamesDifferingOnlyInCaseAreTheSameEntry) {
    File(0, L"Readme.TXT");
    File(1, L"README.txt");
    Folder(0, L"Docs");
    Folder(1, L"dOCS");
    File(0, L"Docs\\Page.htm");
    File(1, L"dOCS\\PAGE.HTM");
    Run();
    EXPECT_EQ(State(0, L"readme.txt"), kIdentical);
    EXPECT_EQ(State(1, L"Readme.txt"), kIdentical);
    EXPECT_EQ(State(0, L"docs\\page.htm"), kIdentical);
    EXPECT_EQ(State(0, L""), kIdentical);
    EXPECT_EQ(State(1, L""), kIdentical);
}

TEST_F(StructureTest, WithoutContentComparisonTimesAndSizesDecide) {
    File(0, L"sub\\touched.txt", "same", kTime);
    File(1, L"sub\\touched.txt", "same", kTime + 30000000);  // beyond the 2 seconds of coarse file systems
    File(0, L"grown.txt", "short");
    File(1, L"grown.txt", "much longer");
    File(0, L"kept.txt", "equal");
    File(1, L"kept.txt", "EQUAL");
    Run();
    EXPECT_EQ(State(0, L"sub\\touched.txt"), kModified);
    EXPECT_EQ(State(1, L"sub\\touched.txt"), kModified);
    EXPECT_EQ(State(0, L"sub"), kModified);
    EXPECT_EQ(State(1, L""), kModified);
    // Equal times do not hide a change of size.
    EXPECT_EQ(State(0, L"grown.txt"), kModified);
    EXPECT_EQ(State(1, L"grown.txt"), kModified);
    // Same time and size: the bytes are not read in this mode.
    EXPECT_EQ(State(0, L"kept.txt"), kIdentical);
    // Common bytes count the smaller size of each pair.
    EXPECT_EQ(g_backgroundOps.slots[0].commonBytes, 4u + 5u + 5u);
}

// A file facing a folder of the same name: whichever way round and in either
// mode, both are Unknown, nothing is copied under the file and the pair is logged
// once under its path in the first location.
class FileFacingFolderTest : public AnalysisTest, public testing::WithParamInterface<std::tuple<bool, bool>> {};

TEST_P(FileFacingFolderTest, BothSidesAreUnknownAndLogged) {
    const bool fileFirst = std::get<0>(GetParam());
    const int fileSide = fileFirst ? 0 : 1;
    File(fileSide, L"x", "file");
    File(1 - fileSide, L"x\\y.txt", "inside");
    File(1 - fileSide, L"x\\deeper\\z.txt", "inside");
    FileInBoth(L"same.txt");
    AnalysisRunOptions options;
    options.compareContent = std::get<1>(GetParam());
    options.logPath = m_folder.PathOf(L"AnalyzeLog.txt");
    AnalysisRun run = Run(options);
    ASSERT_FALSE(run.sent.empty());
    EXPECT_EQ(run.sent.back().message, WM_ANALYSIS_DONE) << Describe(run.sent);
    EXPECT_EQ(State(0, L"x"), DiffUnknown);
    EXPECT_EQ(State(1, L"x"), DiffUnknown);
    EXPECT_EQ(State(1 - fileSide, L"x\\y.txt"), DiffUnknown);
    EXPECT_EQ(State(1 - fileSide, L"x\\deeper\\z.txt"), DiffUnknown);
    EXPECT_EQ(State(1 - fileSide, L"x\\."), kIdentical);
    EXPECT_EQ(NodeAt(g_backgroundOps.slots[fileSide].tree, L"x")->firstChild, nullptr);
    EXPECT_EQ(State(0, L""), kModified);
    EXPECT_EQ(State(1, L""), kModified);
    EXPECT_EQ(State(0, L"same.txt"), kIdentical);
    EXPECT_EQ(g_backgroundOps.slots[0].commonBytes, 1u);
    EXPECT_EQ(run.logEntries, 2u);
    const std::vector<std::wstring> expected = {m_left + L"x" + (fileFirst ? L"" : L"\\"),
                                                SystemMessage(ERROR_ALREADY_EXISTS)};
    EXPECT_EQ(ReadLogEntries(m_folder.PathOf(L"AnalyzeLog.txt")), expected);
}

INSTANTIATE_TEST_SUITE_P(EitherWayRoundEitherMode, FileFacingFolderTest,
                         testing::Combine(testing::Bool(), testing::Bool()));

TEST_F(StructureTest, EmptyLocationMakesEverythingNewOnTheOtherSide) {
    File(1, L"a.txt");
    File(1, L"f\\b.txt");
    Run();
    EXPECT_EQ(State(1, L"a.txt"), kNew);
    EXPECT_EQ(State(1, L"f\\b.txt"), kNew);
    EXPECT_EQ(State(0, L"f\\b.txt"), kMissing);
    EXPECT_EQ(State(0, L"a.txt"), kMissing);
}

TEST_F(StructureTest, UnlistableRootFailsTheAnalysisWithTheListingCode) {
    File(1, L"a.txt");
    std::wstring gone = m_folder.Path() + L"gone\\";
    AnalysisRunOptions options;
    options.logPath = m_folder.PathOf(L"AnalyzeLog.txt");
    AnalysisRun run = RunAnalysis(gone, m_right, options);
    ASSERT_FALSE(run.sent.empty());
    EXPECT_EQ(run.sent.back().message, WM_ANALYSIS_FAILED) << Describe(run.sent);
    EXPECT_EQ(run.sent.back().wParam, 0u);
    EXPECT_EQ(run.sent.back().text, L"Failed to parse files and folders");
    EXPECT_EQ(run.sent.back().code, DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(run.exitCode, 1u);
    EXPECT_EQ(run.logEntries, 0u);
    // Nothing was compared, so nothing stands as Missing for a synchronization to delete.
    EXPECT_EQ(State(0, L"a.txt"), -1);
    EXPECT_NE(State(1, L"a.txt"), kNew);
}

TEST_F(StructureTest, EmptyVolumeRootIsAnEmptyLocation) {
    const char* drive = std::getenv("QUILLMAR_TEST_EMPTY_DRIVE");
    if (!drive || !*drive) GTEST_SKIP() << "no empty test drive is mapped";
    File(1, L"a.txt");
    AnalysisRun run = RunAnalysis(std::wstring(drive, drive + strlen(drive)) + L"\\", m_right, AnalysisRunOptions());
    ASSERT_FALSE(run.sent.empty());
    EXPECT_EQ(run.sent.back().message, WM_ANALYSIS_DONE) << Describe(run.sent);
    EXPECT_EQ(State(1, L"a.txt"), kNew);
    EXPECT_EQ(State(0, L"a.txt"), kMissing);
}

}  // namespace
