// The rows of a two-way run, gathered from a baseline's records and two
// scanned folders: matched ignoring case, each folder before what it holds,
// the right spelling kept; a baseline saved from rows loads back as the same
// rows, and serves only the pair and the options it was made for.
#include "sync/two_way_baseline.h"
#include "sync/two_way_rows.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

const char kKinds[] = "nfdu";  // none, file, folder, unknown

TwoWaySide File(uint64_t size) {
    TwoWaySide side = {};
    side.kind = TwoWayFile;
    side.size = size;
    side.time.dwLowDateTime = static_cast<DWORD>(size * 10000000);
    return side;
}

// "PATH LR/BB pPARENT eEND", a star for a leftover: each side's kind now, then as recorded.
std::vector<std::string> Describe(const TwoWayRows& rows) {
    std::vector<std::string> lines;
    for (uint32_t row = 0; row < rows.count; ++row) {
        const TwoWayEntry& entry = rows.entries[row];
        wchar_t path[MAX_PATH];
        const size_t length = TwoWayRowPath(&rows, row, 0, TwoWaySpeltNow, path, MAX_PATH);
        std::string line(path, path + length);
        line += std::string(" ") + kKinds[entry.now[0].kind] + kKinds[entry.now[1].kind] + "/" +
                kKinds[entry.base[0].kind] + kKinds[entry.base[1].kind];
        line += entry.parent == kNoTwoWayParent ? " p-" : " p" + std::to_string(entry.parent);
        line += " e" + std::to_string(entry.end) + (entry.leftover ? " *" : "");
        lines.push_back(line);
    }
    return lines;
}

class TwoWayRowsTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(TwoWayRowsInit(&m_rows, false), 0u);
        m_left = m_folder.MakeFolder(L"left");
        m_right = m_folder.MakeFolder(L"right");
    }
    void TearDown() override { TwoWayRowsFree(&m_rows); }
    void Record(const wchar_t* path, TwoWaySide left, TwoWaySide right) {
        const TwoWaySide sides[2] = {left, right};
        const FileDigest* const none[2] = {nullptr, nullptr};
        ASSERT_EQ(TwoWayRowsAddRecord(&m_rows, path, wcslen(path), sides, none), 0u);
    }
    // A file of `side` (its folders made first), holding `content`.
    void Make(int side, const std::wstring& relative, const std::string& content = "x") {
        const std::wstring path = (side ? L"right\\" : L"left\\") + relative;
        if (path.rfind(L'\\') != std::wstring::npos) m_folder.MakeFolder(path.substr(0, path.rfind(L'\\')));
        m_folder.MakeFile(path, content);
    }
    void ScanBoth(TwoWayRows* rows = nullptr) {
        for (int side = 0; side < 2; ++side)
            ASSERT_EQ(ScanTwoWaySide(rows ? rows : &m_rows, side, (side ? m_right : m_left).c_str(), nullptr, nullptr, nullptr,
                                     nullptr),
                      0u);
    }

    TempFolder m_folder;
    std::wstring m_left;
    std::wstring m_right;
    TwoWayRows m_rows = {};
};

TEST_F(TwoWayRowsTest, EachPathIsOneRowInFolderOrderWithTheSpellingOfLeftThenRightThenTheRecord) {
    Record(L"Docs\\a.txt", File(1), File(1));
    Record(L"Gone\\x.txt", File(2), File(2));
    for (const wchar_t* file : {L"docs\\a.txt", L"docs\\B.txt", L"zeta", L"a b.txt", L"a\\c.txt", L"~QM12345.TMP"})
        Make(0, file);
    Make(1, L"DOCS\\b.txt");
    m_folder.MakeFolder(L"right\\Zeta");
    ScanBoth();
    ASSERT_EQ(TwoWayRowsFinish(&m_rows, false), 0u);
    const std::vector<std::string> expected = {
        "a dn/nn p- e2",
        "a\\c.txt fn/nn p0 e2",
        "a b.txt fn/nn p- e3",
        "docs dd/nn p- e6",
        "docs\\a.txt fn/ff p3 e5",
        "docs\\B.txt ff/nn p3 e6",
        "Gone nn/nn p- e8",
        "Gone\\x.txt nn/ff p6 e8",
        "zeta fd/nn p- e9",
        "~QM12345.TMP fn/nn p- e10 *",
    };
    EXPECT_EQ(Describe(m_rows), expected);
}

