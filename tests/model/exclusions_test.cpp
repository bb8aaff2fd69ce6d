// The exclusion patterns alone: what each kind of pattern matches, and what is refused.
#include "model/exclusions.h"
#include "model/memory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The patterns added to a list of their own, which goes with it.
class Patterns {
public:
    explicit Patterns(const std::vector<const wchar_t*>& patterns) {
        for (const wchar_t* pattern : patterns) EXPECT_EQ(AddExclusion(&m_list, pattern), 0u) << pattern;
    }
    ~Patterns() { FreeExclusions(m_list); }
    const ExclusionList* List() const { return m_list; }

private:
    ExclusionList* m_list = nullptr;
};

TEST(ExclusionsTest, EachKindOfPatternMatchesWhatItSays) {
    struct Case {
        std::vector<const wchar_t*> patterns;
        const wchar_t* folder;
        const wchar_t* name;
        bool isFolder;
        bool excluded;
    } cases[] = {
        // A name at any depth, ignoring case as names are compared.
        {{L"*.tmp"}, L"", L"a.tmp", false, true},
        {{L"*.tmp"}, L"x\\y\\", L"B.TMP", false, true},
        {{L"*.tmp"}, L"", L"a.tmpx", false, false},
        {{L"*.tmp"}, L"cache.tmp\\", L"a.txt", false, false},
        {{L"node_modules"}, L"src\\app\\", L"Node_Modules", true, true},
        {{L"\u00e9t\u00e9*"}, L"", L"\u00c9T\u00c9.txt", false, true},
        // `?` is one character, a pair of surrogates too; `*` may be none.
        {{L"a?c"}, L"", L"abc", false, true},
        {{L"a?c"}, L"", L"ac", false, false},
        {{L"?.txt"}, L"", L"\U0001F600.txt", false, true},
        {{L"a*b*c"}, L"", L"axxbyyc", false, true},
        {{L"a*b*c"}, L"", L"axxbyy", false, false},
        {{L"a*"}, L"", L"a", false, true},
        // A path, whole, from the location's top; no wildcard crosses a backslash.
        {{L"build\\*.obj"}, L"build\\", L"x.obj", false, true},
        {{L"build\\*.obj"}, L"", L"x.obj", false, false},
        {{L"build\\*.obj"}, L"src\\build\\", L"x.obj", false, false},
        {{L"build\\*.obj"}, L"build\\sub\\", L"x.obj", false, false},
        {{L"b*\\*.obj"}, L"Build\\", L"x.OBJ", false, true},
        {{L"*"}, L"a\\", L"b", false, true},
        {{L"docs\\drafts"}, L"docs\\", L"drafts", true, true},
        {{L"docs\\drafts"}, L"docs\\", L"drafts", false, true},
        {{L"docs\\drafts"}, L"docs\\drafts\\", L"x", false, false},
        // A leading backslash: the top folder's name only.
        {{L"\\build"}, L"", L"build", true, true},
        {{L"\\build"}, L"src\\", L"build", true, false},
        // A trailing backslash: folders only.
        {{L"cache\\"}, L"a\\", L"cache", true, true},
        {{L"cache\\"}, L"a\\", L"cache", false, false},
        {{L"a\\cache\\"}, L"a\\", L"cache", false, false},
        {{L"a\\cache\\"}, L"a\\", L"cache", true, true},
        // Spaces that end a pattern are dropped, as no name ends in one; those that begin one stay.
        {{L"*.o  "}, L"", L"a.o", false, true},
        {{L"cache\\ "}, L"", L"cache", true, true},
        {{L" lead"}, L"", L" lead", false, true},
        {{L" lead"}, L"", L"lead", false, false},
        // Any of several patterns.
        {{L"*.tmp", L"*.bak", L"x\\y"}, L"", L"old.bak", false, true},
        {{L"*.tmp", L"*.bak", L"x\\y"}, L"x\\", L"y", false, true},
        {{L"*.tmp", L"*.bak", L"x\\y"}, L"", L"y", false, false},
        {{}, L"", L"anything", false, false},
    };
    for (const Case& c : cases) {
        Patterns patterns(c.patterns);
        EXPECT_EQ(IsExcluded(patterns.List(), c.folder, c.name, c.isFolder), c.excluded)
            << (c.patterns.empty() ? L"" : c.patterns[0]) << L" against " << c.folder << c.name;
    }
}

