// A tree far deeper than a thread's stack could take one frame a level.
#include "analysis/state_walk.h"
#include "tests/analysis/analysis_run.h"
#include "tests/support/unix_side.h"

namespace {

// At about 4.7 KB of stack a level, a scan that recursed would need several
// times the 2 MiB a thread's stack holds by default here.
const size_t kLevels = 600;

class DeepTreeTest : public AnalysisTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        // Made from the Linux side in one call each: Linux opens paths up to
        // 4,095 bytes, which bounds the depth that can be listed there.
        std::string unixRoot = UnixPathOf(m_folder.Path());
        if (unixRoot.empty()) GTEST_SKIP() << "the Linux side is not reachable";
        const size_t budget = 3900 - UnixPathOf(m_right).size();
        m_levels = budget / 2 < kLevels ? budget / 2 : kLevels;
        std::string chain;
        for (size_t level = 0; level < m_levels; ++level) {
            chain += "d/";
            m_bottom += L"d\\";
        }
        const std::string script = "for side in left right; do mkdir -p $side/" + chain + " || exit 1; done\n"
                                   "echo same > left/" + chain + "same.txt && echo same > right/" + chain +
                                   "same.txt && echo only > left/" + chain + "only.txt\n"
                                   "touch -t 202001010000 left/" + chain + "same.txt && touch -t 202001010001 right/" +
                                   chain + "same.txt";
        ASSERT_EQ(RunUnixShell("cd " + ShellQuote(unixRoot) + " || exit 9\n" + script), 0);
        FileInBoth(L"top.txt");
    }
    void TearDown() override {
        AnalysisTest::TearDown();
        if (!UnixPathOf(m_folder.Path()).empty()) {
            EXPECT_TRUE(RemoveUnixTree(m_folder.Path()));
        }
    }
    size_t m_levels = 0;
    std::wstring m_bottom;
};

TEST_P(DeepTreeTest, ScanComparisonAndWalksReachTheBottom) {
    ASSERT_EQ(m_levels, kLevels);
    AnalysisRunOptions options;
    options.compareContent = GetParam();
    options.logPath = m_folder.PathOf(L"AnalyzeLog.txt");
    AnalysisRun run = Run(options);
    EXPECT_EQ(run.logEntries, 0u);
    ASSERT_FALSE(run.sent.empty());
    EXPECT_EQ(run.sent.back().message, WM_ANALYSIS_DONE) << Describe(run.sent);
    const std::wstring bottom = m_bottom.substr(0, m_bottom.size() - 1);
    EXPECT_EQ(State(0, bottom + L"\\only.txt"), DiffNew);
    EXPECT_EQ(State(1, bottom + L"\\only.txt"), DiffMissing);
    // Equal bytes with different times: Modified by time, Identical by content.
    const int same = GetParam() ? DiffIdentical : DiffModified;
    EXPECT_EQ(State(0, bottom + L"\\same.txt"), same);
    EXPECT_EQ(State(1, bottom + L"\\same.txt"), same);
    EXPECT_EQ(State(1, L"d"), DiffModified);
    EXPECT_EQ(State(0, L"top.txt"), DiffIdentical);

    // The synchronization's walk finds the Missing copy at the bottom.
    auto* walk = new StateWalk();
    walk->mask = 0x6E;
    walk->folder = g_backgroundOps.slots[1].tree->root;
    walk->next = walk->folder->firstChild;
    wcscpy(walk->basePath, m_right.c_str());
    std::vector<wchar_t> path(kPathUnits);
    DWORD attributes = 0;
    DiffState state = DiffIdentical;
    std::vector<std::wstring> yielded;
    DWORD step;
    // Named below the bottom folder, so that a failure reads short.
    const std::wstring prefix = m_right + bottom;
    while ((step = StateWalkNext(walk, &attributes, &state, path.data())) == ERROR_SUCCESS) {
        std::wstring found = path.data();
        yielded.push_back(found.compare(0, prefix.size(), prefix) == 0 ? found.substr(prefix.size()) : found);
    }
    EXPECT_EQ(step, DWORD(ERROR_NO_MORE_FILES));
    StateWalkClear(walk);
    delete walk;
    std::vector<std::wstring> expected = {L"\\only.txt"};
    if (!GetParam()) expected.push_back(L"\\same.txt");
    std::sort(yielded.begin(), yielded.end());
    EXPECT_EQ(yielded, expected);
}

INSTANTIATE_TEST_SUITE_P(TimesAndContent, DeepTreeTest, testing::Bool());

}  // namespace