TEST_F(TwoWayRowsTest, AFirstRunTakesNoFileForALeftoverAndRowsGrowPastTheirFirstBlocks) {
    // More rows and names than the first blocks and the first lookup hold, in folders several deep.
    for (int index = 0; index < 3000; ++index) {
        const std::wstring path = L"f" + std::to_wstring(index % 7) + L"\\g" + std::to_wstring(index % 5) + L"\\file" +
                                  std::to_wstring(index) + std::wstring(40, L'n');
        Record(path.c_str(), File(index), TwoWaySide{});
    }
    Make(1, L"~QM00001.TMP");
    ScanBoth();
    ASSERT_EQ(TwoWayRowsFinish(&m_rows, true), 0u);
    ASSERT_EQ(m_rows.count, 7u + 35u + 3000u + 1u);
    for (uint32_t row = 0; row < m_rows.count; ++row) {
        const TwoWayEntry& entry = m_rows.entries[row];
        EXPECT_FALSE(entry.leftover);
        // Each folder stands before what it holds, which follows it together.
        if (entry.parent != kNoTwoWayParent) {
            ASSERT_LT(entry.parent, row);
            ASSERT_LE(entry.end, m_rows.entries[entry.parent].end);
        }
        ASSERT_GT(entry.end, row);
    }
}

// What the run expects of its baseline, to be varied a field at a time.
struct Expectation {
    const wchar_t* pair[2] = {L"C:\\pair\\left", L"C:\\pair\\right"};
    DWORD serials[2] = {1, 2};
    uint32_t window = 2;
    const wchar_t* patterns[3] = {L"*.tmp", L"build\\"};
    size_t patternCount = 2;
    bool skipLinks = false;

    TwoWayBaseline Of(const std::wstring& file, const std::wstring (&roots)[2]) const {
        TwoWayBaseline baseline = {};
        baseline.file = file.c_str();
        for (int side = 0; side < 2; ++side) {
            baseline.roots[side] = roots[side].c_str();
            baseline.pair[side] = pair[side];
            baseline.serials[side] = serials[side];
        }
        baseline.rule.time.windowSeconds = window;
        baseline.patterns = patterns;
        baseline.patternCount = patternCount;
        baseline.skipLinks = skipLinks;
        return baseline;
    }
};

