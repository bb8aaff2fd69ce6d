// verify through the real quillmar-cli.exe: a backup checked against the
// catalog made of it, each difference told in a backup's words; and
// --skip-links, which leaves links out of every command as exclusions do.
#include "tests/cli/cli_fixture.h"

#include "tests/support/unix_side.h"

#include <algorithm>
#include <cstring>

namespace {

const uint64_t kHour = 3600ull * 10000000;

class VerifyTest : public CliTest {
protected:
    std::wstring Catalog(const std::wstring& name, std::vector<std::wstring> options) {
        const std::wstring catalog = m_output.PathOf(name);
        options.insert(options.begin(), L"catalog");
        options.push_back(m_left);
        options.push_back(catalog);
        CompanionRun run = Run(options);
        EXPECT_EQ(run.exitCode, 0u) << run.err;
        return catalog;
    }

    // A link to a folder, which Windows lists as a link, below `folder` of the test's folder.
    void FolderLink(const std::wstring& folder, const std::string& name) {
        const std::string unix = UnixPathOf(m_folder.PathOf(folder));
        ASSERT_FALSE(unix.empty());
        ASSERT_EQ(RunUnixShell("mkdir -p " + ShellQuote(unix + "../target") + " && ln -s ../target " +
                               ShellQuote(unix + name)),
                  0);
    }
};

std::string WithNul(std::string text) {
    std::replace(text.begin(), text.end(), '\n', '\0');
    return text;
}

// The backup changes in each way after its catalogs are made: with digests,
// damage under the same size and time is told from an edit; without, only
// sizes and times can tell, and the summary says so.
TEST_F(VerifyTest, TellsEachDifferenceOfTheBackupInItsOwnWord) {
    File(L"left\\intact.txt", "same");
    File(L"left\\gone.txt", "g");
    File(L"left\\olddir\\y.txt", "y");
    File(L"left\\grown.txt", "a");
    File(L"left\\sub\\rotted.bin", "0123456789");
    File(L"left\\sub\\edited.bin", "abcdefghij");
    const std::wstring withDigests = Catalog(L"digests.catalog", {L"--content"});
    const std::wstring withoutDigests = Catalog(L"plain.catalog", {});
    ASSERT_TRUE(DeleteFileW(m_folder.PathOf(L"left\\gone.txt").c_str()));
    ASSERT_TRUE(DeleteFileW(m_folder.PathOf(L"left\\olddir\\y.txt").c_str()));
    ASSERT_TRUE(RemoveDirectoryW(m_folder.PathOf(L"left\\olddir").c_str()));
    File(L"left\\grown.txt", "abc");
    File(L"left\\sub\\rotted.bin", "01234X6789");
    File(L"left\\sub\\edited.bin", "abcdeXghij", kTime + kHour);
    File(L"left\\new.txt", "n");
    File(L"left\\newdir\\x.txt", "x");
    const std::string common =
        "missing\tfile\tgone.txt\nchanged\tfile\tgrown.txt\nadded\tfile\tnew.txt\nadded\tfolder\tnewdir\n"
        "added\tfile\tnewdir\\x.txt\nmissing\tfolder\tolddir\nmissing\tfile\tolddir\\y.txt\n"
        "changed\tfile\tsub\\edited.bin\n";
    const std::string byContent = common + "damaged\tfile\tsub\\rotted.bin\n";
    const struct Row {
        std::vector<std::wstring> options;
        std::wstring catalog;
        std::string out;
        const char* summary;
    } rows[] = {
        {{}, withDigests, byContent,
         "verified by content (the catalog's digests): intact 1, missing 3, added 3, damaged 1, changed 2, "
         "unreadable 0; bytes compared "},
        {{L"--null"}, withDigests, WithNul(byContent), "damaged 1, changed 2"},
        {{}, withoutDigests, common,
         "verified by size and time (the catalog holds no digests, so damage under the same size and time goes "
         "unseen): intact 2, missing 3, added 3, changed 2, unreadable 0; elapsed "},
        // The time window is the comparison's: an hour's shift ignored makes the edit look untouched.
        {{L"--ignore-hour-shift"}, withoutDigests,
         "missing\tfile\tgone.txt\nchanged\tfile\tgrown.txt\nadded\tfile\tnew.txt\nadded\tfolder\tnewdir\n"
         "added\tfile\tnewdir\\x.txt\nmissing\tfolder\tolddir\nmissing\tfile\tolddir\\y.txt\n",
         "intact 3, missing 3, added 3, changed 1"},
    };
    for (const Row& row : rows) {
        std::vector<std::wstring> arguments = row.options;
        arguments.insert(arguments.begin(), L"verify");
        arguments.push_back(row.catalog);
        arguments.push_back(m_left);
        CompanionRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 1u) << run.err;
        EXPECT_EQ(run.out, row.out) << run.err;
        EXPECT_NE(run.err.find(row.summary), std::string::npos) << run.err;
        EXPECT_TRUE(NamedLogs(run.err).empty()) << run.err;
    }

