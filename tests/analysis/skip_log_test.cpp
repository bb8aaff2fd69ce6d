#include "analysis/skip_log.h"
#include "model/system_error.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring ReadLogText(const std::wstring& path) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return L"<missing>";
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    if (!bytes.empty()) ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
    CloseHandle(file);
    std::wstring text(bytes.size() / 2, L'\0');
    memcpy(&text[0], bytes.data(), text.size() * 2);
    return text;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class SkipLogTest : public testing::Test {
protected:
    void TearDown() override { SkipLogClose(); }
    TempFolder m_folder;
    std::wstring m_path = m_folder.PathOf(L"AnalyzeLog.txt");
};

TEST_F(SkipLogTest, WritesMarkHeaderBlankLineAndEntries) {
    ASSERT_TRUE(SkipLogOpen(m_path.c_str(), L"Skipped items"));
    EXPECT_TRUE(SkipLogAppend(L"C:\\first\\"));
    EXPECT_TRUE(SkipLogAppend(L""));
    EXPECT_TRUE(SkipLogAppend(L"third"));
    EXPECT_EQ(SkipLogClose(), 3u);
    EXPECT_EQ(ReadLogText(m_path), L"\xFEFFSkipped items\r\n\r\nC:\\first\\\r\n\r\nthird\r\n");
}

TEST_F(SkipLogTest, DeletesALogWithoutEntries) {
    ASSERT_TRUE(SkipLogOpen(m_path.c_str(), L"Header"));
    EXPECT_TRUE(Exists(m_path));
    EXPECT_EQ(SkipLogClose(), 0u);
    EXPECT_FALSE(Exists(m_path));
}

TEST_F(SkipLogTest, SecondOpenFailsAndLeavesTheFirstUntouched) {
    std::wstring other = m_folder.PathOf(L"Other.txt");
    ASSERT_TRUE(SkipLogOpen(m_path.c_str(), L"H"));
    EXPECT_TRUE(SkipLogAppend(L"one"));
    EXPECT_FALSE(SkipLogOpen(other.c_str(), L"X"));
    EXPECT_FALSE(Exists(other));
    EXPECT_TRUE(SkipLogAppend(L"two"));
    EXPECT_EQ(SkipLogClose(), 2u);
    EXPECT_EQ(ReadLogText(m_path), L"\xFEFFH\r\n\r\none\r\ntwo\r\n");
}

TEST_F(SkipLogTest, OpenFailsForAFileThatCannotBeCreatedAndLeavesItAlone) {
    std::wstring held = m_folder.MakeFile(L"held.txt", "precious");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(SkipLogOpen(held.c_str(), L"H"));
    EXPECT_FALSE(SkipLogAppend(L"nowhere"));
    CloseHandle(holder);
    SkipLogClose();
    EXPECT_TRUE(Exists(held)) << "a failed open must not lead a later close to delete the file";
    EXPECT_FALSE(SkipLogOpen(m_folder.PathOf(L"no-such-folder\\log.txt").c_str(), L"H"));
}

TEST_F(SkipLogTest, RejectsOverlongHeadersAndNames) {
    std::wstring header(1019, L'h');
    EXPECT_FALSE(SkipLogOpen(m_path.c_str(), header.c_str()));
    EXPECT_FALSE(Exists(m_path));
    std::wstring longName = m_folder.Path() + std::wstring(260, L'n');
    EXPECT_FALSE(SkipLogOpen(longName.c_str(), L"H"));
    EXPECT_TRUE(SkipLogOpen(m_path.c_str(), std::wstring(1018, L'h').c_str()));
    EXPECT_EQ(SkipLogClose(), 0u);
}

TEST_F(SkipLogTest, AppendWithoutOpenLogFails) { EXPECT_FALSE(SkipLogAppend(L"x")); }

// Lets `g_writesLeft` writes through, then fails or writes short.
int g_writesLeft = 0;
bool g_writeShort = false;
BOOL WINAPI LimitedWrite(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (g_writesLeft-- > 0) return WriteFile(file, bytes, size, written, overlapped);
    if (!g_writeShort) return FALSE;
    return WriteFile(file, bytes, size / 2, written, overlapped);
}

class FailingSkipLogTest : public SkipLogTest {
protected:
    void SetUp() override { SkipLogSetWriteFunction(LimitedWrite); }
    void TearDown() override {
        SkipLogClose();
        SkipLogSetWriteFunction(nullptr);
    }
};