// Rows saved as the run leaves them load back as their records, and the
// sides scanned again as they were leave the baseline as it is.
TEST_F(TwoWayRowsTest, ABaselineSavedFromRowsLoadsBackAsTheSameRows) {
    for (const wchar_t* file : {L"one.txt", L"sub\\two.txt", L"sub\\deeper\\three.txt", L"c.txt"}) Make(0, file, "abc");
    Make(1, L"sub\\two.txt", "abcdef");
    Make(1, L"C.TXT", "abc");  // spelt apart: a record for each side
    ScanBoth();
    ASSERT_EQ(TwoWayRowsFinish(&m_rows, false), 0u);
    const std::wstring file = m_folder.PathOf(L"baseline.txt");
    const std::wstring roots[2] = {m_left, m_right};
    const Expectation expectation;
    const TwoWayBaseline baseline = expectation.Of(file, roots);
    const std::vector<RowRecord> records(m_rows.count, RecordAsNow);
    ASSERT_EQ(SaveTwoWayBaseline(baseline, m_rows, records.data(), nullptr), 0u);

    TwoWayRows read = {};
    ASSERT_EQ(TwoWayRowsInit(&read, false), 0u);
    TwoWayBaselineRead loaded = {};
    ASSERT_EQ(LoadTwoWayBaseline(baseline, false, &read, &loaded), 0u);
    EXPECT_EQ(int(loaded.verdict), int(BaselineFits));
    EXPECT_FALSE(loaded.firstRun);
    ScanBoth(&read);
    ASSERT_EQ(TwoWayRowsFinish(&read, false), 0u);
    // What was now is what the record holds, row for row.
    std::vector<std::string> expected = Describe(m_rows);
    for (std::string& line : expected) line.replace(line.find('/') + 1, 2, line.substr(line.find('/') - 2, 2));
    EXPECT_EQ(Describe(read), expected);
    for (uint32_t row = 0; row < read.count && row < m_rows.count; ++row) {
        for (int side = 0; side < 2; ++side) {
            EXPECT_EQ(read.entries[row].base[side].size, m_rows.entries[row].now[side].size);
            EXPECT_EQ(FileTimeTicks(read.entries[row].base[side].time), FileTimeTicks(m_rows.entries[row].now[side].time));
        }
    }
    EXPECT_FALSE(TwoWayBaselineNeedsWriting(loaded, read));
    FreeTwoWayBaselineRead(&loaded);
    TwoWayRowsFree(&read);
}

// A baseline made by a run that differed in one way, loaded by this run: its
// verdict, and, where it serves, each side's records following its own folder.
TEST_F(TwoWayRowsTest, ABaselineServesOnlyThePairAndOptionsItWasMadeFor) {
    Make(0, L"a.txt");
    Make(1, L"b.txt");
    ScanBoth();
    ASSERT_EQ(TwoWayRowsFinish(&m_rows, false), 0u);
    const std::wstring roots[2] = {m_left, m_right};
    const std::vector<RowRecord> records(m_rows.count, RecordAsNow);
    const Expectation run;
    const struct {
        const char* name;
        void (*made)(Expectation*);  // how the run that made the file differed
        bool inLeft;  // the file lies in LEFT
        TwoWayBaselineVerdict verdict;
        bool swapped;
    } cases[] = {
        {"same pair", [](Expectation*) {}, false, BaselineFits, false},
        {"pair swapped",
         [](Expectation* made) {
             std::swap(made->pair[0], made->pair[1]);
             std::swap(made->serials[0], made->serials[1]);
         },
         false, BaselineFits, true},
        {"pair swapped, serials not", [](Expectation* made) { std::swap(made->pair[0], made->pair[1]); }, false,
         BaselineOtherLeftVolume, true},
        {"other pair", [](Expectation* made) { made->pair[1] = L"C:\\pair\\other"; }, false, BaselineOtherPair, false},
        {"other serial of RIGHT", [](Expectation* made) { made->serials[1] = 3; }, false, BaselineOtherRightVolume,
         false},
        {"other window", [](Expectation* made) { made->window = 5; }, false, BaselineOtherRule, false},
        {"patterns respelt",
         [](Expectation* made) {
             made->patterns[0] = L"BUILD/";
             made->patterns[1] = made->patterns[2] = L"*.Tmp";
             made->patternCount = 3;
         },
         false, BaselineFits, false},
        {"a pattern fewer", [](Expectation* made) { made->patternCount = 1; }, false, BaselineOtherPatterns, false},
        {"a pattern more",
         [](Expectation* made) {
             made->patterns[2] = L"*.o";
             made->patternCount = 3;
         },
         false, BaselineOtherPatterns, false},
        {"links left out", [](Expectation* made) { made->skipLinks = true; }, false, BaselineOtherLinks, false},
        {"file inside LEFT", [](Expectation*) {}, true, BaselineInsideLeft, false},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        const std::wstring file = test.inLeft ? m_left + L"baseline.txt" : m_folder.PathOf(L"baseline.txt");
        Expectation made;
        test.made(&made);
        ASSERT_EQ(SaveTwoWayBaseline(made.Of(file, roots), m_rows, records.data(), nullptr), 0u);
        TwoWayRows read = {};
        ASSERT_EQ(TwoWayRowsInit(&read, false), 0u);
        TwoWayBaselineRead loaded = {};
        EXPECT_EQ(LoadTwoWayBaseline(run.Of(file, roots), false, &read, &loaded), 0u);
        EXPECT_EQ(int(loaded.verdict), int(test.verdict));
        EXPECT_EQ(loaded.swapped, test.swapped);
        if (loaded.verdict == BaselineFits && TwoWayRowsFinish(&read, false) == ERROR_SUCCESS) {
            ASSERT_EQ(read.count, m_rows.count);
            for (uint32_t row = 0; row < read.count; ++row) {
                for (int side = 0; side < 2; ++side)
                    EXPECT_EQ(read.entries[row].base[side].kind, m_rows.entries[row].now[test.swapped ? 1 - side : side].kind);
            }
        }
        FreeTwoWayBaselineRead(&loaded);
        TwoWayRowsFree(&read);
        DeleteFileW(file.c_str());
    }
}

