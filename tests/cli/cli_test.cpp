// Runs the real quillmar-cli.exe against real folders and reads what it writes.
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const uint64_t kTime = 132000000000000000ull;

struct CliResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path, length);
    return text.substr(0, text.rfind(L'\\') + 1);
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    return bytes;
}

HANDLE InheritableFile(const std::wstring& path) {
    SECURITY_ATTRIBUTES security = {sizeof(security), nullptr, TRUE};
    return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &security, CREATE_ALWAYS, 0, nullptr);
}

std::string Utf8(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string bytes(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &bytes[0], size, nullptr, nullptr);
    return bytes;
}

class CliTest : public testing::Test {
protected:
    void TearDown() override { DeleteFileW(LogPath().c_str()); }

    static std::wstring LogPath() { return ProgramFolder() + L"AnalyzeLog.txt"; }

    CliResult Run(const std::vector<std::wstring>& arguments) {
        CliResult result;
        std::wstring outPath = m_output.PathOf(L"out.txt");
        std::wstring errPath = m_output.PathOf(L"err.txt");
        HANDLE out = InheritableFile(outPath);
        HANDLE err = InheritableFile(errPath);
        std::wstring command = L"\"" + ProgramFolder() + L"quillmar-cli.exe\"";
        for (const std::wstring& argument : arguments) {
            // A backslash before the closing quote is doubled, or it would escape the quote.
            std::wstring quoted = argument;
            if (!quoted.empty() && quoted.back() == L'\\') quoted += L'\\';
            command += L" \"" + quoted + L"\"";
        }
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
        startup.hStdOutput = out;
        startup.hStdError = err;
        PROCESS_INFORMATION process = {};
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(0);
        BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                      &process);
        CloseHandle(out);
        CloseHandle(err);
        EXPECT_TRUE(started) << "cannot start quillmar-cli.exe";
        if (!started) return result;
        if (WaitForSingleObject(process.hProcess, 120000) != WAIT_OBJECT_0) {
            ADD_FAILURE() << "quillmar-cli.exe did not end";
            TerminateProcess(process.hProcess, 99);
            WaitForSingleObject(process.hProcess, INFINITE);
        }
        GetExitCodeProcess(process.hProcess, &result.exitCode);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        result.out = ReadBytes(outPath);
        result.err = ReadBytes(errPath);
        return result;
    }

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
        CliResult result = Run(one.arguments);
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
    File(L"left\\grown.txt", "a");
    File(L"right\\grown.txt", "abc");
    File(L"left\\only\\deep\\a.txt");
    File(L"right\\b\\\u00e9t\u00e9.txt");
    // Without the trailing backslash on one side.
    std::wstring right = m_right.substr(0, m_right.size() - 1);
    CliResult result = Run({L"analyze", m_left, right});
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    // Paths in ordinal order of their UTF-8 bytes, so capitals come first.
    const std::string expected = "0\tMissing\tD\tb\n"
                                 "0\tMissing\tF\tb\\" + Utf8(L"\u00e9t\u00e9.txt") + "\n"
                                 "0\tIdentical\tF\tgrown.txt\n"
                                 "0\tNew\tD\tonly\n"
                                 "0\tNew\tD\tonly\\deep\n"
                                 "0\tNew\tF\tonly\\deep\\a.txt\n"
                                 "0\tIdentical\tF\tsame.txt\n"
                                 "0\tModified\tF\ttouched.txt\n"
                                 "1\tIdentical\tF\tSAME.TXT\n"
                                 "1\tNew\tD\tb\n"
                                 "1\tNew\tF\tb\\" + Utf8(L"\u00e9t\u00e9.txt") + "\n"
                                 "1\tIdentical\tF\tgrown.txt\n"
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
        CliResult result = Run(arguments);
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
        std::string log = ReadBytes(LogPath());
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
    CliResult result = Run({L"analyze", m_left, m_right});
    RemoveDirectoryW(LogPath().c_str());
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_NE(result.err.find("Can not create error log file!"), std::string::npos) << result.err;
    EXPECT_TRUE(result.out.empty());
}

TEST_F(CliTest, EmptyLocationMakesEverythingNewOnTheOtherSide) {
    File(L"right\\a.txt");
    CliResult result = Run({L"analyze", m_left, m_right});
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.out, "0\tMissing\tF\ta.txt\n1\tNew\tF\ta.txt\n");
}

}  // namespace
