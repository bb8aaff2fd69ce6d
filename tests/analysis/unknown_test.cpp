// Entries whose state cannot be known, made on the Linux side: they and their
// counterparts end Unknown with everything below, and nothing below them
// passes for New or Missing.
#include "model/names.h"
#include "model/system_error.h"
#include "tests/analysis/analysis_run.h"
#include "tests/support/unix_side.h"

#include <tuple>

namespace {

class UnknownTest : public AnalysisTest {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        if (UnixPathOf(m_folder.Path()).empty()) GTEST_SKIP() << "the Linux side is not reachable";
    }
    void TearDown() override {
        AnalysisTest::TearDown();
        if (!UnixPathOf(m_folder.Path()).empty()) {
            EXPECT_TRUE(RemoveUnixTree(m_folder.Path()));
        }
    }
    void Shell(int side, const std::string& script) {
        ASSERT_EQ(RunUnixShell("cd " + ShellQuote(UnixPathOf(Root(side))) + " || exit 9\n" + script), 0) << script;
    }
    AnalysisRun RunLogged(bool compareContent, bool simultaneous = false) {
        AnalysisRunOptions options;
        options.compareContent = compareContent;
        options.simultaneous = simultaneous;
        options.logPath = m_folder.PathOf(L"AnalyzeLog.txt");
        AnalysisRun run = Run(options);
        EXPECT_FALSE(run.sent.empty());
        if (!run.sent.empty()) {
            EXPECT_EQ(run.sent.back().message, WM_ANALYSIS_DONE) << Describe(run.sent);
        }
        return run;
    }
    std::vector<std::wstring> Log() { return ReadLogEntries(m_folder.PathOf(L"AnalyzeLog.txt")); }

    // The node and everything below it but "." and ".." are Unknown.
    void ExpectUnknownSubtree(int side, const std::wstring& relative) {
        const FileNode* top = NodeAt(g_backgroundOps.slots[side].tree, relative);
        ASSERT_NE(top, nullptr) << side << " " << Narrow(relative);
        EXPECT_EQ(top->state, DiffUnknown) << side << " " << Narrow(relative);
        ForEachBelow(top, [&](const FileNode* node) {
            if (!IsDotOrDotDot(node->name)) {
                EXPECT_EQ(node->state, DiffUnknown) << Narrow(node->name);
            }
        });
    }
    // No node of either tree is New or Missing.
    void ExpectNothingNewOrMissing() {
        for (int side = 0; side < 2; ++side) {
            ForEachBelow(g_backgroundOps.slots[side].tree->root, [&](const FileNode* node) {
                EXPECT_TRUE(node->state != DiffNew && node->state != DiffMissing) << side << " " << Narrow(node->name);
            });
        }
    }
    template <class Visit>
    static void ForEachBelow(const FileNode* top, Visit visit) {
        const FileNode* node = top->firstChild;
        while (node) {
            visit(node);
            if (node->firstChild) {
                node = node->firstChild;
                continue;
            }
            while (node != top && !node->nextSibling) node = node->parent;
            node = node == top ? nullptr : node->nextSibling;
        }
    }
    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
};

// A folder that can be listed in one location and not in the other: the one
// location's root lies 180 bytes deeper on the Linux side, which takes the
// chain's last folder past the longest path Linux opens there.
class UnlistableFolderTest : public UnknownTest, public testing::WithParamInterface<std::tuple<int, bool>> {
protected:
    void SetUp() override {
        UnknownTest::SetUp();
        if (IsSkipped()) return;
        m_unlisted = std::get<0>(GetParam());
        std::wstring deep = m_folder.MakeFolder(std::wstring(179, L'x') + L"\\L");
        std::wstring shallow = m_folder.MakeFolder(L"S");
        (m_unlisted == 0 ? m_left : m_right) = deep;
        (m_unlisted == 0 ? m_right : m_left) = shallow;
        m_names = FolderChainNames(UnixPathOf(shallow).size(), 3990);
        ASSERT_FALSE(m_names.empty());
        for (int side = 0; side < 2; ++side)
            ASSERT_TRUE(MakeFolderChain(Root(side), m_names, "echo inner > inner.txt && mkdir sub && echo more > sub/more.txt"));
        m_tail = ChainPath(m_names);
        m_parent = m_tail.substr(0, m_tail.rfind(L'\\'));
        FileInBoth(m_parent + L"\\beside.txt", "beside");
        FileInBoth(L"top.txt", "top");
    }
    int m_unlisted = 0;
    std::vector<std::string> m_names;
    std::wstring m_tail, m_parent;
};

