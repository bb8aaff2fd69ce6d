// Scans of folders whose troubles can only be made from the Linux side.
#include "model/memory.h"
#include "model/scan.h"
#include "model/system_error.h"
#include "tests/support/temp_folder.h"
#include "tests/support/unix_side.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<std::wstring> g_lines;

bool RecordLines(const wchar_t* const* lines, unsigned count) {
    for (unsigned i = 0; i < count; ++i) g_lines.push_back(lines[i]);
    return true;
}

std::wstring Message(DWORD code) {
    wchar_t message[kSystemErrorUnits];
    FormatSystemError(code, message);
    return message;
}

class UnixScanTest : public testing::Test {
protected:
    void SetUp() override {
        g_lines.clear();
        m_unix = UnixPathOf(m_folder.Path());
        if (m_unix.empty()) GTEST_SKIP() << "the Linux side is not reachable";
        m_baseline = MemOutstanding();
        m_tree = CreateLocationTree();
    }
    void TearDown() override {
        DestroyLocationTree(m_tree);
        if (!m_unix.empty()) {
            EXPECT_EQ(MemOutstanding(), m_baseline);
            // Links and odd names are removed from the Linux side, never followed.
            EXPECT_TRUE(RemoveUnixTree(m_folder.Path()));
        }
    }
    void Shell(const std::string& script) {
        ASSERT_EQ(RunUnixShell("cd " + ShellQuote(m_unix) + " || exit 9\n" + script), 0) << script;
    }
    DWORD Scan() {
        ScanContext context = {nullptr, RecordLines};
        return ScanLocation(m_tree, m_folder.Path().c_str(), &context);
    }
    const FileNode* Node(const std::wstring& relative) const {
        return FindNodeByPath(m_tree, (L"Root\\" + relative + L"\\").c_str());
    }
    // The node exists, is Unknown, has no children and was logged with `code`.
    void ExpectSkipped(const std::wstring& relative, bool folder, DWORD code) {
        const FileNode* node = Node(relative);
        ASSERT_NE(node, nullptr) << relative;
        EXPECT_EQ(node->state, DiffUnknown) << relative;
        EXPECT_EQ(node->firstChild, nullptr) << relative;
        std::wstring path = m_folder.Path() + relative + (folder ? L"\\" : L"");
        bool logged = false;
        for (size_t i = 0; i + 1 < g_lines.size(); i += 2) logged |= g_lines[i] == path && g_lines[i + 1] == Message(code);
        EXPECT_TRUE(logged) << "not logged: " << std::string(path.begin(), path.end());
    }

    TempFolder m_folder;
    std::string m_unix;
    LocationTree* m_tree = nullptr;
    long m_baseline = 0;
};

TEST_F(UnixScanTest, NamesDifferingOnlyInCaseAreUnknownAndNotDescendedInto) {
    Shell("touch a.txt A.txt unique.txt && mkdir D d && touch D/x d/y && mkdir sub && touch sub/File sub/FILE");
    ASSERT_EQ(Scan(), 0u);
    ExpectSkipped(L"a.txt", false, ERROR_FILE_EXISTS);
    ExpectSkipped(L"A.txt", false, ERROR_FILE_EXISTS);
    ExpectSkipped(L"sub\\File", false, ERROR_FILE_EXISTS);
    EXPECT_EQ(Node(L"unique.txt")->state, DiffIdentical);
    EXPECT_EQ(Node(L"sub")->state, DiffIdentical);
    // The two folders are both in the tree, neither listed.
    unsigned folders = 0;
    for (const FileNode* child = m_tree->root->firstChild; child; child = child->nextSibling) {
        if (child->name[0] == L'D' || child->name[0] == L'd') {
            ++folders;
            EXPECT_EQ(child->state, DiffUnknown);
            EXPECT_EQ(child->firstChild, nullptr);
        }
    }
    EXPECT_EQ(folders, 2u);
    EXPECT_EQ(g_lines.size(), 12u);
}

