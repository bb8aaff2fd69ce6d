// Runs the real quillmar-cli.exe against real folders and reads what it writes:
// the command line, the listings, their summary and the exit statuses.
#include "tests/cli/cli_fixture.h"

#include "quillmar_version.h"
#include "tests/support/unix_side.h"

#include <algorithm>

namespace {

// What the analysis says about the items, after the listing.
std::string SummaryOf(const CompanionRun& run) {
    size_t start = run.err.find("quillmar-cli: identical ");
    if (start == std::string::npos) return std::string();
    size_t end = run.err.find("; elapsed", start);
    return run.err.substr(start + 14, end == std::string::npos ? std::string::npos : end - start - 14);
}

// A command line that cannot be read is answered with the synopsis; one that
// names what is not there, with its one line and where the help is.
TEST_F(CliTest, UsageErrorsSayWhatWasWrong) {
    struct Case {
        std::vector<std::wstring> arguments;
        std::string says;
        bool usage;
    } cases[] = {
        {{}, "no command", true},
        {{L"compare", m_left, m_right}, "unknown command \"compare\"", true},
        {{L"analyze", L"--contents", m_left, m_right}, "unknown option \"--contents\"", true},
        {{L"analyze", m_left}, "1 given", true},
        {{L"analyze", m_left, m_right, m_left}, "3 given", true},
        {{L"analyze", m_left, m_folder.PathOf(L"nowhere")}, "RIGHT folder not found", false},
        {{L"analyze", m_folder.PathOf(L"nowhere"), m_right}, "LEFT folder not found", false},
        {{L"analyze", m_left, m_folder.MakeFile(L"plain.txt", "x")}, "RIGHT is not a folder: ", false},
        {{L"catalog", m_folder.PathOf(L"nowhere"), m_folder.PathOf(L"x.catalog")}, "FOLDER not found", false},
        {{L"catalog", m_left, m_right}, "FILE is a folder", false},
        {{L"analyze", L"-n", m_left, m_right}, "unknown option \"-n\"", true},
        {{L"commit", L"--max-delete", L"-1", m_left, m_right}, "--max-delete needs a number N of 0 or more", true},
        {{L"analyze", L"--max-delete", L"3", m_left, m_right}, "--max-delete does not go with analyze", true},
        {{L"analyze", L"--dry-run", m_left, m_right}, "--dry-run does not go with analyze", true},
        {{L"commit", L"--all", m_left, m_right}, "--all does not go with commit", true},
        {{L"analyze", m_left, m_right, L"--log"}, "--log needs a FOLDER", true},
        {{L"analyze", L"--time-window", L"1", m_left, m_right}, "SECONDS from 2 to 86400, or 0", true},
        {{L"commit", L"--backup-dir", m_right, L"--backup-keep-days", L"0", m_left, m_right},
         "--backup-keep-days needs a number N of days from 1 to 36500", true},
        {{L"sync", L"--backup-dir", m_right, L"--backup-keep-days", L"36501", m_left, m_right},
         "--backup-keep-days needs a number N of days from 1 to 36500", true},
        {{L"update", L"--backup-keep-days", L"7", m_left, m_right}, "--backup-keep-days needs --backup-dir", true},
        {{L"analyze", L"--backup-keep-days", L"7", m_left, m_right}, "--backup-keep-days does not go with analyze",
         true},
        {{L"sync", L"--delete-excluded", L"--exclude", L"*.tmp", L"--baseline", m_folder.PathOf(L"b"), m_left, m_right},
         "--delete-excluded does not go with sync", true},
        {{L"commit", L"--delete-excluded", L"--skip-links", m_left, m_right},
         "--delete-excluded needs --exclude or --exclude-from", true},
        {{L"--version", L"analyze"}, "--version takes no arguments", true},
        // After "--" an option is a folder's name.
        {{L"analyze", L"--", L"--content", m_right}, "LEFT folder not found: --content", false},
    };
    for (const Case& one : cases) {
        CompanionRun result = Run(one.arguments);
        EXPECT_EQ(result.exitCode, 2u) << one.says;
        EXPECT_EQ(result.err.find("quillmar-cli: "), 0u) << result.err;
        EXPECT_NE(result.err.find(one.says), std::string::npos) << result.err;
        EXPECT_EQ(result.err.find("usage: quillmar-cli.exe analyze") != std::string::npos, one.usage) << result.err;
        if (!one.usage) {
            EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2) << result.err;
            EXPECT_EQ(result.err.substr(result.err.find('\n') + 1), "Try 'quillmar-cli --help'\n");
        }
        EXPECT_TRUE(result.out.empty());
    }
    // A log folder that is not there is no usage error, but trouble all the same.
    CompanionRun result = Run({L"analyze", L"--log", m_folder.PathOf(L"nowhere"), m_left, m_right});
    EXPECT_EQ(result.exitCode, 2u);
    EXPECT_NE(result.err.find("log folder not found"), std::string::npos) << result.err;
    EXPECT_EQ(GetFileAttributesW((ProgramFolder() + L"AnalyzeLog.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CliTest, HelpGoesToStandardOutputWithStatusZeroAndVersionNamesTheProject) {
    const std::vector<std::vector<std::wstring>> asks = {
        {L"--help"}, {L"-h"}, {L"/?"}, {L"commit", L"--help"}, {L"analyze", m_left, L"-h"}};
    for (const auto& arguments : asks) {
        CompanionRun result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0u) << Utf8(arguments[0]);
        EXPECT_EQ(result.err, "");
        // Commands, options, the output, the exit statuses and the logs.
        for (const char* part : {"usage: quillmar-cli.exe analyze", "quillmar-cli.exe commit [--dry-run]",
                                 "--log FOLDER", "STATE<tab>KIND<tab>PATH", "SIDE<tab>STATE<tab>KIND<tab>PATH",
                                 "copy<tab>SOURCE<tab>TARGET", "Exit status:", "2 trouble", "Logs:", "%TEMP%",
                                 "quillmar-cli.exe catalog [--content]",
                                 "KIND<tab>SIZE<tab>TIME<tab>ATTRIBUTES<tab>SHA256<tab>PATH"})
            EXPECT_NE(result.out.find(part), std::string::npos) << part;
    }
    CompanionRun version = Run({L"--version"});
    EXPECT_EQ(version.exitCode, 0u);
    EXPECT_EQ(version.out, "quillmar-cli " QUILLMAR_VERSION_TEXT "\n");
    EXPECT_EQ(version.err, "");
}

TEST_F(CliTest, DefaultListingHasOneLinePerDifferenceSeenFromLeft) {
    File(L"left\\same.txt");
    File(L"right\\SAME.TXT");
    File(L"left\\touched.txt", "t", kTime);
    File(L"right\\touched.txt", "t", kTime + 30000000);
    File(L"left\\only\\deep\\a.txt");
    File(L"left\\kept\\inside.txt");
    File(L"right\\kept\\inside.txt");
    File(L"right\\b\\\u00e9t\u00e9.txt");
    CompanionRun result = Run({L"analyze", m_left, m_right.substr(0, m_right.size() - 1)});
    EXPECT_EQ(result.exitCode, 1u) << result.err;
    // Each item once, in ordinal order of the UTF-8 paths; identical ones are left out.
    EXPECT_EQ(result.out, "MISSING\tfolder\tb\n"
                          "MISSING\tfile\tb\\" + Utf8(L"\u00e9t\u00e9.txt") + "\n"
                          "NEW\tfolder\tonly\n"
                          "NEW\tfolder\tonly\\deep\n"
                          "NEW\tfile\tonly\\deep\\a.txt\n"
                          "MODIFIED\tfile\ttouched.txt\n");
    EXPECT_EQ(SummaryOf(result), "identical 3, new 3, missing 2, modified 1, unknown 0; bytes compared 0");
    EXPECT_EQ(result.err.find("Some files/folders could not be accessed"), std::string::npos);
}

TEST_F(CliTest, IdenticalFoldersListNothingAndEndWithStatusZero) {
    File(L"left\\a\\one.txt", "1");
    File(L"right\\a\\one.txt", "1");
    File(L"left\\two.txt", "22");
    File(L"right\\two.txt", "22");
    for (bool content : {false, true}) {
        std::vector<std::wstring> arguments = {L"analyze", m_left, m_right};
        if (content) arguments.insert(arguments.begin() + 1, L"--content");
        CompanionRun result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0u) << result.err;
        EXPECT_EQ(result.out, "");
        // The common bytes, counted once.
        EXPECT_EQ(SummaryOf(result), content ? "identical 3, new 0, missing 0, modified 0, unknown 0; bytes compared 3"
                                             : "identical 3, new 0, missing 0, modified 0, unknown 0; bytes compared 0");
    }
}

TEST_F(CliTest, FullListingKeepsItsFormatSortedBySideThenPath) {
    File(L"left\\same.txt");
    File(L"right\\SAME.TXT");
    File(L"left\\touched.txt", "t", kTime);
    File(L"right\\touched.txt", "t", kTime + 30000000);
    // The time mode reads nothing: other bytes at the same time are Identical.
    File(L"left\\rewritten.txt", "a");
    File(L"right\\rewritten.txt", "b");
    // Equal times but different sizes: modified.
    File(L"left\\grown.txt", "a");
    File(L"right\\grown.txt", "abc");
    File(L"left\\only\\deep\\a.txt");
    File(L"right\\b\\\u00e9t\u00e9.txt");
    CompanionRun result = Run({L"analyze", L"--all", m_left, m_right});
    EXPECT_EQ(result.exitCode, 1u) << result.err;
    // Paths in ordinal order of their UTF-8 bytes, so capitals come first.
    const std::string expected = "0\tMissing\tD\tb\n"
                                 "0\tMissing\tF\tb\\" + Utf8(L"\u00e9t\u00e9.txt") + "\n"
                                 "0\tModified\tF\tgrown.txt\n"
                                 "0\tNew\tD\tonly\n"
                                 "0\tNew\tD\tonly\\deep\n"
                                 "0\tNew\tF\tonly\\deep\\a.txt\n"
                                 "0\tIdentical\tF\trewritten.txt\n"
                                 "0\tIdentical\tF\tsame.txt\n"
                                 "0\tModified\tF\ttouched.txt\n"
                                 "1\tIdentical\tF\tSAME.TXT\n"
                                 "1\tNew\tD\tb\n"
                                 "1\tNew\tF\tb\\" + Utf8(L"\u00e9t\u00e9.txt") + "\n"
                                 "1\tModified\tF\tgrown.txt\n"
                                 "1\tMissing\tD\tonly\n"
                                 "1\tMissing\tD\tonly\\deep\n"
                                 "1\tMissing\tF\tonly\\deep\\a.txt\n"
                                 "1\tIdentical\tF\trewritten.txt\n"
                                 "1\tModified\tF\ttouched.txt\n";
    EXPECT_EQ(result.out, expected);
    EXPECT_EQ(SummaryOf(result), "identical 2, new 3, missing 2, modified 2, unknown 0; bytes compared 0");
}

TEST_F(CliTest, ContentComparisonListsLockedFilesAsUnknownAndNamesTheLog) {
    File(L"left\\tail.bin", "0123456789");
    File(L"right\\tail.bin", "012345678X");
    File(L"left\\copy.bin", "same bytes", kTime);
    File(L"right\\copy.bin", "same bytes", kTime + 5);
    File(L"left\\dir\\locked.bin", "abc");
    std::wstring locked = File(L"right\\dir\\locked.bin", "abc");
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    for (bool all : {false, true}) {
        std::vector<std::wstring> arguments = {L"analyze", L"--content", L"--simultaneous", m_left, m_right};
        if (all) arguments.insert(arguments.begin() + 1, L"--all");
        CompanionRun result = Run(arguments);
        EXPECT_EQ(result.exitCode, 1u) << result.err;
        EXPECT_EQ(result.out, all ? "0\tIdentical\tF\tcopy.bin\n"
                                    "0\tModified\tD\tdir\n"
                                    "0\tUnknown\tF\tdir\\locked.bin\n"
                                    "0\tModified\tF\ttail.bin\n"
                                    "1\tIdentical\tF\tcopy.bin\n"
                                    "1\tModified\tD\tdir\n"
                                    "1\tUnknown\tF\tdir\\locked.bin\n"
                                    "1\tModified\tF\ttail.bin\n"
                                  : "MODIFIED\tfolder\tdir\n"
                                    "UNKNOWN\tfile\tdir\\locked.bin\n"
                                    "MODIFIED\tfile\ttail.bin\n");
        // Ten and ten bytes read; the locked pair is not.
        EXPECT_EQ(SummaryOf(result), "identical 1, new 0, missing 0, modified 2, unknown 1; bytes compared 20");
        ASSERT_EQ(NamedLogs(result.err).size(), 1u) << result.err;
        EXPECT_NE(result.err.find("Some files/folders could not be accessed and are listed as UNKNOWN and left alone. "
                                  "A list of these files was saved to <" + Utf8(NamedLogs(result.err)[0]) + ">!\n"),
                  std::string::npos)
            << result.err;
        std::string log = ReadWholeFile(NamedLogs(result.err)[0]);
        std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
        EXPECT_EQ(text.find(L"\uFEFFThe following files/folders were sikpped during the analyze process:"), 0u);
        EXPECT_NE(text.find(locked), std::wstring::npos);
    }
    CloseHandle(holder);
    // Only an incomplete comparison made the status 1: nothing else differs.
    DeleteFileW((m_left + L"tail.bin").c_str());
    DeleteFileW((m_right + L"tail.bin").c_str());
    holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    CompanionRun result = Run({L"analyze", L"--content", m_left, m_right});
    CloseHandle(holder);
    EXPECT_EQ(result.exitCode, 1u) << result.err;
}

TEST_F(CliTest, NullOptionEndsEveryRecordWithANulCharacter) {
    File(L"left\\one.txt");
    File(L"left\\sub\\two.txt");
    CompanionRun listed = Run({L"analyze", L"--null", m_left, m_right});
    EXPECT_EQ(listed.out, std::string("NEW\tfile\tone.txt") + '\0' + "NEW\tfolder\tsub" + '\0' +
                              "NEW\tfile\tsub\\two.txt" + '\0');
    CompanionRun all = Run({L"analyze", L"--all", L"--null", m_left, m_right});
    EXPECT_EQ(all.out.find('\n'), std::string::npos);
    EXPECT_EQ(std::count(all.out.begin(), all.out.end(), '\0'), 6);
    CompanionRun dry = Run({L"commit", L"--dry-run", L"--null", m_left, m_right});
    EXPECT_EQ(dry.out, "mkdir\t" + Utf8(m_right + L"sub") + '\0' + "copy\t" + Utf8(m_left + L"one.txt") + "\t" +
                           Utf8(m_right + L"one.txt") + '\0' + "copy\t" + Utf8(m_left + L"sub\\two.txt") + "\t" +
                           Utf8(m_right + L"sub\\two.txt") + '\0');
}

// Linux file systems allow a line break in a name; only NUL-ended records carry it whole.
TEST_F(CliTest, NullOptionCarriesNamesWithLineBreaks) {
    const std::string folder = UnixPathOf(m_left);
    if (folder.empty()) GTEST_SKIP() << "the Linux side is not reachable";
    ASSERT_EQ(RunUnixShell("printf x > " + ShellQuote(folder + "line\nbreak.txt")), 0);
    File(L"left\\plain.txt");
    CompanionRun result = Run({L"analyze", L"--null", m_left, m_right});
    // A name the system's path rules reject is never compared or synchronized.
    EXPECT_EQ(result.out, std::string("UNKNOWN\tfile\tline\nbreak.txt") + '\0' + "NEW\tfile\tplain.txt" + '\0');
    RemoveUnixTree(m_left);
}

// The scan's counts and the content's progress redraw a console line; a file or a pipe gets none of it.
TEST_F(CliTest, ProgressStaysOffAnErrorStreamThatIsNotAConsole) {
    File(L"left\\sub\\a.bin", std::string(100000, 'a'));
    File(L"right\\sub\\a.bin", std::string(100000, 'b'));
    CompanionRun result = Run({L"analyze", L"--content", m_left, m_right});
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.err.find('\r'), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Listed:"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("Progress"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find("quillmar-cli: identical 0, new 0, missing 0, modified 2"), 0u) << result.err;
}

TEST_F(CliTest, EmptyLocationMakesEverythingMissingSeenFromLeft) {
    File(L"right\\a.txt");
    CompanionRun result = Run({L"analyze", m_left, m_right});
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.out, "MISSING\tfile\ta.txt\n");
    result = Run({L"analyze", L"--all", m_left, m_right});
    EXPECT_EQ(result.out, "0\tMissing\tF\ta.txt\n1\tNew\tF\ta.txt\n");
}

}  // namespace
