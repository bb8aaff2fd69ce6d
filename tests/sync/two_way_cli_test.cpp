// The companion's sync command as people who change both copies run it: a
// first run over two folders, then changes on either side or both, and a
// second run, each checked on both folders and in the Recycle Bin.
#include "tests/cli/companion_output.h"
#include "tests/sync/cli_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

const uint64_t kLater = 132000000000000000ull + 2 * 3600ull * 10000000;

// "a.txt=text|d\|d\b.txt=text": files with their content, folders ending in a backslash.
TreeSnapshot Tree(const std::wstring& text) {
    TreeSnapshot tree;
    std::wstringstream items(text);
    std::wstring item;
    while (std::getline(items, item, L'|')) {
        if (item.empty()) continue;
        const size_t equals = item.find(L'=');
        tree[item.substr(0, equals)] = equals == std::wstring::npos ? std::string() : Utf8(item.substr(equals + 1));
    }
    return tree;
}

class TwoWayCliTest : public CliSyncTest {
protected:
    std::wstring m_baseline = m_output.Path() + L"pair.baseline";

    CompanionRun Sync(std::vector<std::wstring> options = {}) {
        options.insert(options.begin(), {L"--baseline", m_baseline});
        return RunCli(L"sync", options);
    }

    // Applies "a.txt=text" (written, later than before), "-a.txt" or "-d\" (deleted), "+d\" (made) to a side.
    void Change(int side, const std::wstring& changes) {
        std::wstringstream items(changes);
        std::wstring item;
        while (std::getline(items, item, L'|')) {
            if (item.empty()) continue;
            const std::wstring path = Root(side) + item.substr(1);
            if (item[0] == L'-') {
                SHFILEOPSTRUCTW remove = {nullptr, FO_DELETE, nullptr, nullptr, FOF_NO_UI};
                const std::wstring from = (path.back() == L'\\' ? path.substr(0, path.size() - 1) : path) + L'\0';
                remove.pFrom = from.c_str();
                ASSERT_EQ(SHFileOperationW(&remove), 0) << Utf8(item);
            } else if (item[0] == L'+') {
                Folder(side, item.substr(1, item.size() - 2));
            } else {
                const size_t equals = item.find(L'=');
                File(side, item.substr(0, equals), Utf8(item.substr(equals + 1)), kLater);
            }
        }
    }
};