// Each side's spelling now and as recorded (two records where the sides spelt a
// name apart): which side respelt a name, and each path as each side spells it.
TEST_F(TwoWayRowsTest, EachSidesSpellingIsKeptNowAndAsRecorded) {
    TwoWaySide folder = {};
    folder.kind = TwoWayFolder;
    Record(L"Docs", folder, folder);
    Record(L"Docs\\a.txt", File(1), File(1));
    Record(L"b.txt", File(1), TwoWaySide{});
    Record(L"B.TXT", TwoWaySide{}, File(1));
    Record(L"c.txt", File(1), File(1));
    for (const wchar_t* file : {L"docs\\A.txt", L"b.txt", L"C.txt"}) Make(0, file);
    for (const wchar_t* file : {L"Docs\\a.txt", L"B.TXT", L"c.TXT"}) Make(1, file);
    ScanBoth();
    ASSERT_EQ(TwoWayRowsFinish(&m_rows, false), 0u);
    ASSERT_EQ(m_rows.count, 4u);
    m_rows.entries[3].rename = TwoWayToRight;  // as if LEFT's "A.txt" were to go across
    const struct {
        uint8_t spelling;
        const char* paths[3][2];  // now, after the renames, as recorded; LEFT's and RIGHT's
    } expected[] = {
        {TwoWaySidesSpeltApart, {{"b.txt", "B.TXT"}, {"b.txt", "B.TXT"}, {"b.txt", "B.TXT"}}},
        {TwoWayLeftRespelt | TwoWayRightRespelt | TwoWaySidesSpeltApart,
         {{"C.txt", "c.TXT"}, {"C.txt", "c.TXT"}, {"c.txt", "c.txt"}}},
        {TwoWayLeftRespelt | TwoWaySidesSpeltApart,
         {{"docs", "Docs"}, {"docs", "Docs"}, {"Docs", "Docs"}}},
        {TwoWayLeftRespelt | TwoWaySidesSpeltApart,
         {{"docs\\A.txt", "Docs\\a.txt"}, {"docs\\A.txt", "Docs\\A.txt"}, {"Docs\\a.txt", "Docs\\a.txt"}}},
    };
    for (uint32_t row = 0; row < m_rows.count; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(m_rows.entries[row].spelling, expected[row].spelling);
        for (int spelt = 0; spelt < 3; ++spelt) {
            for (int side = 0; side < 2; ++side) {
                wchar_t path[MAX_PATH];
                const size_t length = TwoWayRowPath(&m_rows, row, side, static_cast<TwoWaySpelt>(spelt), path, MAX_PATH);
                EXPECT_EQ(std::string(path, path + length), expected[row].paths[spelt][side]) << spelt << side;
            }
        }
    }
}

}  // namespace
