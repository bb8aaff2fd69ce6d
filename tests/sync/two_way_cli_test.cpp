// The companion's sync command as people who change both copies run it: a
// first run over two folders, then changes on either side or both, and a
// second run, each checked on both folders and in the Recycle Bin.
#include "model/text.h"
#include "tests/cli/companion_output.h"
#include "tests/sync/cli_sync.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

namespace {

const uint64_t kHour = 3600ull * 10000000;
const uint64_t kLater = 132000000000000000ull + 2 * kHour;

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

std::string IsoTime(uint64_t ticks) {
    char text[kIsoTimeBytes + 1];
    text[FormatIsoTime(ticks, text)] = 0;
    return text;
}

// The output with each conflict line cut to its first four fields, which
// scripts of before the sizes and times were told rely on.
std::string FirstFourFields(const std::string& out) {
    std::string cut;
    size_t begin = 0;
    while (begin < out.size()) {
        size_t end = out.find('\n', begin);
        end = end == std::string::npos ? out.size() : end + 1;
        std::string line = out.substr(begin, end - begin);
        if (line.compare(0, 9, "CONFLICT\t") == 0) {
            size_t field = 0;
            for (int tabs = 0; tabs < 4 && field != std::string::npos; ++tabs) field = line.find('\t', field + 1);
            if (field != std::string::npos) line = line.substr(0, field) + "\n";
        }
        cut += line;
        begin = end;
    }
    return cut;
}

class TwoWayCliTest : public CliSyncTest {
protected:
    std::wstring m_baseline = m_output.Path() + L"pair.baseline";

    // A file of 256 MiB, long enough in copying to be caught under way.
    static void BigFile(const std::wstring& path) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = 256ll << 20;
        ASSERT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
        CloseHandle(file);
    }

    CompanionRun Sync(std::vector<std::wstring> options = {}) {
        options.insert(options.begin(), {L"--baseline", m_baseline});
        return RunCli(L"sync", options);
    }

    // Folders and a baseline of the row's own, so that the Recycle Bin tells this row's files from those of others.
    void StartPair(const std::wstring& pair) {
        m_left = m_folder.MakeFolder(pair + L"L");
        m_right = m_folder.MakeFolder(pair + L"R");
        m_baseline = m_output.Path() + pair + L".baseline";
    }

    // What went to the Recycle Bin from the pair: "L:path" or "R:path", sorted.
    std::vector<std::wstring> Binned() const {
        std::vector<std::wstring> binned;
        for (const std::wstring& entry : RecycleBinEntries()) {
            for (int side = 0; side < 2; ++side) {
                if (_wcsnicmp(entry.c_str(), Root(side).c_str(), Root(side).size()) == 0)
                    binned.push_back(std::wstring(side ? L"R:" : L"L:") + entry.substr(Root(side).size()));
            }
        }
        std::sort(binned.begin(), binned.end());
        return binned;
    }