TEST_F(UnixScanTest, NamesThatWindowsPathsChangeOrRejectAreUnknown) {
    Shell("for n in 'keep.txt ' 'dot.' 'st*r' 'q?m' 'quo\"te' 'lt<' 'gt>' 'pi|pe' 'co:lon' 'back\\slash' "
          "\"$(printf 'ctl\\001')\" nul.txt 'com1 .txt'; do echo unique > \"$n\" || exit 1; done\n"
          "echo wanted > keep.txt && mkdir 'folder ' 'star*' && touch 'folder /in' 'star*/in'\n"
          "mkdir ok && touch ' lead' \"$(printf 'pu\\357\\200\\252')\"");
    ASSERT_EQ(Scan(), 0u);
    for (const wchar_t* name : {L"keep.txt ", L"dot.", L"st*r", L"q?m", L"quo\"te", L"lt<", L"gt>", L"pi|pe",
                                L"co:lon", L"back\\slash", L"ctl\x01", L"nul.txt", L"com1 .txt"}) {
        SCOPED_TRACE(std::wstring(name).size());
        // The backslash cannot be looked up by path; the others are.
        if (wcschr(name, L'\\')) continue;
        ExpectSkipped(name, false, ERROR_INVALID_NAME);
    }
    ExpectSkipped(L"folder ", true, ERROR_INVALID_NAME);
    ExpectSkipped(L"star*", true, ERROR_INVALID_NAME);
    EXPECT_EQ(g_lines.size(), 2u * 15);
    EXPECT_EQ(Node(L"keep.txt")->state, DiffIdentical);
    EXPECT_EQ(Node(L" lead")->state, DiffIdentical);
    // Wine lists Linux names in the private-use range as they are, and reaches them.
    EXPECT_EQ(Node(L"pu\xF02A")->state, DiffIdentical);
    EXPECT_EQ(Node(L"ok")->state, DiffIdentical);
}

// A link is an entry of its own, never a way in: wherever it leads, the scan
// does not follow it, so a synchronization can neither list nor delete what
// lies behind it. Each row: a link below the location `here` and where it leads.
TEST_F(UnixScanTest, FolderLinksAreUnknownAndNeverFollowed) {
    Shell("mkdir -p here/real/inner here/sub outside/other/inner elsewhere && touch here/real/inner/f "
          "outside/other/inner/f elsewhere/e");
    const struct {
        const char* link;
        const char* target;
    } kLinks[] = {{"alias", "real"},  // a folder of the same location
                  {"loop", "."},  {"sub/up", ".."},  {"sub/self", "../sub"},  // back onto its own path
                  {"to", "../outside/other"},  {"into", "../outside/other/inner"},  // the other location
                  {"above", "../outside"},  {"up", ".."},  // a folder that holds a location
                  {"fine", "../elsewhere"}};  // somewhere else entirely
    std::string script = "cd here";
    for (const auto& row : kLinks) script += std::string(" && ln -s ") + row.target + " " + row.link;
    Shell(script);
    const std::wstring here = m_folder.Path() + L"here\\";
    ScanContext context = {nullptr, RecordLines};
    ASSERT_EQ(ScanLocation(m_tree, here.c_str(), &context), 0u);
    std::vector<std::wstring> logged;
    for (size_t i = 0; i + 1 < g_lines.size(); i += 2) {
        logged.push_back(g_lines[i]);
        EXPECT_EQ(g_lines[i + 1], Message(kEntryIsLink));
    }
    std::vector<std::wstring> expected;
    for (const auto& row : kLinks) {
        std::wstring link(row.link, row.link + strlen(row.link));
        std::replace(link.begin(), link.end(), L'/', L'\\');
        const FileNode* node = Node(link);
        ASSERT_NE(node, nullptr) << row.link;
        EXPECT_EQ(node->state, DiffUnknown) << row.link;
        EXPECT_EQ(node->firstChild, nullptr) << row.link;
        expected.push_back(here + link + L"\\");
    }
    std::sort(logged.begin(), logged.end());
    std::sort(expected.begin(), expected.end());
    // Each link once, nothing else.
    EXPECT_EQ(logged, expected);
    EXPECT_EQ(Node(L"real\\inner\\f")->state, DiffIdentical);
}

TEST_F(UnixScanTest, AFolderBeyondWhatTheSystemCanListIsUnknownAndTheRestIsScanned) {
    // Folders moved into each other from the bottom up: the chain is deeper
    // than the longest path Linux opens, so no call ever names the whole of it.
    std::string script = "mkdir stage && cd stage && mkdir n0 && touch n0/deep.txt";
    const std::string name(200, 'n');
    for (int level = 1; level <= 22; ++level) {
        script += " && mkdir n" + std::to_string(level) + " && mv n" + std::to_string(level - 1) + " n" +
                  std::to_string(level) + "/" + name;
    }
    script += " && mv n22 ../chain && cd .. && rmdir stage && touch kept.txt";
    Shell(script);
    ASSERT_EQ(Scan(), 0u);
    std::wstring relative = L"chain";
    const FileNode* node = Node(relative);
    std::wstring wideName(name.begin(), name.end());
    while (node && node->state == DiffIdentical) {
        relative += L"\\" + wideName;
        node = Node(relative);
    }
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->state, DiffUnknown);
    EXPECT_EQ(node->firstChild, nullptr);
    ASSERT_EQ(g_lines.size(), 2u);
    EXPECT_EQ(g_lines[0], m_folder.Path() + relative + L"\\");
    EXPECT_EQ(Node(L"kept.txt")->state, DiffIdentical);
}

}  // namespace
