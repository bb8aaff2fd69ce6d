// Runs the real quillmar-cli.exe against real folders and reads what it writes.
#include "tests/support/companion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const uint64_t kTime = 132000000000000000ull;

class CliTest : public testing::Test {
protected:
    void TearDown() override { DeleteFileW(LogPath().c_str()); }

    static std::wstring LogPath() { return ProgramFolder() + L"AnalyzeLog.txt"; }

    CompanionRun Run(const std::vector<std::wstring>& arguments) { return RunCompanion(arguments, m_output); }

    std::wstring File(const std::wstring& relative, const std::string& content = "x", uint64_t time = kTime) {
        size_t slash = relative.rfind(L'\\');
        if (slash != std::wstring::npos) m_folder.MakeFolder(relative.substr(0, slash));
        std::wstring path = m_folder.MakeFile(relative, content);
        EXPECT_TRUE(SetLastWriteTime(path, time));
        return path;
    }

    TempFolder m_output;
    TempFolder m_folder;
    std::wstring m_left = m_folder.MakeFolder(L"left");
    std::wstring m_right = m_folder.MakeFolder(L"right");
};

TEST_F(CliTest, UsageErrorsSayWhatWasWrong) {
    struct Case {
        std::vector<std::wstring> arguments;
        std::string says;
    } cases[] = {
        {{}, "no command"},
        {{L"compare", m_left, m_right}, "unknown command \"compare\""},
        {{L"analyze", L"--contents", m_left, m_right}, "unknown option \"--contents\""},
        {{L"analyze", m_left}, "1 given"},
        {{L"analyze", m_left, m_right, m_left}, "3 given"},
        {{L"analyze", m_left, m_folder.PathOf(L"nowhere")}, "RIGHT folder not found"},
        {{L"analyze", m_folder.PathOf(L"nowhere"), m_right}, "LEFT folder not found"},
    };
    for (const Case& one : cases) {
        CompanionRun result = Run(one.arguments);
        EXPECT_EQ(result.exitCode, 2u) << one.says;
        EXPECT_NE(result.err.find(one.says), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("usage: quillmar-cli.exe analyze"), std::string::npos);
        EXPECT_TRUE(result.out.empty());
    }
    EXPECT_EQ(GetFileAttributesW(LogPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(CliTest, StructureLinesAreSortedBySideThenPath) {
    File(L"left\\same.txt");
    File(L"right\\SAME.TXT");
    File(L"left\\touched.txt", "t", kTime);
    File(L"right\\touched.txt", "t", kTime + 1);
    // Equal times but different sizes: modified.
    File(L"left\\grown.txt", "a");
    File(L"right\\grown.txt", "abc");
    File(L"left\\only\\deep\\a.txt");
    File(L"right\\b\\\u00e9t\u00e9.txt");
    // Without the trailing backslash on one side.
    std::wstring right = m_right.substr(0, m_right.size() - 1);
    CompanionRun result = Run({L"analyze", m_left, right});
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    // Paths in ordinal order of their UTF-8 bytes, so capitals come first.
    const std::string expected = "0\tMissing\tD\tb\n"
                                 "0\tMissing\tF\tb\\" + Utf8(L"\u00e9t\u00e9.txt") + "\n"
                                 "0\tModified\tF\tgrown.txt\n"
                                 "0\tNew\tD\tonly\n"
                                 "0\tNew\tD\tonly\\deep\n"
                                 "0\tNew\tF\tonly\\deep\\a.txt\n"
                                 "0\tIdentical\tF\tsame.txt\n"
                                 "0\tModified\tF\ttouched.txt\n"
                                 "1\tIdentical\tF\tSAME.TXT\n"
                                 "1\tNew\tD\tb\n"
                                 "1\tNew\tF\tb\\" + Utf8(L"\u00e9t\u00e9.txt") + "\n"
                                 "1\tModified\tF\tgrown.txt\n"
                                 "1\tMissing\tD\tonly\n"
                                 "1\tMissing\tD\tonly\\deep\n"
                                 "1\tMissing\tF\tonly\\deep\\a.txt\n"
                                 "1\tModified\tF\ttouched.txt\n";
    EXPECT_EQ(result.out, expected);
    EXPECT_NE(result.err.find("nodes 8 and 8, bytes compared 0, skipped items 0"), std::string::npos) << result.err;
    EXPECT_EQ(GetFileAttributesW(LogPath().c_str()), INVALID_FILE_ATTRIBUTES) << "an empty log is deleted";
}

TEST_F(CliTest, ContentComparisonReportsLockedFilesAndKeepsTheLog) {
    File(L"left\\tail.bin", "0123456789");
    File(L"right\\tail.bin", "012345678X");
    File(L"left\\copy.bin", "same bytes", kTime);
    File(L"right\\copy.bin", "same bytes", kTime + 5);
    File(L"left\\dir\\locked.bin", "abc");
    std::wstring locked = File(L"right\\dir\\locked.bin", "abc");
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    for (bool simultaneous : {false, true}) {
        std::vector<std::wstring> arguments = {L"analyze", L"--content", m_left, m_right};
        if (simultaneous) arguments.insert(arguments.begin() + 1, L"--simultaneous");
        CompanionRun result = Run(arguments);
        EXPECT_EQ(result.exitCode, 0u) << result.err;
        EXPECT_EQ(result.out, "0\tIdentical\tF\tcopy.bin\n"
                              "0\tModified\tD\tdir\n"
                              "0\tUnknown\tF\tdir\\locked.bin\n"
                              "0\tModified\tF\ttail.bin\n"
                              "1\tIdentical\tF\tcopy.bin\n"
                              "1\tModified\tD\tdir\n"
                              "1\tUnknown\tF\tdir\\locked.bin\n"
                              "1\tModified\tF\ttail.bin\n");
        // Ten and ten bytes read; the locked pair is not.
        EXPECT_NE(result.err.find("bytes compared 20, skipped items 1"), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("Some files/folders could not be accessed"), std::string::npos);
        std::string log = ReadWholeFile(LogPath());
        std::string header = "\xFF\xFE";
        for (char c : std::string("The following files/folders were sikpped during the analyze process:")) {
            header += c;
            header += '\0';
        }
        EXPECT_EQ(log.compare(0, header.size(), header), 0);
        std::wstring text(reinterpret_cast<const wchar_t*>(log.data()), log.size() / 2);
        EXPECT_NE(text.find(locked), std::wstring::npos);
    }
    CloseHandle(holder);
}

TEST_F(CliTest, LogThatCannotBeCreatedFailsWithStatusOne) {
    File(L"left\\a.txt");
    ASSERT_TRUE(CreateDirectoryW(LogPath().c_str(), nullptr));
    CompanionRun result = Run({L"analyze", m_left, m_right});
    RemoveDirectoryW(LogPath().c_str());
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(result.err.find("Can not create error log file!"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
}

TEST_F(CliTest, EmptyLocationMakesEverythingNewOnTheOtherSide) {
    File(L"right\\a.txt");
    CompanionRun result = Run({L"analyze", m_left, m_right});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.out, "0\tMissing\tF\ta.txt\n1\tNew\tF\ta.txt\n");
}

}  // namespace