    // Applies "a.txt=text" (written, later than before), "-a.txt" or "-d\" (deleted), "+d\" (made),
    // "~a.txt>A.txt" (renamed) or "@a.txt" (the same bytes written at a later time, another on each side).
    void Change(int side, const std::wstring& changes) {
        std::wstringstream items(changes);
        std::wstring item;
        while (std::getline(items, item, L'|')) {
            if (item.empty()) continue;
            const std::wstring path = Root(side) + item.substr(1);
            if (item[0] == L'~') {
                // Through another name: a volume may keep the spelling of a rename to the same name.
                const size_t to = item.find(L'>');
                const std::wstring step = Root(side) + L"respelt";
                ASSERT_TRUE(MoveFileW(path.substr(0, to + Root(side).size() - 1).c_str(), step.c_str()) &&
                            MoveFileW(step.c_str(), (Root(side) + item.substr(to + 1)).c_str()))
                    << Utf8(item);
            } else if (item[0] == L'@') {
                File(side, item.substr(1), ReadFileBytes(path), kLater + side * kHour);
            } else if (item[0] == L'-') {
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
        StartPair(L"row" + std::to_wstring(++number));
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
        EXPECT_EQ(FirstFourFields(run.out.substr(run.out.find("CONFLICT") == std::string::npos
                                                     ? run.out.size()
                                                     : run.out.find("CONFLICT"))),
                  row.conflicts);
        EXPECT_EQ(DescribeChanges(Tree(row.afterLeft), SnapshotTree(m_left)), "");
        EXPECT_EQ(DescribeChanges(Tree(row.afterRight), SnapshotTree(m_right)), "");
        // Exactly what the row names went to the Recycle Bin, and nothing else of the row's folders.
        EXPECT_EQ(Binned(), row.binned);
        // The run recorded what it did: the next one finds nothing new.
        const CompanionRun again = Sync();
        EXPECT_EQ(again.exitCode, row.status) << again.err;
        EXPECT_EQ(FirstFourFields(again.out), row.conflicts);
    }
}

// The first run over two folders copies what one side has, tells the pairs
// that differ as conflicts and deletes nothing; a dry run shows it first and
// changes nothing; a repeated run does nothing new; a conflict made right by
// the user ends; --new-baseline adopts folders that were moved.
TEST_F(TwoWayCliTest, TheFirstRunDeletesNothingAndARepeatedRunDoesNothingNew) {
    File(0, L"a.txt", "left only");
    File(1, L"only\\c.txt", "right only");
    File(0, L"same.txt", "same");
    File(1, L"same.txt", "same");
    File(0, L"x.txt", "left");
    File(1, L"x.txt", "right!");
    const TreeSnapshot before = SnapshotTree(m_folder.Path());
    const CompanionRun dry = Sync({L"--dry-run"});
    EXPECT_EQ(dry.exitCode, 1u) << dry.err;
    EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
    EXPECT_FALSE(Exists(m_baseline));
    const CompanionRun first = Sync();
    EXPECT_EQ(first.exitCode, 1u) << first.err;
    EXPECT_EQ(first.out, dry.out);
    EXPECT_EQ(FirstFourFields(first.out), Utf8(L"mkdir\t" + m_left + L"only\ncopy\t" + m_left + L"a.txt\t" + m_right + L"a.txt\n" +
                              L"copy\t" + m_right + L"only\\c.txt\t" + m_left + L"only\\c.txt\n") +
                             "CONFLICT\tfile\tx.txt\tboth-created\n");
    EXPECT_EQ(SummaryOf(first), "files copied 2 (0 replaced), deleted 0; folders created 1, removed 0; not done 0; "
                                "conflicts 1\n");
    const std::string baseline = ReadFileBytes(m_baseline);
    for (int again = 0; again < 2; ++again) {
        const TreeSnapshot settled = SnapshotTree(m_folder.Path());
        const CompanionRun repeated = Sync();
        EXPECT_EQ(repeated.exitCode, 1u) << repeated.err;
        // After the reason: each side's size and time, and which side is newer.
        EXPECT_EQ(repeated.out, "CONFLICT\tfile\tx.txt\tboth-created\t4\t" + IsoTime(kTime) + "\t6\t" +
                                    IsoTime(kTime) + "\tsame\n");
        EXPECT_EQ(DescribeChanges(settled, SnapshotTree(m_folder.Path())), "");
        EXPECT_EQ(ReadFileBytes(m_baseline), baseline);
    }
    // As JSON: the conflict as a record of its own, then the summary with the run's counts.
    const CompanionRun json = Sync({L"--dry-run", L"--json"});
    EXPECT_EQ(json.exitCode, 1u) << json.err;
    EXPECT_EQ(json.out, "{\"record\":\"conflict\",\"kind\":\"file\",\"path\":\"x.txt\",\"reason\":\"both-created\","
                        "\"left\":{\"kind\":\"file\",\"size\":4,\"time\":\"" + IsoTime(kTime) +
                            "\"},\"right\":{\"kind\":\"file\",\"size\":6,\"time\":\"" + IsoTime(kTime) +
                            "\"},\"newer\":\"same\"}\n"
                        "{\"record\":\"summary\",\"dry-run\":true,\"copied\":0,\"replaced\":0,\"deleted\":0,"
                        "\"created\":0,\"removed\":0,\"not-done\":0,\"conflicts\":1,\"unknown\":0}\n");
    File(1, L"x.txt", "left");
    for (int again = 0; again < 2; ++again) {
        // The second time after a rename that changes only the case: no change.
        if (again) ASSERT_TRUE(MoveFileW((m_left + L"same.txt").c_str(), (m_left + L"SAME.TXT").c_str()));
        const CompanionRun agreed = Sync();
        EXPECT_EQ(agreed.exitCode, 0u) << agreed.err;
        EXPECT_EQ(agreed.out, "");
    }
    for (const std::wstring& entry : RecycleBinEntries()) EXPECT_NE(entry.find(m_folder.Path()), 0u) << Utf8(entry);
    // Moved: the baseline names the old places, and only --new-baseline adopts the new ones.
    const std::wstring moved = m_folder.Path() + L"moved";
    ASSERT_TRUE(MoveFileW(m_left.substr(0, m_left.size() - 1).c_str(), moved.c_str()));
    m_left = moved + L"\\";
    EXPECT_EQ(Sync().exitCode, 2u);
    File(0, L"after the move.txt", "new");
    const CompanionRun adopted = Sync({L"--new-baseline"});
    EXPECT_EQ(adopted.exitCode, 0u) << adopted.err;
    EXPECT_EQ(SnapshotTree(m_left), SnapshotTree(m_right));
    EXPECT_EQ(Sync().exitCode, 0u);
}

// Against a baseline made with --content, a file whose bytes changed under
// the same size and time is a change, and goes across.
TEST_F(TwoWayCliTest, ByContentAChangeUnderTheSameSizeAndTimeGoesAcross) {
    File(0, L"a.bin", "0123456789");
    ASSERT_EQ(Sync({L"--content"}).exitCode, 0u);
    File(1, L"a.bin", "0123456780");
    EXPECT_EQ(Sync().exitCode, 2u) << "a baseline by content is refused to a run by time";
    const CompanionRun run = Sync({L"--content"});
    EXPECT_EQ(run.exitCode, 0u) << run.err;
    EXPECT_EQ(ReadFileBytes(m_left + L"a.bin"), "0123456780");
    EXPECT_EQ(Sync({L"--content"}).out, "");
}

// The baseline knows which folder is which: the pair may be given either way
// round, each side's record goes with its own folder, and the next run in the
// first order finds nothing new.
TEST_F(TwoWayCliTest, ThePairMayBeGivenEitherWayRound) {
    File(0, L"a.txt", "one");
    File(1, L"b.txt", "two");
    ASSERT_EQ(Sync().exitCode, 0u);
    Change(1, L"a.txt=changed on the right");
    Change(0, L"-b.txt");
    std::swap(m_left, m_right);
    const CompanionRun swapped = Sync();
    std::swap(m_left, m_right);
    EXPECT_EQ(swapped.exitCode, 0u) << swapped.err;
    EXPECT_EQ(SnapshotTree(m_left), Tree(L"a.txt=changed on the right"));
    EXPECT_EQ(SnapshotTree(m_right), Tree(L"a.txt=changed on the right"));
    const CompanionRun again = Sync();
    EXPECT_EQ(again.exitCode, 0u) << again.err;
    EXPECT_EQ(again.out, "");
}

// By size and time, two files of one size are told by their bytes wherever a
// side changed: other bytes under times within the window are a conflict, and
// the same bytes settle the pair whatever the times, without a copy or
// anything sent to the Recycle Bin.
TEST_F(TwoWayCliTest, FilesOfOneSizeAreToldByTheirBytes) {
    const uint64_t kSoon = kLater + 10000000;  // a second later: within the window
    const struct {
        const char* name;
        bool firstRun;  // the two files stand there before any run
        const char* left;
        uint64_t leftTime;
        const char* right;
        uint64_t rightTime;
        const char* conflicts;
        unsigned status;
    } rows[] = {
        {"edits of one size within the window", false, "left", kLater, "rght", kSoon,
         "CONFLICT\tfile\ta.txt\tboth-changed\n", 1},
        {"the same edit at other times", false, "same", kLater, "same", kLater + 3600ull * 10000000 * 5, "", 0},
        {"only the time changed", false, "base", kLater, nullptr, 0, "", 0},
        {"copies made without their times", true, "copy", kTime, "copy", kLater, "", 0},
    };
    unsigned number = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartPair(L"bytes" + std::to_wstring(++number));
        File(0, L"keep.txt", "kept");
        if (row.firstRun) {
            File(1, L"keep.txt", "kept");
        } else {
            File(0, L"a.txt", "base");
            ASSERT_EQ(Sync().exitCode, 0u);
        }
        File(0, L"a.txt", row.left, row.leftTime);
        if (row.right) File(1, L"a.txt", row.right, row.rightTime);
        const TreeSnapshot before = SnapshotTree(m_folder.Path());
        const CompanionRun run = Sync();
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_EQ(FirstFourFields(run.out.substr(std::min(run.out.find("CONFLICT"), run.out.size()))), row.conflicts);
        // Nothing was copied, and nothing went to the Recycle Bin.
        EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
        for (int side = 0; side < 2; ++side) EXPECT_FALSE(InRecycleBin(L"a.txt", Root(side)));
        EXPECT_EQ(FirstFourFields(Sync().out), row.conflicts);
    }
}

// --prefer settles a conflict with one side's version, the other going to the
// Recycle Bin; a deletion wins only where the preferred side made it; times
// within the window stay a conflict for "newer". Both guards count both sides.
TEST_F(TwoWayCliTest, PreferSettlesEachConflictWithOneSidesVersion) {
    const uint64_t kNewer = kLater + 100000000;
    const struct {
        const char* name;
        const wchar_t* prefer;
        bool leftDeletes;
        uint64_t leftTime;
        const char* after;  // both sides' a.txt; null when it is gone from both
        const wchar_t* binned;  // the folder whose a.txt went to the Recycle Bin; null for none
        unsigned status;
    } rows[] = {
        {"left wins", L"left", false, kNewer, "left", L"R", 0},
        {"right wins", L"right", false, kNewer, "right!", L"L", 0},
        {"the newer wins", L"newer", false, kNewer, "left", L"R", 0},
        {"times alike stay a conflict", L"newer", false, kLater, nullptr, nullptr, 1},
        {"a deletion preferred deletes the change", L"left", true, 0, nullptr, L"R", 0},
        {"a change wins over a deletion not preferred", L"right", true, 0, "right!", nullptr, 0},
        {"newer keeps the change", L"newer", true, 0, "right!", nullptr, 0},
    };
    unsigned number = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartPair(L"prefer" + std::to_wstring(++number));
        File(0, L"a.txt", "base");
        // A side left empty would be refused as the wrong folder.
        File(0, L"keep.txt", "kept");
        ASSERT_EQ(Sync().exitCode, 0u);
        if (row.leftDeletes) {
            Change(0, L"-a.txt");
        } else {
            File(0, L"a.txt", "left", row.leftTime);
        }
        File(1, L"a.txt", "right!", kLater);
        const CompanionRun run = Sync({L"--prefer", row.prefer});
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        if (row.status == 0) {
            EXPECT_EQ(Exists(m_left + L"a.txt"), row.after != nullptr);
            EXPECT_EQ(SnapshotTree(m_left), SnapshotTree(m_right));
            if (row.after) EXPECT_EQ(ReadFileBytes(m_left + L"a.txt"), row.after);
            EXPECT_EQ(Sync().out, "");
        } else {
            EXPECT_EQ(ReadFileBytes(m_left + L"a.txt"), "left");
            EXPECT_EQ(ReadFileBytes(m_right + L"a.txt"), "right!");
        }
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(InRecycleBin(L"a.txt", Root(side)), row.binned && *row.binned == (side ? L'R' : L'L'));
    }
    // One replacement on each side is two.
    File(0, L"a.txt", "left again", kNewer);
    File(0, L"b.txt", "b");
    ASSERT_EQ(Sync({L"--prefer", L"left"}).exitCode, 0u);
    File(0, L"a.txt", "once more on the left", kNewer + 100000000);
    File(1, L"b.txt", "bb on the right", kNewer + 100000000);
    const CompanionRun guarded = Sync({L"--max-replace", L"1"});
    EXPECT_EQ(guarded.exitCode, 2u);
    EXPECT_NE(guarded.err.find("would replace 2 files in LEFT and RIGHT, more than --max-replace 1"),
              std::string::npos)
        << guarded.err;
}

