// Catalogs through the real quillmar-cli.exe: a folder's listing saved to a
// file stands for the folder in an analysis, in either mode and on either
// side, and a catalog that is not whole is refused, naming its line.
#include "tests/cli/cli_fixture.h"

#include "tests/support/tree_snapshot.h"
#include "tests/support/unix_side.h"

#include <algorithm>

namespace {

// The summary's figures, or all that standard error says when there is none.
std::string Figures(const CompanionRun& run) {
    size_t start = run.err.find("quillmar-cli: identical ");
    if (start == std::string::npos) return run.err;
    return run.err.substr(start, run.err.find("; elapsed", start) - start);
}

class CatalogTest : public CliTest {
protected:
    // Writes the catalog of `folder` into the test's folder and gives its path.
    std::wstring MakeCatalog(const std::wstring& folder, const std::wstring& name, bool content, DWORD status = 0) {
        std::wstring catalog = m_folder.PathOf(name);
        std::vector<std::wstring> arguments = {L"catalog", folder, catalog};
        if (content) arguments.insert(arguments.begin() + 1, L"--content");
        CompanionRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, status) << run.err;
        EXPECT_EQ(run.out, "");
        return catalog;
    }

    std::vector<std::wstring> Arguments(std::vector<std::wstring> options, const std::wstring& left,
                                        const std::wstring& right) {
        options.insert(options.begin(), L"analyze");
        options.push_back(left);
        options.push_back(right);
        return options;
    }
};

TEST_F(CatalogTest, StandsForItsFolderInEveryListingOnEitherSideOrBoth) {
    File(L"left\\same.txt", "same");
    File(L"right\\SAME.TXT", "same");
    File(L"left\\grown.txt", "a");
    File(L"right\\grown.txt", "abc");
    File(L"left\\touched.txt", "t", kTime);
    File(L"right\\touched.txt", "t", kTime + 30000000);
    File(L"left\\rewritten.txt", "a");  // the same size and time: only the content tells
    File(L"right\\rewritten.txt", "b");
    File(L"left\\only\\deep\\a.txt");
    File(L"left\\100% \u00e9t\u00e9.txt");
    File(L"left\\scratch.tmp");
    File(L"right\\b\\x.txt");
    const std::wstring catalogs[2] = {MakeCatalog(m_left, L"left.catalog", true),
                                      MakeCatalog(m_right, L"right.catalog", true)};
    const std::vector<std::wstring> modes[] = {
        {}, {L"--all"}, {L"--content"}, {L"--content", L"--all"}, {L"--exclude", L"*.tmp", L"--all"}};
    for (const std::vector<std::wstring>& mode : modes) {
        CompanionRun folders = Run(Arguments(mode, m_left, m_right));
        ASSERT_EQ(folders.exitCode, 1u) << folders.err;
        // LEFT, RIGHT or both given by their catalogs.
        for (int catalogued : {1, 2, 3}) {
            CompanionRun run = Run(Arguments(mode, catalogued & 1 ? catalogs[0] : m_left,
                                             catalogued & 2 ? catalogs[1] : m_right));
            const std::string row = Utf8(mode.empty() ? L"time" : mode[0]) + " " + std::to_string(catalogued);
            EXPECT_EQ(run.exitCode, folders.exitCode) << row << "\n" << run.err;
            EXPECT_EQ(run.out, folders.out) << row;
            // Against a catalog, the content changed under the same size and time is counted too.
            const bool byDigests = !mode.empty() && mode[0] == L"--content";
            EXPECT_EQ(Figures(run), Figures(folders) + (byDigests ? "; changed without a new time 1" : "")) << row;
        }
    }
}