// Each line of the two-way table, and each folder case: what the second run
// does after the changes, on both sides and in the Recycle Bin.
TEST_F(TwoWayCliTest, EachSidesChangeGoesAcrossAndWhatBothChangedIsAConflict) {
    const struct {
        const char* name;
        std::wstring base, left, right;  // the folders at the first run; the changes after it
        std::wstring afterLeft, afterRight;
        std::string conflicts;
        DWORD status;
        std::vector<std::wstring> binned;  // "L:path" or "R:path": sent to the Recycle Bin from that side
    } rows[] = {
        {"changed | unchanged", L"a.txt=one", L"a.txt=left edit", L"", L"a.txt=left edit", L"a.txt=left edit", "", 0,
         {L"R:a.txt"}},
        {"unchanged | changed", L"a.txt=one", L"", L"a.txt=right edit", L"a.txt=right edit", L"a.txt=right edit", "",
         0, {L"L:a.txt"}},
        {"deleted | unchanged", L"a.txt=one|b.txt=two", L"-a.txt", L"", L"b.txt=two", L"b.txt=two", "", 0,
         {L"R:a.txt"}},
        {"unchanged | deleted", L"a.txt=one|b.txt=two", L"", L"-a.txt", L"b.txt=two", L"b.txt=two", "", 0,
         {L"L:a.txt"}},
        {"changed | changed to the same", L"a.txt=one", L"a.txt=both", L"a.txt=both", L"a.txt=both", L"a.txt=both",
         "", 0, {}},
        {"changed | changed differently", L"a.txt=one", L"a.txt=left edit", L"a.txt=right", L"a.txt=left edit",
         L"a.txt=right", "CONFLICT\tfile\ta.txt\tboth-changed\n", 1, {}},
        {"deleted | changed", L"a.txt=one|b.txt=two", L"-a.txt", L"a.txt=right", L"b.txt=two",
         L"a.txt=right|b.txt=two", "CONFLICT\tfile\ta.txt\tdeleted-changed\n", 1, {}},
        {"changed | deleted", L"a.txt=one|b.txt=two", L"a.txt=left", L"-a.txt", L"a.txt=left|b.txt=two",
         L"b.txt=two", "CONFLICT\tfile\ta.txt\tchanged-deleted\n", 1, {}},
        {"created | created differently", L"b.txt=two", L"a.txt=left", L"a.txt=right edit", L"a.txt=left|b.txt=two",
         L"a.txt=right edit|b.txt=two", "CONFLICT\tfile\ta.txt\tboth-created\n", 1, {}},
        {"created | created the same", L"b.txt=two", L"a.txt=same", L"a.txt=same", L"a.txt=same|b.txt=two",
         L"a.txt=same|b.txt=two", "", 0, {}},
        {"deleted | deleted", L"a.txt=one|b.txt=two", L"-a.txt", L"-a.txt", L"b.txt=two", L"b.txt=two", "", 0, {}},
        {"file became a folder | unchanged", L"x=file|b.txt=two", L"-x|+x\\|x\\in.txt=inside", L"",
         L"b.txt=two|x\\|x\\in.txt=inside", L"b.txt=two|x\\|x\\in.txt=inside", "", 0, {L"R:x"}},
        {"unchanged | folder became a file", L"x\\|x\\in.txt=inside|b.txt=two", L"", L"-x\\|x=file",
         L"b.txt=two|x=file", L"b.txt=two|x=file", "", 0, {L"L:x\\in.txt"}},
        {"file became a folder | changed", L"x=file|b.txt=two", L"-x|+x\\|x\\in.txt=inside", L"x=changed",
         L"b.txt=two|x\\|x\\in.txt=inside", L"b.txt=two|x=changed",
         "CONFLICT\tfolder\tx\tkind-changed\nCONFLICT\tfile\tx\\in.txt\tkind-changed\n", 1, {}},
        {"folder deleted | unchanged", L"d\\|d\\a.txt=one|d\\b.txt=two|c.txt=3", L"-d\\", L"", L"c.txt=3", L"c.txt=3",
         "", 0, {L"R:d\\a.txt", L"R:d\\b.txt"}},
        {"folder deleted | a file in it changed", L"d\\|d\\a.txt=one|d\\b.txt=two|c.txt=3", L"-d\\",
         L"d\\a.txt=changed", L"c.txt=3", L"c.txt=3|d\\|d\\a.txt=changed",
         "CONFLICT\tfolder\td\tdeleted-changed\nCONFLICT\tfile\td\\a.txt\tdeleted-changed\n", 1, {L"R:d\\b.txt"}},
        {"folder deleted | a file made in it", L"d\\|d\\a.txt=one|c.txt=3", L"-d\\", L"d\\new.txt=new", L"c.txt=3",
         L"c.txt=3|d\\|d\\new.txt=new",
         "CONFLICT\tfolder\td\tdeleted-changed\nCONFLICT\tfile\td\\new.txt\tdeleted-changed\n", 1, {L"R:d\\a.txt"}},
        {"folder made | unchanged", L"c.txt=3", L"e\\f\\g.txt=deep", L"", L"c.txt=3|e\\|e\\f\\|e\\f\\g.txt=deep",
         L"c.txt=3|e\\|e\\f\\|e\\f\\g.txt=deep", "", 0, {}},
    };
    unsigned number = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        // Folders of its own, so that the Recycle Bin tells this row's files from those of others.
        const std::wstring pair = L"row" + std::to_wstring(++number);
        m_left = m_folder.MakeFolder(pair + L"L");
        m_right = m_folder.MakeFolder(pair + L"R");
        m_baseline = m_output.Path() + pair + L".baseline";
        for (const auto& [path, content] : Tree(row.base)) {
            if (path.back() == L'\\') Folder(0, path.substr(0, path.size() - 1));
            else File(0, path, content);
        }
        ASSERT_EQ(Sync().exitCode, 0u);
        ASSERT_EQ(SnapshotTree(m_right), SnapshotTree(m_left));
        Change(0, row.left);
        Change(1, row.right);
        const CompanionRun run = Sync();
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_EQ(run.out.substr(run.out.find("CONFLICT") == std::string::npos ? run.out.size()
                                                                               : run.out.find("CONFLICT")),
                  row.conflicts);
        EXPECT_EQ(DescribeChanges(Tree(row.afterLeft), SnapshotTree(m_left)), "");
        EXPECT_EQ(DescribeChanges(Tree(row.afterRight), SnapshotTree(m_right)), "");
        // Exactly what the row names went to the Recycle Bin, and nothing else of the row's folders.
        std::vector<std::wstring> binned;
        for (const std::wstring& entry : RecycleBinEntries()) {
            for (int side = 0; side < 2; ++side) {
                if (_wcsnicmp(entry.c_str(), Root(side).c_str(), Root(side).size()) == 0)
                    binned.push_back(std::wstring(side ? L"R:" : L"L:") + entry.substr(Root(side).size()));
            }
        }
        std::sort(binned.begin(), binned.end());
        EXPECT_EQ(binned, row.binned);
        // The run recorded what it did: the next one finds nothing new.
        const CompanionRun again = Sync();
        EXPECT_EQ(again.exitCode, row.status) << again.err;
        EXPECT_EQ(again.out, row.conflicts);
    }
}

}  // namespace