    CompanionRun json = Run({L"verify", L"--json", withDigests, m_left});
    EXPECT_EQ(json.exitCode, 1u) << json.err;
    const std::vector<std::string> records = LinesOf(json.out);
    ASSERT_EQ(records.size(), 9u) << json.out;
    const struct {
        size_t record;
        const char* text;  // from its start, or with a leading '*' anywhere in it
    } pieces[] = {
        {0, "{\"difference\":\"missing\",\"kind\":\"file\",\"path\":\"gone.txt\",\"catalog\":{\"kind\":\"file\",\"size\":1,"},
        {0, "*},\"folder\":null}"},
        {2, "{\"difference\":\"added\",\"kind\":\"file\",\"path\":\"new.txt\",\"catalog\":null,\"folder\":{"},
        {8, "{\"difference\":\"damaged\",\"kind\":\"file\",\"path\":\"sub\\\\rotted.bin\",\"catalog\":{\"kind\":\"file\","
            "\"size\":10,\"time\":\"2019-04-17T"},
        {8, "*,\"folder\":{\"kind\":\"file\",\"size\":10,\"time\":\"2019-04-17T"},
    };
    for (const auto& piece : pieces) {
        const std::string& record = records[piece.record];
        if (piece.text[0] == '*') {
            EXPECT_NE(record.find(piece.text + 1), std::string::npos) << record;
        } else {
            EXPECT_EQ(record.compare(0, strlen(piece.text), piece.text), 0) << record;
        }
    }
}

// 0 only for a folder that holds what its catalog lists, the catalog's
// exclusions applied to it; 2 for what verify cannot check.
TEST_F(VerifyTest, StatusIsZeroOnlyForAFolderAsListedAndTwoForWhatCannotBeChecked) {
    File(L"left\\kept.txt", "k");
    File(L"left\\build\\out.obj", "o");
    const std::wstring catalog = Catalog(L"backup.catalog", {L"--content", L"--exclude", L"build\\"});
    const std::wstring other = Catalog(L"other.catalog", {});
    File(L"left\\build\\more.obj", "m");  // in the excluded folder: not the catalog's concern
    const struct Row {
        std::vector<std::wstring> arguments;
        DWORD status;
        const char* err;  // some of standard error
    } rows[] = {
        {{L"verify", catalog, m_left}, 0, "intact 1, missing 0, added 0, damaged 0, changed 0, unreadable 0"},
        {{L"verify", catalog, m_left}, 0, "which apply to RIGHT too: \"build\\\""},
        {{L"verify", m_left, m_right}, 2, "CATALOG is a folder"},
        {{L"verify", catalog, other}, 2, "FOLDER is a catalog"},
        {{L"verify", L"--content", catalog, m_left}, 2, "--content does not go with verify"},
        {{L"verify", L"--all", catalog, m_left}, 2, "--all does not go with verify"},
        {{L"verify", catalog}, 2, "a CATALOG and a FOLDER are needed; 1 given"},
        {{L"verify", catalog, m_folder.PathOf(L"nowhere")}, 2, "nowhere"},
    };
    for (const Row& row : rows) {
        CompanionRun run = Run(row.arguments);
        EXPECT_EQ(run.exitCode, row.status) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(row.err), std::string::npos) << run.err;
    }
}