// A backup checked against the catalog made when it was written: a byte that
// changed under the same size and time is found by the content, and told
// from an edit, which brings a new time: it is damage.
TEST_F(CatalogTest, ContentModeFindsAByteChangedUnderTheSameSizeAndTime) {
    File(L"left\\kept.bin", "0123456789");
    File(L"left\\sub\\rotted.bin", "0123456789");
    File(L"left\\sub\\edited.bin", "abcdefghij");
    const std::wstring catalog = MakeCatalog(m_left, L"backup.catalog", true);
    File(L"left\\sub\\rotted.bin", "01234X6789");
    File(L"left\\sub\\edited.bin", "abcdeXghij", kTime + 3600ull * 10000000);
    const std::string listed = "MODIFIED\tfolder\tsub\nMODIFIED\tfile\tsub\\edited.bin\nMODIFIED\tfile\tsub\\rotted.bin\n";
    struct Row {
        std::vector<std::wstring> arguments;
        DWORD status;
        std::string out;  // all of it, or with --json the reasons in order
        const char* summary;  // a part of the summary
    } rows[] = {
        {Arguments({L"--content"}, catalog, m_left), 1, listed, "; changed without a new time 1;"},
        {Arguments({L"--content"}, m_left, catalog), 1, listed, "; changed without a new time 1;"},
        {Arguments({L"--content", L"--json"}, catalog, m_left), 1, "content content-same-time ", "without a new time 1"},
        // Sizes and times alone cannot tell the damage, here as between two folders.
        {Arguments({}, catalog, m_left), 1, "MODIFIED\tfolder\tsub\nMODIFIED\tfile\tsub\\edited.bin\n", "unknown 0;"},
    };
    for (const Row& row : rows) {
        CompanionRun run = Run(row.arguments);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        std::string out = run.out;
        if (std::find(row.arguments.begin(), row.arguments.end(), L"--json") != row.arguments.end()) {
            out.clear();
            for (size_t at = run.out.find("\"reason\":\""); at != std::string::npos;
                 at = run.out.find("\"reason\":\"", at + 1))
                out += run.out.substr(at + 10, run.out.find('"', at + 10) - at - 10) + " ";
        }
        EXPECT_EQ(out, row.out);
        EXPECT_NE(run.err.find(row.summary), std::string::npos) << run.err;
    }
}

// A file held open without sharing cannot be read: its digest cannot be had,
// whether when the catalog is made or when the folder is compared with it.
TEST_F(CatalogTest, AFileThatCannotBeDigestedIsUnknownAndLogged) {
    File(L"left\\free.bin", "free");
    const std::wstring locked = File(L"left\\locked.bin", "locked");
    auto hold = [&] { return CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr); };
    for (bool lockedWhenMade : {true, false}) {
        HANDLE heldWhenMade = lockedWhenMade ? hold() : INVALID_HANDLE_VALUE;
        const std::wstring catalog = MakeCatalog(m_left, L"held.catalog", true, lockedWhenMade ? 1 : 0);
        CloseHandle(heldWhenMade);
        HANDLE heldWhenCompared = lockedWhenMade ? INVALID_HANDLE_VALUE : hold();
        CompanionRun run = Run(Arguments({L"--content"}, catalog, m_left));
        CloseHandle(heldWhenCompared);
        EXPECT_EQ(run.exitCode, 1u) << run.err;
        EXPECT_EQ(run.out, "UNKNOWN\tfile\tlocked.bin\n");
        ASSERT_EQ(NamedLogs(run.err).size(), 1u) << run.err;
        const std::wstring log = LogText(NamedLogs(run.err)[0]);
        // The side that could not give a digest is the one logged.
        EXPECT_NE(log.find(lockedWhenMade ? catalog + L"\\locked.bin" : locked), std::wstring::npos) << Utf8(log);
        EXPECT_EQ(log.find(L"The catalog holds no digest") != std::wstring::npos, lockedWhenMade) << Utf8(log);
    }
}

TEST_F(CatalogTest, ContentModeNeedsACatalogMadeWithContent) {
    File(L"left\\a.txt");
    const std::wstring catalog = MakeCatalog(m_left, L"listing.catalog", false);
    struct Row {
        std::vector<std::wstring> arguments;
        DWORD status;
        std::string says;
    } rows[] = {
        {Arguments({L"--content"}, catalog, m_left), 2,
         "LEFT catalog " + Utf8(catalog) + " was made without --content"},
        {Arguments({L"--content"}, m_left, catalog), 2, "RIGHT catalog " + Utf8(catalog) + " was made without"},
        {Arguments({}, catalog, m_left), 0, "identical 1"},
    };
    for (const Row& row : rows) {
        CompanionRun run = Run(row.arguments);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        EXPECT_EQ(run.out, "");
    }
}