TEST_P(UnlistableFolderTest, ItAndItsCounterpartAreUnknownAndTheRestIsCompared) {
    AnalysisRun run = RunLogged(std::get<1>(GetParam()));
    ExpectUnknownSubtree(m_unlisted, m_tail);
    ExpectUnknownSubtree(1 - m_unlisted, m_tail);
    EXPECT_EQ(State(1 - m_unlisted, m_tail + L"\\sub\\more.txt"), DiffUnknown);
    EXPECT_EQ(NodeAt(g_backgroundOps.slots[m_unlisted].tree, m_tail)->firstChild, nullptr);
    ExpectNothingNewOrMissing();
    for (int side = 0; side < 2; ++side) {
        EXPECT_EQ(State(side, m_parent + L"\\beside.txt"), DiffIdentical);
        EXPECT_EQ(State(side, m_parent), DiffModified);
        EXPECT_EQ(State(side, L"top.txt"), DiffIdentical);
        EXPECT_EQ(State(side, L""), DiffModified);
    }
    std::vector<std::wstring> log = Log();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0], Root(m_unlisted) + m_tail + L"\\");
    EXPECT_EQ(run.logEntries, 2u);
}

INSTANTIATE_TEST_SUITE_P(EitherLocationEitherMode, UnlistableFolderTest,
                         testing::Combine(testing::Values(0, 1), testing::Bool()));

class CaseTwinsTest : public UnknownTest, public testing::WithParamInterface<int> {};

TEST_P(CaseTwinsTest, TwinsAndTheirCounterpartsAreUnknown) {
    const int twins = GetParam();
    Shell(twins, "echo one > a.txt && echo two > A.txt && mkdir D d && echo x > D/x && echo y > d/y");
    Shell(1 - twins, "echo one > a.txt && mkdir -p D/inner && echo x > D/x && echo deep > D/inner/deep.txt");
    FileInBoth(L"same.txt");
    RunLogged(false);
    ExpectUnknownSubtree(1 - twins, L"a.txt");
    ExpectUnknownSubtree(1 - twins, L"D");
    EXPECT_EQ(State(1 - twins, L"D\\inner\\deep.txt"), DiffUnknown);
    EXPECT_EQ(State(twins, L"a.txt"), DiffUnknown);
    EXPECT_EQ(State(twins, L"A.txt"), DiffUnknown);
    ExpectNothingNewOrMissing();
    EXPECT_EQ(State(0, L"same.txt"), DiffIdentical);
    EXPECT_EQ(State(0, L""), DiffModified);
    EXPECT_EQ(State(1, L""), DiffModified);
    std::vector<std::wstring> log = Log();
    ASSERT_EQ(log.size(), 8u);
    for (size_t i = 1; i < log.size(); i += 2) EXPECT_EQ(log[i], SystemMessage(ERROR_FILE_EXISTS));
}

INSTANTIATE_TEST_SUITE_P(EitherLocation, CaseTwinsTest, testing::Values(0, 1));

TEST_F(UnknownTest, RejectedNamesAndTheirCounterpartsAreUnknown) {
    Shell(0, "echo unique > 'keep.txt ' && echo wanted > keep.txt && mkdir 'star*' && echo a > 'star*/a'");
    Shell(1, "echo wanted > keep.txt && mkdir -p 'star*/below' && echo b > 'star*/below/b'");
    for (int side = 0; side < 2; ++side) ASSERT_TRUE(SetLastWriteTime(Root(side) + L"keep.txt", kTime));
    RunLogged(true);
    ExpectUnknownSubtree(0, L"star*");
    ExpectUnknownSubtree(1, L"star*");
    // The same name is refused on both sides, so neither is listed.
    EXPECT_EQ(NodeAt(g_backgroundOps.slots[1].tree, L"star*")->firstChild, nullptr);
    EXPECT_EQ(State(0, L"keep.txt "), DiffUnknown);
    // The wanted file stands for itself only.
    EXPECT_EQ(State(0, L"keep.txt"), DiffIdentical);
    EXPECT_EQ(State(1, L"keep.txt"), DiffIdentical);
    ExpectNothingNewOrMissing();
    std::vector<std::wstring> log = Log();
    std::vector<std::wstring> expected = {Root(0) + L"keep.txt ", SystemMessage(ERROR_INVALID_NAME), Root(0) + L"star*\\",
                                          SystemMessage(ERROR_INVALID_NAME), Root(1) + L"star*\\",
                                          SystemMessage(ERROR_INVALID_NAME)};
    std::sort(log.begin(), log.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(log, expected);
}

TEST_F(UnknownTest, ALinkLoopAndItsCounterpartAreUnknown) {
    Shell(0, "ln -s . loop && mkdir sub && ln -s .. sub/up");
    Shell(1, "mkdir -p loop/inner sub/up && echo x > loop/inner/x && echo y > sub/up/y");
    FileInBoth(L"sub\\same.txt");
    RunLogged(false, true);
    for (int side = 0; side < 2; ++side) {
        ExpectUnknownSubtree(side, L"loop");
        ExpectUnknownSubtree(side, L"sub\\up");
    }
    ExpectNothingNewOrMissing();
    EXPECT_EQ(State(0, L"sub\\same.txt"), DiffIdentical);
    std::vector<std::wstring> log = Log();
    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[1], SystemMessage(kEntryIsLink));
}

}  // namespace