TEST_F(FailingSkipLogTest, AFailedFirstAppendClosesTheLogAndTheCloseDeletesIt) {
    g_writesLeft = 1;  // the header
    g_writeShort = false;
    ASSERT_TRUE(SkipLogOpen(m_path.c_str(), L"H"));
    EXPECT_FALSE(SkipLogAppend(L"lost"));
    EXPECT_FALSE(SkipLogAppend(L"also lost")) << "the log stays closed";
    EXPECT_EQ(SkipLogClose(), 0u);
    EXPECT_FALSE(Exists(m_path));
}

TEST_F(FailingSkipLogTest, AShortWriteAfterEntriesKeepsTheEntriesCounted) {
    g_writesLeft = 1 + 4;  // the header, then two entries of text and line end
    g_writeShort = true;
    ASSERT_TRUE(SkipLogOpen(m_path.c_str(), L"H"));
    EXPECT_TRUE(SkipLogAppend(L"one"));
    EXPECT_TRUE(SkipLogAppend(L"two"));
    EXPECT_FALSE(SkipLogAppend(L"three is cut"));
    const wchar_t* pair[2] = {L"a", L"b"};
    EXPECT_FALSE(SkipLogAppendLines(pair, 2));
    EXPECT_EQ(SkipLogClose(), 2u);
    EXPECT_TRUE(Exists(m_path));
}

TEST_F(FailingSkipLogTest, AFailedHeaderLeavesNoLogAndNoFile) {
    g_writesLeft = 0;
    g_writeShort = true;
    EXPECT_FALSE(SkipLogOpen(m_path.c_str(), L"Header"));
    EXPECT_FALSE(SkipLogAppend(L"x"));
    EXPECT_FALSE(Exists(m_path));
}

struct AppenderArgs {
    int thread;
    int lines;
};

DWORD WINAPI AppendMany(void* parameter) {
    auto* args = static_cast<AppenderArgs*>(parameter);
    for (int i = 0; i < args->lines; ++i) {
        wchar_t line[64];
        swprintf(line, 64, L"thread %d line %05d %ls", args->thread, i, args->thread ? L"bbbbbbbbbbbbbbbbbbbb" : L"a");
        if (!SkipLogAppend(line)) return 1;
    }
    return 0;
}

TEST_F(SkipLogTest, TwoThreadsAppendingAtOnceKeepEveryLineWholeAndCounted) {
    const int kLines = 3000;
    ASSERT_TRUE(SkipLogOpen(m_path.c_str(), L"H"));
    AppenderArgs args[2] = {{0, kLines}, {1, kLines}};
    HANDLE threads[2];
    for (int t = 0; t < 2; ++t) threads[t] = CreateThread(nullptr, 0, AppendMany, &args[t], 0, nullptr);
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) {
        DWORD code = 1;
        GetExitCodeThread(thread, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(thread);
    }
    EXPECT_EQ(SkipLogClose(), DWORD(2 * kLines));

    std::wstring text = ReadLogText(m_path);
    ASSERT_EQ(text.compare(0, 6, L"\xFEFFH\r\n\r\n"), 0);
    int next[2] = {0, 0};
    size_t start = 6;
    while (start < text.size()) {
        size_t end = text.find(L"\r\n", start);
        ASSERT_NE(end, std::wstring::npos);
        std::wstring line = text.substr(start, end - start);
        int thread = -1, number = -1;
        wchar_t tail[32] = {};
        ASSERT_EQ(swscanf(line.c_str(), L"thread %d line %d %31ls", &thread, &number, tail), 3) << line;
        ASSERT_TRUE(thread == 0 || thread == 1);
        EXPECT_EQ(number, next[thread]++) << "lines of one thread stay in order";
        EXPECT_EQ(std::wstring(tail), thread ? L"bbbbbbbbbbbbbbbbbbbb" : L"a");
        start = end + 2;
    }
    EXPECT_EQ(next[0], kLines);
    EXPECT_EQ(next[1], kLines);
}

TEST(FormatSystemError, GivesTheSystemsTextAndNamesUnknownCodes) {
    wchar_t text[kSystemErrorUnits];
    FormatSystemError(ERROR_PATH_NOT_FOUND, text);
    EXPECT_GT(wcslen(text), 5u);
    EXPECT_EQ(wcsstr(text, L"3"), nullptr) << "the system's own text, not ours";
    FormatSystemError(0x2BADBEEF, text);
    EXPECT_NE(wcsstr(text, L"732806895"), nullptr) << "a code without text is named: " << text;
}

}  // namespace