TEST_F(CatalogTest, ACatalogThatIsNotWholeIsRefusedNamingItsLine) {
    const std::string header = "quillmar-catalog\t1\tcontent=none\n";
    const std::string header2 = "quillmar-catalog\t2\tcontent=none\n";
    const std::string docs = "folder\t0\t2019-04-01T10:00:00.0000000Z\t00000010\t-\tdocs\n";
    const std::string inside = "file\t3\t2019-04-01T10:00:00.0000000Z\t00000020\t-\tdocs\\a.txt\n";
    const std::string last = "file\t1\t2019-04-01T10:00:00.5000000Z\t00000020\t-\tz.txt\n";
    const std::string whole = header + docs + inside + last + "end\t3\n";
    struct Row {
        std::string text;
        std::string says;  // empty: read whole
    } rows[] = {
        {whole, ""},
        // As a plain text editor may save it.
        {"\xEF\xBB\xBF" + whole, ""},
        {"quillmar-catalog\t3\tcontent=all\nwhatever\n",
         "line 1: catalog format 3 is newer than this program reads (2)"},
        {header2 + "exclude\t*.log\n" + docs + inside + last + "end\t3\n", ""},
        {header2 + "exclude\t\n" + docs + "end\t1\n", "line 2: an exclude line is not"},
        {header2 + "exclude\ta<b\n" + docs + "end\t1\n", "line 2: the exclude line's pattern cannot match"},
        {header2 + "left\t00000000\tC:\\x\n" + docs + "end\t1\n", "line 2: a baseline of a two-way"},
        {header2 + docs + "exclude\t*.log\n" + "end\t1\n", "line 3: a header's line after the first entry"},
        {"name,size\na.txt,3\n",
         "is not a folder: " + Utf8(m_folder.PathOf(L"given.catalog")) + " (nor a catalog: line 1"},
        {"quillmar-catalog\tone\tcontent=none\nend\t0\n", "line 1: the catalog's format version is not a number"},
        {header + docs + inside + last, "line 5: the catalog ends early"},
        {header + docs + inside + last.substr(0, 30), "line 4: cut short"},
        {header + docs + "file\tthree" + inside.substr(6) + last + "end\t3\n", "line 3: the size is not a number"},
        {header + "folder\t0\t2019-02-29T10:00:00.0000000Z\t00000010\t-\tdocs\n" + inside + last + "end\t3\n",
         "line 2: the time is not"},
        {header + docs + inside + "link" + last.substr(4) + "end\t3\n", "line 4: the kind is none of"},
        {header + "folder\t0\t2019-04-01T10:00:00.0000000Z\t00000020\t-\tdocs\n" + inside + last + "end\t3\n",
         "line 2: the attributes are not those of its kind"},
        {header + docs + inside + "file\t1\t2019-04-01T10:00:00.5000000Z\t00000020\tz.txt\n" + "end\t3\n",
         "line 4: fewer fields"},
        {header + docs + inside + "file\t1\t2019-04-01T10:00:00.5000000Z\t00000020\tab12\tz.txt\n" + "end\t3\n",
         "line 4: the digest is not"},
        {header + inside + "end\t1\n", "line 2: its folder is not listed before it"},
        {header + last + docs + inside + "end\t3\n", "line 3: out of order"},
        {header + docs + docs + "end\t2\n", "line 3: out of order, or listed twice"},
        {header + docs + "file\t3\t2019-04-01T10:00:00.0000000Z\t00000020\t-\tdocs\\a%zz\n" + "end\t2\n",
         "line 3: a name holds a character that is not escaped"},
        {header + docs + "file\t3\t2019-04-01T10:00:00.0000000Z\t00000020\t-\tdocs\\\xC3(\n" + "end\t2\n",
         "line 3: the path is not UTF-8"},
        {header + docs + inside + last + "end\t4\n", "line 5: the end line counts 4 entries where 3 are listed"},
        {whole + last, "line 6: a line after the end line"},
    };
    for (const Row& row : rows) {
        const std::wstring catalog = m_folder.MakeFile(L"given.catalog", row.text);
        for (bool left : {true, false}) {
            CompanionRun run = Run(Arguments({}, left ? catalog : m_right, left ? m_right : catalog));
            if (row.says.empty()) {
                EXPECT_EQ(run.exitCode, 1u) << run.err;
                EXPECT_NE(run.out.find("folder\tdocs\n"), std::string::npos) << run.out;
                continue;
            }
            EXPECT_EQ(run.exitCode, 2u) << row.says;
            EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
            EXPECT_NE(run.err.find(left ? "LEFT" : "RIGHT"), std::string::npos) << run.err;
            EXPECT_EQ(run.out, "");
        }
    }
}