TEST(ExclusionsTest, ASlashSeparatesAsABackslashDoes) {
    struct Case {
        const wchar_t* pattern;
        const wchar_t* folder;
        const wchar_t* name;
        bool isFolder;
        bool excluded;
    } cases[] = {
        {L"build/*.obj", L"build\\", L"x.obj", false, true},
        {L"build/*.obj", L"src\\build\\", L"x.obj", false, false},
        {L"a/b\\c", L"a\\b\\", L"c", false, true},
        {L"/build", L"", L"build", true, true},
        {L"/build", L"src\\", L"build", true, false},
        {L"cache/", L"a\\", L"cache", true, true},
        {L"cache/", L"a\\", L"cache", false, false},
        {L"a/cache/ ", L"a\\", L"cache", true, true},
    };
    for (const Case& c : cases) {
        Patterns patterns({c.pattern});
        EXPECT_EQ(IsExcluded(patterns.List(), c.folder, c.name, c.isFolder), c.excluded)
            << c.pattern << L" against " << c.folder << c.name;
    }
}

TEST(ExclusionsTest, TwoStarsAsAComponentTakeAnyNumberOfFolders) {
    struct Case {
        const wchar_t* pattern;
        const wchar_t* folder;
        const wchar_t* name;
        bool isFolder;
        bool excluded;
    } cases[] = {
        // At the start: a name at any depth, the top too.
        {L"**\\*.o", L"", L"a.o", false, true},
        {L"**\\*.o", L"a\\b\\c\\d\\", L"x.O", false, true},
        {L"**\\*.o", L"a\\b\\c\\d\\", L"x.obj", false, false},
        {L"\\**\\*.o", L"a\\b\\c\\d\\", L"x.o", false, true},
        {L"**/**/*.o", L"a\\b\\c\\d\\", L"x.o", false, true},
        // In the middle: none, or any number, and the path still whole from the top.
        {L"src\\**\\*.o", L"src\\", L"a.o", false, true},
        {L"src\\**\\*.o", L"src\\a\\b\\c\\d\\", L"a.o", false, true},
        {L"src\\**\\*.o", L"", L"a.o", false, false},
        {L"src\\**\\*.o", L"lib\\src\\", L"a.o", false, false},
        {L"src\\**\\*.o", L"src\\a\\b\\c\\d\\", L"a.c", false, false},
        {L"src\\**\\*.o", L"src\\a.o\\", L"b", false, false},
        // At the end: the folder itself and all it holds.
        {L"build\\**", L"", L"build", true, true},
        {L"build\\**", L"build\\a\\b\\c\\", L"d", false, true},
        {L"build\\**", L"", L"builds", true, false},
        {L"build\\**", L"src\\build\\", L"x", false, false},
        {L"build\\**\\", L"build\\a\\b\\c\\", L"d", true, true},
        {L"build\\**\\", L"build\\a\\b\\c\\", L"d", false, false},
        // Several: a miss after the second resumes there, with one folder more.
        {L"a\\**\\b\\**\\c", L"a\\b\\", L"c", false, true},
        {L"a\\**\\b\\**\\c", L"a\\1\\2\\b\\3\\4\\", L"c", false, true},
        {L"a\\**\\b\\**\\c", L"a\\b\\x\\b\\y\\c\\", L"c", false, true},
        {L"a\\**\\b\\**\\c", L"a\\b\\c\\", L"d", false, false},
        {L"a\\**\\b\\**\\c", L"a\\c\\b\\", L"x", false, false},
        {L"a\\**\\b\\**\\c", L"x\\a\\b\\", L"c", false, false},
        {L"**", L"a\\b\\c\\d\\", L"e", false, true},
        // Only `**` whole: other stars stay within one name.
        {L"a\\***\\b", L"a\\x\\", L"b", false, true},
        {L"a\\***\\b", L"a\\", L"b", false, false},
        {L"a\\***\\b", L"a\\x\\y\\", L"b", false, false},
        {L"a\\x**\\b", L"a\\x\\y\\", L"b", false, false},
    };
    for (const Case& c : cases) {
        Patterns patterns({c.pattern});
        EXPECT_EQ(IsExcluded(patterns.List(), c.folder, c.name, c.isFolder), c.excluded)
            << c.pattern << L" against " << c.folder << c.name;
    }
}