// Every refusal ends the run before it changes anything, the baseline too.
TEST_F(TwoWayCliTest, ARefusedRunChangesNothing) {
    File(0, L"a.txt", "one");
    File(0, L"d\\b.txt", "two");
    ASSERT_EQ(Sync().exitCode, 0u);
    const std::wstring other = m_folder.MakeFolder(L"other");
    const std::wstring damaged = m_output.Path() + L"damaged.baseline";
    const std::string whole = ReadFileBytes(m_baseline);
    m_output.MakeFile(L"damaged.baseline", whole.substr(0, whole.size() - 4));
    const std::wstring left = m_left.substr(0, m_left.size() - 1);
    const std::wstring right = m_right.substr(0, m_right.size() - 1);
    const struct {
        std::vector<std::wstring> arguments;
        const char* says;
    } rows[] = {
        {{left, other}, "was made for another pair of folders: LEFT "},
        {{L"--baseline", m_left + L"pair.baseline", left, right}, "lies inside LEFT"},
        {{L"--baseline", damaged, left, right}, "is damaged: line "},
        {{L"--exclude", L"*.tmp", left, right}, "was made with the exclusions none, and this run has \"*.tmp\""},
        {{L"--content", left, right}, "was made comparing files by size and time, a time window of 2 seconds"},
        {{L"--time-window", L"10", left, right}, "and this run compares them by size and time, a time window of 10"},
        {{L"--skip-links", left, right}, "was made keeping links, and this run has --skip-links"},
        {{left, m_folder.Path() + L"nowhere"}, "RIGHT folder not found"},
        {{left, m_output.Path() + L"damaged.baseline"}, "sync changes folders, and RIGHT is a catalog"},
    };
    const TreeSnapshot before = SnapshotTree(m_folder.Path());
    const TreeSnapshot outputBefore = SnapshotTree(m_output.Path());
    for (const auto& row : rows) {
        std::vector<std::wstring> arguments = {L"sync", L"--baseline", m_baseline};
        arguments.insert(arguments.end(), row.arguments.begin(), row.arguments.end());
        TempFolder output;
        const CompanionRun run = RunCompanion(arguments, output);
        EXPECT_EQ(run.exitCode, 2u) << row.says << "\n" << run.err;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
    // An emptied side would empty the other, even where a change on the other
    // side keeps a file as a conflict: refused but with --allow-delete-all.
    Change(0, L"-a.txt|-d\\");
    for (bool changedOnTheRight : {false, true}) {
        if (changedOnTheRight) File(1, L"d\\b.txt", "changed on the right", kLater);
        const TreeSnapshot emptied = SnapshotTree(m_folder.Path());
        const CompanionRun run = Sync();
        EXPECT_EQ(run.exitCode, 2u);
        EXPECT_NE(run.err.find(changedOnTheRight ? "refused: LEFT is empty, and the run would delete 1 files and folders of RIGHT"
                                                 : "refused: LEFT is empty, and the run would delete 3 files"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(DescribeChanges(emptied, SnapshotTree(m_folder.Path())), "");
        EXPECT_EQ(DescribeChanges(outputBefore, SnapshotTree(m_output.Path())), "");
    }
    EXPECT_EQ(Sync({L"--allow-delete-all"}).exitCode, 1u);
    EXPECT_EQ(SnapshotTree(m_right), Tree(L"d\\|d\\b.txt=changed on the right"));
}

// An operation that fails is told with its reason and raises the status; the
// file it was to replace stays whole, nothing else moves, and the baseline
// keeps the row's record, so that the next run does it.
TEST_F(TwoWayCliTest, AFailedOperationIsToldAndTheNextRunDoesIt) {
    File(0, L"held.txt", "one");
    File(0, L"other.txt", "two");
    ASSERT_EQ(Sync().exitCode, 0u);
    File(0, L"held.txt", "left edit");
    File(1, L"other.txt", "right edit");
    HANDLE held = CreateFileW((m_right + L"held.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const CompanionRun failed = Sync();
    CloseHandle(held);
    EXPECT_EQ(failed.exitCode, 1u) << failed.err;
    EXPECT_NE(failed.err.find(Utf8(L"copy\t" + m_left + L"held.txt\t" + m_right + L"held.txt: ")), std::string::npos)
        << failed.err;
    EXPECT_NE(failed.err.find("not done 1;"), std::string::npos) << failed.err;
    EXPECT_EQ(failed.err.find("File operations completed."), std::string::npos) << failed.err;
    EXPECT_EQ(DescribeChanges(Tree(L"held.txt=left edit|other.txt=right edit"), SnapshotTree(m_left)), "");
    EXPECT_EQ(DescribeChanges(Tree(L"held.txt=one|other.txt=right edit"), SnapshotTree(m_right)), "");
    const CompanionRun next = Sync();
    EXPECT_EQ(next.exitCode, 0u) << next.err;
    EXPECT_EQ(next.out, Utf8(L"copy\t" + m_left + L"held.txt\t" + m_right + L"held.txt\n"));
    EXPECT_EQ(SnapshotTree(m_left), SnapshotTree(m_right));
}

// A run killed while it copies leaves every real name whole; the next run
// ends with both sides agreeing, and nothing lost.
TEST_F(TwoWayCliTest, AfterAKilledRunTheNextOneEndsWithBothSidesAgreeing) {
    File(0, L"kept.txt", "kept");
    File(0, L"big.bin", "the earlier version");
    ASSERT_EQ(Sync().exitCode, 0u);
    File(1, L"from the right.txt", "made on the right");
    BigFile(m_left + L"big.bin");
    ASSERT_TRUE(SetLastWriteTime(m_left + L"big.bin", kLater));
    RunningCompanion running = StartCompanion({L"sync", L"--baseline", m_baseline, m_left, m_right}, m_output, false);
    bool caught = false;
    for (int waited = 0; !caught && waited < 120000; ++waited) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((m_right + L"~QM?????.TMP").c_str(), &found);
        caught = search != INVALID_HANDLE_VALUE;
        if (caught) FindClose(search);
        if (!caught && WaitForSingleObject(running.process.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    ASSERT_TRUE(caught) << "the copy was not caught under way";
    TerminateProcess(running.process.hProcess, 9);
    FinishCompanion(&running);
    EXPECT_EQ(ReadFileBytes(m_right + L"big.bin"), "the earlier version");
    const CompanionRun next = Sync();
    EXPECT_EQ(next.exitCode, 0u) << next.err;
    EXPECT_EQ(SnapshotTree(m_left), SnapshotTree(m_right));
    EXPECT_EQ(SeenOnDisk(m_right + L"big.bin").size, 256ull << 20);
    EXPECT_EQ(ReadFileBytes(m_left + L"from the right.txt"), "made on the right");
    EXPECT_EQ(Sync().out, "");
}

// A name whose case alone one side changed is renamed so on the other side,
// and a file whose time alone one side changed gives the other side's file its
// time: nothing copied for either, nothing to the Recycle Bin but what an edit
// replaces, a dry run (as JSON) showing it first, and a second run doing nothing.
TEST_F(TwoWayCliTest, ACaseOnlyRenameAndATimeOnlyChangeGoAcrossAsSuch) {
    const struct {
        const char* name;
        bool beforeFirstRun;  // the changes meet a first run
        std::wstring base, left, right;  // the folders at the first run (made on LEFT); the changes after it
        std::wstring afterLeft, afterRight;
        std::wstring out;  // "L:" and "R:" stand for the roots
        std::string figures;  // of the summary, after "not done 0"
        unsigned status;
        std::vector<std::wstring> binned;
        bool timesApart = false;  // LEFT's and RIGHT's files keep times of their own
    } rows[] = {
        {"file renamed on LEFT", false, L"a.txt=one|b.txt=two", L"~a.txt>A.txt", L"", L"A.txt=one|b.txt=two",
         L"A.txt=one|b.txt=two", L"rename\tR:a.txt\tR:A.txt\n", "; renamed 1", 0, {}},
        {"folder with contents renamed on RIGHT", false, L"docs\\x.txt=x|docs\\sub\\y.txt=y", L"",
         L"~docs>Docs", L"Docs\\|Docs\\x.txt=x|Docs\\sub\\|Docs\\sub\\y.txt=y",
         L"Docs\\|Docs\\x.txt=x|Docs\\sub\\|Docs\\sub\\y.txt=y", L"rename\tL:docs\tL:Docs\n", "; renamed 1", 0, {}},
        {"renamed and edited on LEFT", false, L"a.txt=one", L"~a.txt>A.txt|A.txt=edited", L"", L"A.txt=edited",
         L"A.txt=edited", L"rename\tR:a.txt\tR:A.txt\ncopy\tL:A.txt\tR:A.txt\n", "; renamed 1", 0, {L"R:A.txt"}},
        {"renamed on LEFT, edited on RIGHT", false, L"a.txt=one", L"~a.txt>A.txt", L"a.txt=right edit",
         L"A.txt=right edit", L"A.txt=right edit", L"rename\tR:a.txt\tR:A.txt\ncopy\tR:A.txt\tL:A.txt\n",
         "; renamed 1", 0, {L"L:A.txt"}},
        {"both renamed, each its own way", false, L"a.txt=one", L"~a.txt>A.txt", L"~a.txt>a.TXT", L"A.txt=one",
         L"a.TXT=one", L"", "", 0, {}},
        {"spelt apart on a first run", true, L"", L"a.txt=same", L"A.TXT=same", L"a.txt=same", L"A.TXT=same", L"",
         "", 0, {}},
        {"time changed on LEFT", false, L"a.txt=one", L"@a.txt", L"", L"a.txt=one", L"a.txt=one",
         L"set-time\tL:a.txt\tR:a.txt\n", "; times set 1", 0, {}},
        {"time changed on RIGHT", false, L"a.txt=one", L"", L"@a.txt", L"a.txt=one", L"a.txt=one",
         L"set-time\tR:a.txt\tL:a.txt\n", "; times set 1", 0, {}},
        {"times changed on both sides", false, L"a.txt=one", L"@a.txt", L"@a.txt", L"a.txt=one", L"a.txt=one", L"",
         "", 0, {}, true},
        {"time changed on LEFT, bytes on RIGHT", false, L"a.txt=one", L"@a.txt", L"a.txt=right edit", L"a.txt=one",
         L"a.txt=right edit", L"CONFLICT\tfile\ta.txt\tboth-changed\n", "", 1, {}},
    };
    unsigned number = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        StartPair(L"case" + std::to_wstring(++number));
        for (const auto& [path, content] : Tree(row.base)) File(0, path, content);
        if (!row.beforeFirstRun) {
            ASSERT_EQ(Sync().exitCode, 0u);
            ASSERT_EQ(SnapshotTree(m_right), SnapshotTree(m_left));
        }
        Change(0, row.left);
        Change(1, row.right);
        std::wstring out = row.out;
        for (const auto& [mark, root] : {std::pair{L"L:", m_left}, std::pair{L"R:", m_right}})
            for (size_t at = out.find(mark); at != std::wstring::npos; at = out.find(mark, at)) out.replace(at, 2, root);
        // The dry run changes nothing, the baseline neither, and shows each rename and time as a record of its kind.
        const TreeSnapshot before = SnapshotTree(m_folder.Path());
        const std::string baseline = Exists(m_baseline) ? ReadFileBytes(m_baseline) : "";
        const CompanionRun dry = Sync({L"--dry-run", L"--json"});
        EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
        EXPECT_EQ(Exists(m_baseline) ? ReadFileBytes(m_baseline) : "", baseline);
        for (const wchar_t* kind : {L"rename\t", L"set-time\t"}) {
            const size_t line = out.find(kind);
            if (line == std::wstring::npos) continue;
            const size_t source = line + wcslen(kind);
            const size_t target = out.find(L'\t', source) + 1;
            const auto json = [](std::wstring path) {
                for (size_t at = path.find(L'\\'); at != std::wstring::npos; at = path.find(L'\\', at + 2))
                    path.insert(at, 1, L'\\');
                return "\"" + Utf8(path) + "\"";
            };
            const std::string record = "\"kind\":\"" + Utf8(std::wstring(kind, wcslen(kind) - 1)) +
                                       "\",\"source\":" + json(out.substr(source, target - 1 - source)) +
                                       ",\"target\":" + json(out.substr(target, out.find(L'\n', target) - target));
            EXPECT_NE(dry.out.find(record), std::string::npos) << dry.out;
        }
        const CompanionRun run = Sync();
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_EQ(FirstFourFields(run.out), Utf8(out));
        EXPECT_NE(SummaryOf(run).find("not done 0" + row.figures + "; conflicts"), std::string::npos) << run.err;
        EXPECT_EQ(DescribeChanges(Tree(row.afterLeft), SnapshotTree(m_left)), "");
        EXPECT_EQ(DescribeChanges(Tree(row.afterRight), SnapshotTree(m_right)), "");
        // A time carried across is the changed side's; times changed on both sides stay each side's.
        for (const auto& [path, content] : SnapshotTree(m_left)) {
            if (path.back() == L'\\' || !Exists(m_right + path)) continue;
            EXPECT_EQ(FileTimeTicks(SeenOnDisk(m_left + path).lastWriteTime) !=
                          FileTimeTicks(SeenOnDisk(m_right + path).lastWriteTime),
                      row.timesApart)
                << Utf8(path);
        }
        EXPECT_EQ(Binned(), row.binned);
        // The baseline recorded each side as it is: the next run finds nothing new.
        const TreeSnapshot settled = SnapshotTree(m_folder.Path());
        const CompanionRun again = Sync();
        EXPECT_EQ(again.exitCode, row.status) << again.err;
        EXPECT_EQ(FirstFourFields(again.out), Utf8(out.substr(out.find(L"CONFLICT") == std::wstring::npos
                                                                    ? out.size()
                                                                    : out.find(L"CONFLICT"))));
        EXPECT_EQ(DescribeChanges(settled, SnapshotTree(m_folder.Path())), "");
    }
}

// A first run has no record of what either side held: a temporary file its
// killed copy left is told from a user's file only by the run's journal.
TEST_F(TwoWayCliTest, AfterAKilledFirstRunItsTemporaryFilesDoNotTravelToTheOtherSide) {
    File(0, L"kept.txt", "kept");
    File(1, L"from the right.txt", "made on the right");
    BigFile(m_left + L"big.bin");
    RunningCompanion running = StartCompanion({L"sync", L"--baseline", m_baseline, m_left, m_right}, m_output, false);
    std::vector<std::wstring> leftovers;
    for (int waited = 0; leftovers.empty() && waited < 120000; ++waited) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((m_right + L"~QM?????.TMP").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            leftovers.push_back(found.cFileName);
            FindClose(search);
        }
        if (leftovers.empty() && WaitForSingleObject(running.process.hProcess, 1) == WAIT_OBJECT_0) break;
    }
    ASSERT_FALSE(leftovers.empty()) << "the copy was not caught under way";
    TerminateProcess(running.process.hProcess, 9);
    FinishCompanion(&running);
    ASSERT_TRUE(Exists(m_right + leftovers[0]));
    const CompanionRun next = Sync();
    EXPECT_EQ(next.exitCode, 0u) << next.err;
    EXPECT_FALSE(Exists(m_left + leftovers[0]));
    EXPECT_FALSE(Exists(m_right + leftovers[0]));
    EXPECT_TRUE(InRecycleBin(leftovers[0], m_right));
    EXPECT_EQ(SnapshotTree(m_left), SnapshotTree(m_right));
    EXPECT_EQ(SeenOnDisk(m_right + L"big.bin").size, 256ull << 20);
    EXPECT_EQ(ReadFileBytes(m_left + L"from the right.txt"), "made on the right");
}

}  // namespace