// A link is Unknown, logged and makes the status 1; with --skip-links it is
// absent from both sides in every command, unlogged, and counted apart.
TEST_F(VerifyTest, SkipLinksLeavesLinksOutOfEveryCommandAndCountsThem) {
    File(L"left\\keep.txt", "k");
    File(L"right\\keep.txt", "k");
    File(L"left\\left.tmp", "t");
    FolderLink(L"left\\", "shortcut");
    FolderLink(L"right\\", "elsewhere");
    const std::wstring withLinks = m_output.PathOf(L"with-links.catalog");
    ASSERT_EQ(Run({L"catalog", L"--content", m_left, withLinks}).exitCode, 1u);
    const std::wstring baseline = m_output.PathOf(L"pair.baseline");
    const struct Row {
        std::vector<std::wstring> arguments;
        DWORD status;
        std::string out;
        const char* summary;  // some of the summary; none for a run that counts nothing
    } rows[] = {
        {{L"analyze", m_left, m_right}, 1, "NEW\tfile\tleft.tmp\nUNKNOWN\tfolder\tshortcut\n", nullptr},
        {{L"analyze", L"--skip-links", m_left, m_right}, 1, "NEW\tfile\tleft.tmp\n", "; links left out 2;"},
        {{L"analyze", L"--skip-links", L"--exclude", L"*.tmp", m_left, m_right}, 0, "",
         "; excluded 1; links left out 2;"},
        {{L"catalog", L"--skip-links", L"--exclude", L"*.tmp", m_left, m_output.PathOf(L"skipped.catalog")}, 0, "",
         "unknown 0; excluded 1; links left out 1;"},
        {{L"verify", withLinks, m_left}, 1, "unreadable\tfolder\tshortcut\n", "unreadable 1"},
        // The catalog's own link is left out too.
        {{L"verify", L"--skip-links", withLinks, m_left}, 0, "", "unreadable 0; bytes compared 2; links left out 2;"},
        {{L"commit", L"--skip-links", L"--exclude", L"*.tmp", m_left, m_right}, 0, "", "; excluded 1; links left out 2"},
        {{L"sync", L"--skip-links", L"--exclude", L"*.tmp", L"--baseline", baseline, m_left, m_right}, 0, "",
         "conflicts 0; excluded 1; links left out 2"},
        {{L"sync", L"--skip-links", L"--exclude", L"*.tmp", L"--baseline", baseline, m_left, m_right}, 0, "",
         "conflicts 0; excluded 1; links left out 2"},
    };
    for (const Row& row : rows) {
        CompanionRun run = Run(row.arguments);
        const std::string label = Utf8(row.arguments[0] + L" " + row.arguments[1]);
        EXPECT_EQ(run.exitCode, row.status) << label << "\n" << run.err;
        EXPECT_EQ(run.out, row.out) << label;
        const bool skipped = std::find(row.arguments.begin(), row.arguments.end(), L"--skip-links") !=
                             row.arguments.end();
        // Left out, a link is not logged: the runs with --skip-links name no log.
        EXPECT_EQ(NamedLogs(run.err).empty(), skipped) << label << "\n" << run.err;
        if (row.summary) {
            EXPECT_NE(run.err.find(row.summary), std::string::npos) << label << "\n" << run.err;
        }
    }
    // Never acted on: each link is still there, and nothing came through it.
    for (const wchar_t* link : {L"left\\shortcut", L"right\\elsewhere"}) {
        const DWORD attributes = GetFileAttributesW(m_folder.PathOf(link).c_str());
        EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << Utf8(link);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_REPARSE_POINT) << Utf8(link);
    }
    EXPECT_EQ(GetFileAttributesW(m_folder.PathOf(L"right\\shortcut").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(m_folder.PathOf(L"left\\elsewhere").c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