// A backup checked months later: the catalog remembers what was left out of
// it, so that the folder is compared without those entries, whatever the
// command line says; a pattern given as well is added.
TEST_F(CatalogTest, ACatalogRemembersItsExclusionsAndTheAnalysisAppliesThemToTheFolder) {
    File(L"left\\keep.txt", "k");
    File(L"left\\scratch.TMP", "s");
    File(L"left\\build\\out.obj", "o");
    File(L"left\\notes.log", "n");
    const std::wstring catalog = m_folder.PathOf(L"left.catalog");
    CompanionRun made = Run({L"catalog", L"--exclude", L"*.tmp", L"--exclude", L"build\\  ", m_left, catalog});
    ASSERT_EQ(made.exitCode, 0u) << made.err;
    const std::string header = "quillmar-catalog\t2\tcontent=none\nexclude\t*.tmp\nexclude\tbuild\\\nfile\t";
    EXPECT_EQ(ReadWholeFile(catalog).substr(0, header.size()), header);
    File(L"left\\notes.log", "changed");
    const std::string told = "LEFT catalog was made with exclusions, which apply to RIGHT too: ";
    struct Row {
        std::vector<std::wstring> options;
        DWORD status;
        std::string out;
        std::string named;  // the catalog's patterns the run did not have
    } rows[] = {
        {{}, 1, "MODIFIED\tfile\tnotes.log\n", "\"*.tmp\" \"build\\\"\n"},
        {{L"--exclude", L"*.TMP"}, 1, "MODIFIED\tfile\tnotes.log\n", "\"build\\\"\n"},
        {{L"--exclude", L"*.log"}, 0, "", "\"*.tmp\" \"build\\\"\n"},
        // A slash is the backslash the catalog records.
        {{L"--exclude", L"BUILD/"}, 1, "MODIFIED\tfile\tnotes.log\n", "\"*.tmp\"\n"},
    };
    // A pattern typed with slashes is recorded with backslashes; one recorded with slashes is read as well.
    const std::wstring typedWithSlashes = m_folder.PathOf(L"slashes.catalog");
    CompanionRun madeWithSlashes =
        Run({L"catalog", L"--exclude", L"*.tmp", L"--exclude", L"build/", m_left, typedWithSlashes});
    ASSERT_EQ(madeWithSlashes.exitCode, 0u) << madeWithSlashes.err;
    EXPECT_EQ(ReadWholeFile(typedWithSlashes).substr(0, header.size()), header);
    std::string recordedWithSlashes = ReadWholeFile(catalog);
    recordedWithSlashes.replace(recordedWithSlashes.find("build\\"), 6, "build/");
    const std::wstring slashCatalog = m_folder.MakeFile(L"recorded-with-slashes.catalog", recordedWithSlashes);
    for (const std::wstring& read : {catalog, slashCatalog}) {
        for (const Row& row : rows) {
            CompanionRun run = Run(Arguments(row.options, read, m_left));
            EXPECT_EQ(run.exitCode, row.status) << run.err;
            EXPECT_EQ(run.out, row.out);
            // As the catalog has it.
            std::string named = row.named;
            if (read == slashCatalog && named.find("build") != std::string::npos)
                named.replace(named.find("build\\"), 6, "build/");
            EXPECT_NE(run.err.find(told + named), std::string::npos) << run.err;
            EXPECT_EQ(run.err.find(told, run.err.find(told) + 1), std::string::npos) << "told once: " << run.err;
        }
    }
    // A catalog made without exclusions stays in the format every reader reads.
    CompanionRun plain = Run({L"catalog", m_left, catalog});
    ASSERT_EQ(plain.exitCode, 0u) << plain.err;
    EXPECT_EQ(ReadWholeFile(catalog).substr(0, 33), "quillmar-catalog\t1\tcontent=none\nf");
}

