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

TEST(ExclusionsTest, APatternNoNameCouldMatchIsRefusedAndAddsNothing) {
    const wchar_t* refused[] = {L"",     L"\\",     L"\\\\",   L"a\\\\b", L"\\\\a", L"a:b",   L"a|b",
                                L"a\"b", L"a/b",    L"a<b",    L"a>b",    L"a\tb",  L".",     L"..",
                                L"..\\x", L"x\\.\\", L"x\\..", L"a\\\\", L"   "};
    for (const wchar_t* pattern : refused) {
        ExclusionList* list = nullptr;
        EXPECT_EQ(AddExclusion(&list, pattern), DWORD(ERROR_INVALID_PARAMETER)) << pattern;
        EXPECT_EQ(list, nullptr) << pattern;
    }
    ExclusionList* list = nullptr;
    EXPECT_EQ(AddExclusion(nullptr, L"x"), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(AddExclusion(&list, nullptr), DWORD(ERROR_INVALID_PARAMETER));
    for (const wchar_t* pattern : {L"*", L"?", L"\\x\\", L"a b.txt", L"...x"}) {
        EXPECT_EQ(AddExclusion(&list, pattern), 0u) << pattern;
        EXPECT_NE(list, nullptr);
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

}  // namespace
