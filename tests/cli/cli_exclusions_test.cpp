// --exclude and --exclude-from through the real quillmar-cli.exe: what is left
// out of the listing and of a synchronization, and what ends a run before it reads.
#include "tests/cli/cli_fixture.h"
#include "tests/cli/companion_output.h"

#include <algorithm>

namespace {

// The path of a line of the default listing: what follows the second tab.
std::string PathOf(const std::string& line) { return line.substr(line.find('\t', line.find('\t') + 1) + 1); }

// The count after "; excluded " in the summary; -1 when the summary has none.
long ExcludedCount(const CompanionRun& run) {
    size_t at = run.err.find("; excluded ");
    return at == std::string::npos ? -1 : std::stol(run.err.substr(at + 11));
}

class CliExclusionsTest : public CliTest {
protected:
    // A pattern file of raw bytes, in a folder of its own.
    std::wstring PatternFile(const std::wstring& name, const std::string& bytes) {
        return m_output.MakeFile(name, bytes);
    }

    // A folder the system lists but cannot open: a trailing dot is dropped from every ordinary path.
    void UnlistableFolder(const std::wstring& parent, const std::wstring& name) {
        EXPECT_TRUE(CreateDirectoryW((L"\\\\?\\" + parent + name).c_str(), nullptr));
    }
};

TEST_F(CliExclusionsTest, ExcludedEntriesAreAbsentOnBothSidesAtEveryDepth) {
    File(L"left\\a.tmp");
    File(L"left\\keep.txt");
    File(L"right\\keep.txt");
    File(L"left\\src\\x.tmp");
    File(L"left\\src\\deep\\er\\y.TMP");
    File(L"left\\src\\cache");
    File(L"left\\node_modules\\lib.js");
    File(L"right\\node_modules\\other.js");
    File(L"left\\build\\main.obj", "o", kTime);
    File(L"right\\build\\main.obj", "o", kTime + 30000000);
    File(L"left\\build\\sub\\inner.obj");
    File(L"left\\docs\\drafts\\d.txt");
    File(L"left\\docs\\readme.txt");
    File(L"left\\cache\\c.bin");
    // Unlistable: a scan that enters it logs it.
    UnlistableFolder(m_left, L"Bad.");
    const std::wstring patterns = PatternFile(L"with-bom.txt", "\xEF\xBB\xBF# what the build leaves\r\n*.TMP\r\n"
                                                               "\r\n   \r\nnode_modules\r\n#build\\*.obj\r\n");
    const std::wstring morePatterns = PatternFile(L"plain.txt", "\ndocs\\drafts");
    const std::wstring slashPatterns = PatternFile(L"slashes.txt", "docs/drafts\r\n**/node_modules/\n");

    CompanionRun baseline = Run({L"analyze", m_left, m_right});
    ASSERT_EQ(baseline.exitCode, 1u) << baseline.err;
    EXPECT_EQ(ExcludedCount(baseline), -1) << baseline.err;
    EXPECT_EQ(NamedLogs(baseline.err).size(), 1u) << baseline.err;
    struct Case {
        std::vector<std::wstring> options;
        std::vector<std::string> gone;  // the paths of the lines that go; every other line stays as it was
        long excluded;
    } cases[] = {
        {{L"--exclude", L"*.tmp"}, {"a.tmp", "src\\x.tmp", "src\\deep\\er\\y.TMP"}, 3},
        {{L"--exclude", L"node_modules"}, {"node_modules", "node_modules\\lib.js", "node_modules\\other.js"}, 2},
        // A path pattern's `*` stays within its name.
        {{L"--exclude", L"build\\*.obj"}, {"build\\main.obj"}, 2},
        {{L"--exclude", L"DOCS\\drafts"}, {"docs\\drafts", "docs\\drafts\\d.txt"}, 1},
        // A slash is a backslash; `**` takes any number of folders, none too.
        {{L"--exclude", L"build/*.obj"}, {"build\\main.obj"}, 2},
        {{L"--exclude", L"src/**/*.tmp"}, {"src\\x.tmp", "src\\deep\\er\\y.TMP"}, 2},
        {{L"--exclude", L"build/**"}, {"build", "build\\main.obj", "build\\sub", "build\\sub\\inner.obj"}, 2},
        {{L"--exclude-from", slashPatterns},
         {"node_modules", "node_modules\\lib.js", "node_modules\\other.js", "docs\\drafts", "docs\\drafts\\d.txt"},
         3},
        // Folders only: the file src\cache stays.
        {{L"--exclude", L"cache\\"}, {"cache", "cache\\c.bin"}, 1},
        // The top folder's only: src\cache stays.
        {{L"--exclude", L"\\cache"}, {"cache", "cache\\c.bin"}, 1},
        // Not entered, so not logged.
        {{L"--exclude", L"bad."}, {"Bad."}, 1},
        {{L"--exclude", L"*.tmp", L"--exclude", L"build\\"},
         {"a.tmp", "src\\x.tmp", "src\\deep\\er\\y.TMP", "build", "build\\main.obj", "build\\sub",
          "build\\sub\\inner.obj"},
         5},
        {{L"--exclude-from", patterns, L"--exclude-from", morePatterns},
         {"a.tmp", "src\\x.tmp", "src\\deep\\er\\y.TMP", "node_modules", "node_modules\\lib.js",
          "node_modules\\other.js", "docs\\drafts", "docs\\drafts\\d.txt"},
         6},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> arguments = {L"analyze"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        arguments.insert(arguments.end(), {m_left, m_right});
        CompanionRun run = Run(arguments);
        std::string expected;
        for (const std::string& line : LinesOf(baseline.out)) {
            if (std::find(c.gone.begin(), c.gone.end(), PathOf(line)) == c.gone.end()) expected += line + "\n";
        }
        const std::string label = Utf8(c.options[1]);
        EXPECT_EQ(run.exitCode, 1u) << label << run.err;
        EXPECT_EQ(run.out, expected) << label;
        EXPECT_EQ(ExcludedCount(run), c.excluded) << label << run.err;
        // Only the unlistable folder is ever logged.
        const bool logged = std::find(c.gone.begin(), c.gone.end(), "Bad.") == c.gone.end();
        EXPECT_EQ(NamedLogs(run.err).size(), logged ? 1u : 0u) << label << run.err;
    }
}

TEST_F(CliExclusionsTest, ABadPatternOrPatternFileEndsTheRunBeforeAnythingIsRead) {
    const std::wstring badLine = PatternFile(L"bad-line.txt", "*.tmp\n# fine\na|b\n");
    const std::wstring notText = PatternFile(L"latin1.txt", "caf\xE9\n");
    const std::wstring controlLine = PatternFile(L"control.txt", "x\ty\n");
    TempFolder logs;
    struct Case {
        const wchar_t* command;
        std::vector<std::wstring> options;
        std::string says;
    } cases[] = {
        {L"analyze", {L"--exclude", L""}, "bad pattern \"\""},
        {L"commit", {L"--exclude", L"\\"}, "bad pattern \"\\\""},
        {L"update", {L"--exclude", L"a:b"}, "bad pattern \"a:b\""},
        {L"analyze", {L"--exclude", L"docs\\\\drafts"}, "bad pattern \"docs\\\\drafts\""},
        {L"analyze", {L"--exclude", L"*.tmp", L"--exclude", L".."}, "bad pattern \"..\""},
        {L"analyze", {L"--exclude-from", m_folder.PathOf(L"nowhere.txt")}, "cannot read the pattern file "},
        {L"commit", {L"--exclude-from", m_left}, "cannot read the pattern file "},
        {L"update", {L"--exclude-from", badLine}, "bad pattern \"a|b\" (line 3 of " + Utf8(badLine) + ")"},
        {L"analyze", {L"--exclude-from", notText}, "is not UTF-8 text"},
        // Each reason, with a pattern that would be taken.
        {L"analyze", {L"--exclude", L"build/x:y"},
         "bad pattern \"build/x:y\": no name holds the character ':'; try \"build/x?y\" (? stands for any one "
         "character)\n"},
        {L"analyze", {L"--exclude", L"a//b"}, "bad pattern \"a//b\": two separators in a row hold no name between "
                                              "them; try \"a/b\"\n"},
        {L"analyze", {L"--exclude", L"src\\..\\*.o"},
         "bad pattern \"src\\..\\*.o\": \".\" and \"..\" are no names within the folders compared; try \"src\\*.o\"\n"},
        {L"analyze", {L"--exclude", L"/ "},
         "bad pattern \"/ \": it holds no name; write a name or a path of names, such as *.tmp, build\\ or "
         "src\\**\\*.o\n"},
        {L"update", {L"--exclude-from", controlLine},
         "bad pattern \"x\ty\" (line 1 of " + Utf8(controlLine) + "): no name holds the control character U+0009; "
         "try \"x?y\""},
        {L"analyze", {L"--exclude"}, "--exclude needs a PATTERN"},
        {L"analyze", {L"--exclude-from"}, "--exclude-from needs a FILE"},
    };
    File(L"left\\a.txt");
    for (const Case& c : cases) {
        std::vector<std::wstring> arguments = {c.command, L"--log", logs.Path(), m_left, m_right};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        CompanionRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 2u) << c.says;
        EXPECT_EQ(run.err.find("quillmar-cli: "), 0u) << run.err;
        EXPECT_NE(run.err.find(c.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
        // No analysis began: it would have made its log.
        EXPECT_EQ(GetFileAttributesW(logs.PathOf(L"AnalyzeLog.txt").c_str()), INVALID_FILE_ATTRIBUTES) << c.says;
    }
    EXPECT_EQ(GetFileAttributesW((m_right + L"a.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

// What a run makes to match keeps its excluded entries, and the folders that hold them.
TEST_F(CliExclusionsTest, SynchronizationNeitherCopiesNorDeletesExcludedEntries) {
    for (const wchar_t* command : {L"commit", L"update"}) {
        const bool commit = std::wstring(command) == L"commit";
        const std::wstring source = commit ? L"left\\" : L"right\\";
        const std::wstring target = commit ? L"right\\" : L"left\\";
        File(L"left\\same.txt");
        File(L"right\\same.txt");
        File(source + L"fresh.txt");
        File(source + L"new.tmp");
        File(target + L"top.tmp");
        File(target + L"gone\\keep.tmp");
        File(target + L"gone\\drop.txt");
        CompanionRun run = Run({command, L"--exclude", L"*.tmp", m_left, m_right});
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        // The folder that keeps excluded entries stays, counted once and told as no trouble:
        // that is no operation not done.
        EXPECT_NE(run.err.find("quillmar-cli: files copied 1 (0 replaced), deleted 1; folders created 0, removed 0; "
                               "not done 0; folders kept for what the exclusions leave out in them 1; excluded 3\n"),
                  std::string::npos)
            << run.err;
        EXPECT_EQ(run.err.find("not empty"), std::string::npos) << run.err;
        for (const wchar_t* kept : {L"top.tmp", L"gone\\keep.tmp", L"fresh.txt", L"same.txt"})
            EXPECT_NE(GetFileAttributesW(m_folder.PathOf(target + kept).c_str()), INVALID_FILE_ATTRIBUTES) << kept;
        for (const wchar_t* absent : {L"new.tmp", L"gone\\drop.txt"})
            EXPECT_EQ(GetFileAttributesW(m_folder.PathOf(target + absent).c_str()), INVALID_FILE_ATTRIBUTES) << absent;
        // All that still differs is the folder kept for what it holds.
        CompanionRun after = Run({L"analyze", L"--exclude", L"*.tmp", m_left, m_right});
        EXPECT_EQ(after.out, commit ? "MISSING\tfolder\tgone\n" : "NEW\tfolder\tgone\n");
        RemoveFolderTree(m_left);
        RemoveFolderTree(m_right);
        m_folder.MakeFolder(L"left");
        m_folder.MakeFolder(L"right");
    }
}

}  // namespace
