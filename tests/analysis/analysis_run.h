#pragma once
// Runs one analysis the way the Analyze dialog does (record set up, worker on
// its own thread, messages to a window) and collects what it reports.
#include "analysis/analysis_worker.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// One message as the worker sent it, with the status of the slot it names
// (slot 0 for the messages without a location) at that moment.
struct SentMessage {
    UINT message;
    WPARAM wParam;
    std::wstring text;
    DWORD code;
    bool operator==(const SentMessage&) const = default;
};

struct AnalysisRunOptions {
    bool compareContent = false;
    bool simultaneous = false;
    TimeRule timeRule = {};
    // The skipped-items log to open for the run; none when empty.
    std::wstring logPath;
    // Called on the worker's thread before each message goes out (after it is recorded).
    std::function<void(BackgroundOpsData*, UINT, WPARAM)> onMessage;
};

struct AnalysisRun {
    std::vector<SentMessage> sent;  // as the worker sent them
    std::vector<std::pair<UINT, WPARAM>> received;  // as the window received them
    DWORD exitCode = STILL_ACTIVE;
    bool ended = false;  // the worker thread ended within the time allowed
    DWORD logEntries = 0;  // entries the run wrote to the log
};

// Frees g_backgroundOps if it is valid, sets it up for the two root paths
// (each ending in a backslash), runs the worker to its end and waits for it.
// The record stays valid afterwards so that the trees can be inspected;
// call BackgroundOpsFree(&g_backgroundOps) when done.
AnalysisRun RunAnalysis(const std::wstring& root0, const std::wstring& root1, const AnalysisRunOptions& options);

// Messages and wParams only, for comparing with what the window received.
std::vector<std::pair<UINT, WPARAM>> MessagesOf(const std::vector<SentMessage>& sent);

// Readable form of a message list for test failure output.
std::string Describe(const std::vector<SentMessage>& sent);

// The entry lines of a closed skipped-items log (after its header and blank
// line); empty when there is no log.
std::vector<std::wstring> ReadLogEntries(const std::wstring& path);
// The system's message text for a code, as the log writes it.
std::wstring SystemMessage(DWORD code);

// The node of `tree` at the relative path "a\b" (empty for the root), or null.
FileNode* NodeAt(const LocationTree* tree, const std::wstring& relative);

#include "model/memory.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

// Two fresh locations, "left" (location 0) and "right" (location 1), and a
// check that the run gave back every block it took.
class AnalysisTest : public testing::Test {
protected:
    static constexpr uint64_t kTime = 132000000000000000ull;  // one fixed last-write time

    void SetUp() override { m_baseline = MemOutstanding(); }
    void TearDown() override {
        MemFailAfter(-1);
        BackgroundOpsFree(&g_backgroundOps);
        EXPECT_EQ(MemOutstanding(), m_baseline) << "blocks left behind";
    }

    // A file in location `side` with the given content and last-write time.
    std::wstring File(int side, const std::wstring& relative, const std::string& content = "x",
                      uint64_t time = kTime) {
        size_t slash = relative.rfind(L'\\');
        if (slash != std::wstring::npos) Folder(side, relative.substr(0, slash));
        std::wstring path = m_folder.MakeFile(Root(side).substr(m_folder.Path().size()) + relative, content);
        EXPECT_TRUE(SetLastWriteTime(path, time));
        return path;
    }
    // The same file in both locations.
    void FileInBoth(const std::wstring& relative, const std::string& content = "x") {
        File(0, relative, content);
        File(1, relative, content);
    }
    std::wstring Folder(int side, const std::wstring& relative) {
        return m_folder.MakeFolder(Root(side).substr(m_folder.Path().size()) + relative);
    }
    const std::wstring& Root(int side) const { return side == 0 ? m_left : m_right; }

    // Runs the analysis and checks that the window received exactly what was sent.
    AnalysisRun Run(AnalysisRunOptions options = AnalysisRunOptions()) {
        AnalysisRun run = RunAnalysis(m_left, m_right, options);
        EXPECT_TRUE(run.ended);
        EXPECT_EQ(run.received, MessagesOf(run.sent)) << Describe(run.sent);
        return run;
    }
    // The state of the node at `relative` in location `side`; -1 when there is none.
    int State(int side, const std::wstring& relative) const {
        const FileNode* node = NodeAt(g_backgroundOps.slots[side].tree, relative);
        return node ? static_cast<int>(node->state) : -1;
    }

    TempFolder m_folder;
    std::wstring m_left = m_folder.MakeFolder(L"left");
    std::wstring m_right = m_folder.MakeFolder(L"right");
    long m_baseline = 0;
};

// Number of threads of this process, for checking that none is left running.
unsigned CountProcessThreads();
// `length` pseudo-random bytes; the same seed gives the same bytes.
std::string BytePattern(size_t length, unsigned seed = 1);