TEST_F(CatalogTest, CommitAndUpdateRefuseACatalogAndChangeNothing) {
    File(L"left\\a.txt");
    File(L"right\\b.txt");
    const std::wstring catalog = MakeCatalog(m_left, L"left.catalog", false);
    const TreeSnapshot before = SnapshotTree(m_folder.Path());
    for (const wchar_t* command : {L"commit", L"update"}) {
        for (bool left : {true, false}) {
            CompanionRun run = Run({command, left ? catalog : m_right, left ? m_right : catalog});
            EXPECT_EQ(run.exitCode, 2u) << run.err;
            EXPECT_NE(run.err.find(std::string(left ? "LEFT" : "RIGHT") + " is a catalog: " + Utf8(catalog)),
                      std::string::npos)
                << run.err;
            EXPECT_EQ(run.out, "");
        }
    }
    EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
}

TEST_F(CatalogTest, TheCatalogCommandSaysWhatIsWrongWithItsArguments) {
    struct Row {
        std::vector<std::wstring> arguments;
        std::string says;
    } rows[] = {
        {{L"catalog", m_left}, "a FOLDER and a FILE are needed; 1 given"},
        {{L"catalog", L"--all", m_left, m_folder.PathOf(L"x.catalog")}, "--all does not go with catalog"},
        {{L"catalog", L"--time-window", L"5", m_left, m_folder.PathOf(L"x.catalog")},
         "--time-window does not go with catalog"},
        {{L"catalog", m_folder.PathOf(L"nowhere"), m_folder.PathOf(L"x.catalog")}, "FOLDER not found"},
        {{L"catalog", m_left, m_right}, "FILE is a folder"},
        {{L"catalog", m_left, m_folder.PathOf(L"nowhere\\x.catalog")}, "FILE's folder not found"},
    };
    for (const Row& row : rows) {
        CompanionRun run = Run(row.arguments);
        EXPECT_EQ(run.exitCode, 2u) << row.says;
        EXPECT_NE(run.err.find(row.says), std::string::npos) << run.err;
        EXPECT_EQ(GetFileAttributesW(m_folder.PathOf(L"x.catalog").c_str()), INVALID_FILE_ATTRIBUTES);
    }
}

// The new catalog takes the old one's name only once whole: here the rename
// itself fails, the last step of the run.
TEST_F(CatalogTest, ARunThatFailsLeavesTheEarlierCatalogWhole) {
    File(L"left\\a.txt");
    const std::wstring catalog = MakeCatalog(m_left, L"kept.catalog", true);
    const std::string earlier = ReadWholeFile(catalog);
    File(L"left\\b.txt");
    HANDLE holder = CreateFileW(catalog.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const TreeSnapshot before = SnapshotTree(m_folder.Path());
    CompanionRun run = Run({L"catalog", L"--content", m_left, catalog});
    CloseHandle(holder);
    EXPECT_EQ(run.exitCode, 2u) << run.err;
    EXPECT_NE(run.err.find("was left as it was"), std::string::npos) << run.err;
    EXPECT_EQ(ReadWholeFile(catalog), earlier);
    // Nothing of the failed run is left beside it.
    EXPECT_EQ(DescribeChanges(before, SnapshotTree(m_folder.Path())), "");
}

// Linux names may hold tabs and line breaks: such entries are Unknown, and
// still come back from the catalog by the same names, so that each pairs with itself.
TEST_F(CatalogTest, NamesThatWindowsRefusesComeBackFromACatalog) {
    const std::string folder = UnixPathOf(m_left);
    if (folder.empty()) GTEST_SKIP() << "the Linux side is not reachable";
    ASSERT_EQ(RunUnixShell("printf x > " + ShellQuote(folder + "tab\there") + " && printf y > " +
                           ShellQuote(folder + "line\nbreak%25")),
              0);
    File(L"left\\plain.txt");
    // Written whole, the odd names among the entries the scan could not stand for.
    const std::wstring catalog = MakeCatalog(m_left, L"odd.catalog", false, 1);
    CompanionRun run = Run({L"analyze", L"--null", catalog, m_left});
    EXPECT_EQ(run.out, std::string("UNKNOWN\tfile\tline\nbreak%25") + '\0' + "UNKNOWN\tfile\ttab\there" + '\0');
    RemoveUnixTree(m_left);
}

}  // namespace