// Trying every way to share folders among the `**` would take longer than any test may run.
TEST(ExclusionsTest, ManyTwoStarsOverADeepPathTakeNoTimeToMiss) {
    std::wstring pattern, folder;
    for (int i = 0; i < 12; ++i) pattern += L"**\\a\\";
    pattern += L"b";
    for (int i = 0; i < 400; ++i) folder += L"a\\";
    Patterns patterns({pattern.c_str()});
    const DWORD start = GetTickCount();
    EXPECT_FALSE(IsExcluded(patterns.List(), folder.c_str(), L"c", false));
    EXPECT_TRUE(IsExcluded(patterns.List(), folder.c_str(), L"b", false));
    EXPECT_LT(GetTickCount() - start, 2000u);
}

TEST(ExclusionsTest, APatternNoNameCouldMatchIsRefusedSayingWhyAndHowToWriteIt) {
    const std::wstring tooLong(32768, L'a');
    struct Case {
        const wchar_t* pattern;
        ExclusionFault fault;
        size_t at;
        const wchar_t* corrected;  // "" when nothing of it is left
    } cases[] = {
        {L"", ExclusionEmpty, 0, L""},
        {L"   ", ExclusionEmpty, 0, L""},
        {L"\\", ExclusionEmpty, 0, L""},
        {L"\\\\", ExclusionEmpty, 0, L""},
        {L"/\\/ ", ExclusionEmpty, 0, L""},
        {tooLong.c_str(), ExclusionTooLong, 0, L""},
        {L"a\\\\b", ExclusionEmptyComponent, 2, L"a\\b"},
        {L"a//b/", ExclusionEmptyComponent, 2, L"a/b/"},
        {L"\\\\a", ExclusionEmptyComponent, 1, L"\\a"},
        {L"a\\\\", ExclusionEmptyComponent, 2, L"a\\"},
        {L".", ExclusionDotComponent, 0, L""},
        {L"..", ExclusionDotComponent, 0, L""},
        {L"..\\x", ExclusionDotComponent, 0, L"x"},
        {L"x\\.\\", ExclusionDotComponent, 2, L"x\\"},
        {L"x/..", ExclusionDotComponent, 2, L"x"},
        {L"a:b", ExclusionForbiddenCharacter, 1, L"a?b"},
        {L"a|b", ExclusionForbiddenCharacter, 1, L"a?b"},
        {L"a\"b", ExclusionForbiddenCharacter, 1, L"a?b"},
        {L"a<b", ExclusionForbiddenCharacter, 1, L"a?b"},
        {L"a>b", ExclusionForbiddenCharacter, 1, L"a?b"},
        {L"a\tb", ExclusionForbiddenCharacter, 1, L"a?b"},
        {L"build/x:y", ExclusionForbiddenCharacter, 7, L"build/x?y"},
        // The first fault is told; all are put right, in the separator typed first.
        {L"\\x/../y:z\\\\", ExclusionDotComponent, 3, L"\\x\\y?z\\"},
    };
    for (const Case& c : cases) {
        const std::wstring label = std::wstring(c.pattern).substr(0, 20);
        ExclusionList* list = nullptr;
        EXPECT_EQ(AddExclusion(&list, c.pattern), DWORD(ERROR_INVALID_PARAMETER)) << label;
        EXPECT_EQ(list, nullptr) << label;
        size_t at = 99;
        EXPECT_EQ(CheckExclusion(c.pattern, &at), c.fault) << label;
        EXPECT_EQ(at, c.at) << label;
        std::vector<wchar_t> corrected(wcslen(c.pattern) + 1, L'#');
        EXPECT_EQ(CorrectExclusion(c.pattern, corrected.data()), wcslen(c.corrected)) << label;
        EXPECT_STREQ(corrected.data(), c.corrected) << label;
        if (*c.corrected) EXPECT_EQ(CheckExclusion(corrected.data(), &at), ExclusionHolds) << label;
    }
    ExclusionList* list = nullptr;
    EXPECT_EQ(AddExclusion(nullptr, L"x"), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(AddExclusion(&list, nullptr), DWORD(ERROR_INVALID_PARAMETER));
    // What holds is left as it is.
    for (const wchar_t* pattern : {L"*", L"?", L"\\x\\", L"a b.txt", L"...x", L"a/b", L"**", L"/x/**/"}) {
        EXPECT_EQ(AddExclusion(&list, pattern), 0u) << pattern;
        EXPECT_NE(list, nullptr);
        size_t at = 99;
        EXPECT_EQ(CheckExclusion(pattern, &at), ExclusionHolds) << pattern;
        std::vector<wchar_t> corrected(wcslen(pattern) + 1);
        CorrectExclusion(pattern, corrected.data());
        EXPECT_STREQ(corrected.data(), pattern);
    }
    FreeExclusions(list);
}

TEST(ExclusionsTest, RunningOutOfMemoryAddsNothingAndKeepsTheList) {
    const long baseline = MemOutstanding();
    ExclusionList* list = nullptr;
    ASSERT_EQ(AddExclusion(&list, L"*.tmp"), 0u);
    MemFailAfter(0);
    EXPECT_EQ(AddExclusion(&list, L"*.bak"), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    MemFailAfter(-1);
    EXPECT_TRUE(IsExcluded(list, L"", L"a.tmp", false));
    EXPECT_FALSE(IsExcluded(list, L"", L"a.bak", false));
    FreeExclusions(list);
    EXPECT_EQ(MemOutstanding(), baseline);
}

// The rule for links goes with the patterns but matches no name: only a scan,
// which sees an entry's attributes, can tell a link. It is held once, and a
// list without memory for it stays as it was.
TEST(ExclusionsTest, TheLinkRuleMatchesNoNameAndJoinsTheListOnce) {
    const long baseline = MemOutstanding();
    ExclusionList* list = nullptr;
    ASSERT_EQ(AddExclusion(&list, L"*.tmp"), 0u);
    MemFailAfter(0);
    EXPECT_EQ(AddLinkExclusion(&list), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    MemFailAfter(-1);
    EXPECT_FALSE(ExcludesLinks(list));
    ASSERT_EQ(AddLinkExclusion(&list), 0u);
    MemFailAfter(0);
    EXPECT_EQ(AddLinkExclusion(&list), 0u);  // held already: nothing to allocate
    MemFailAfter(-1);
    EXPECT_TRUE(ExcludesLinks(list));
    const struct {
        const wchar_t* folder;
        const wchar_t* name;
        bool isFolder;
        bool excluded;
    } rows[] = {{L"", L"a.tmp", false, true}, {L"", L"link", true, false}, {L"x\\", L"", false, false},
                {L"", L"*", true, false}};
    for (const auto& row : rows) EXPECT_EQ(IsExcluded(list, row.folder, row.name, row.isFolder), row.excluded) << row.name;
    FreeExclusions(list);
    EXPECT_EQ(MemOutstanding(), baseline);
}

}  // namespace
