#include "analysis/io_engine.h"
#include "tests/analysis/analysis_run.h"

#include <string>
#include <vector>

namespace {

const wchar_t kParsing[] = L"Parsing files and folders...";
const wchar_t kParsed[] = L"Parsing files and folders completed";
const wchar_t kStructure[] = L"Analyzing files and folders structure...";
const wchar_t kContent[] = L"Analyzing common files content...";
const wchar_t kCompleted[] = L"Analysis completed";
const wchar_t kCanceled[] = L"Operation canceled by user";

SentMessage Status(WPARAM location, const wchar_t* text, DWORD code = 0) {
    return {WM_ANALYSIS_STATUS, location, text, code};
}
SentMessage Failed(WPARAM location, const wchar_t* text, DWORD code = 0) {
    return {WM_ANALYSIS_FAILED, location, text, code};
}
const SentMessage kProgress = {WM_ANALYSIS_PROGRESS, 0, L"", 0};
const SentMessage kDone = {WM_ANALYSIS_DONE, 0, kCompleted, 0};

std::vector<SentMessage> ScanSteps(bool simultaneous) {
    if (simultaneous)
        return {Status(0, kParsing), Status(1, kParsing), Status(0, kParsed), Status(1, kParsed)};
    return {Status(0, kParsing), Status(0, kParsed), Status(1, kParsing), Status(1, kParsed)};
}

std::vector<SentMessage> Join(std::vector<SentMessage> first, const std::vector<SentMessage>& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

// The observer records progress without a text; only its place matters here.
std::vector<SentMessage> WithoutProgressTexts(std::vector<SentMessage> sent) {
    for (SentMessage& one : sent) {
        if (one.message == WM_ANALYSIS_PROGRESS) one.text.clear(), one.code = 0;
    }
    return sent;
}

class MessagesTest : public AnalysisTest, public testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        FileInBoth(L"same.txt", "same");
        File(0, L"dir\\differs.txt", "left side");
        File(1, L"dir\\differs.txt", "right side");
        File(1, L"dir\\new.txt");
    }
    AnalysisRunOptions Options(bool compareContent) {
        AnalysisRunOptions options;
        options.simultaneous = GetParam();
        options.compareContent = compareContent;
        options.logPath = m_folder.PathOf(L"AnalyzeLog.txt");
        return options;
    }
    // Runs with `action` done on the worker's thread when `location`'s status becomes `text`.
    AnalysisRun RunAndActOn(AnalysisRunOptions options, WPARAM location, const wchar_t* text,
                            std::function<void(BackgroundOpsData*)> action) {
        options.onMessage = [=](BackgroundOpsData* data, UINT message, WPARAM wParam) {
            if (message == WM_ANALYSIS_STATUS && wParam == location &&
                wcscmp(data->slots[location].statusText, text) == 0)
                action(data);
        };
        return Run(options);
    }
    static void Cancel(BackgroundOpsData* data) { RequestCancel(data); }
};

TEST_P(MessagesTest, CompletionWithoutContent) {
    AnalysisRun run = Run(Options(false));
    EXPECT_EQ(WithoutProgressTexts(run.sent),
              Join(ScanSteps(GetParam()), {Status(0, kStructure), Status(1, kStructure), kProgress, kDone}))
        << Describe(run.sent);
    EXPECT_EQ(run.exitCode, 0u);
}

TEST_P(MessagesTest, CompletionWithContent) {
    AnalysisRun run = Run(Options(true));
    EXPECT_EQ(WithoutProgressTexts(run.sent),
              Join(ScanSteps(GetParam()), {Status(0, kStructure), Status(1, kStructure), Status(0, kContent),
                                           Status(1, kContent), kProgress, kDone}))
        << Describe(run.sent);
    EXPECT_EQ(State(0, L"dir\\differs.txt"), DiffModified);
}

TEST_P(MessagesTest, ScanFailureInEitherSlotEmptiesTheOtherAndFails) {
    for (int failing = 0; failing < 2; ++failing) {
        SCOPED_TRACE(failing);
        // A location that cannot be listed fails its scan with the listing's code.
        AnalysisRunOptions options = Options(false);
        std::wstring gone = m_folder.Path() + L"gone\\";
        AnalysisRun run = RunAnalysis(failing == 0 ? gone : m_left, failing == 1 ? gone : m_right, options);
        ASSERT_TRUE(run.ended);
        EXPECT_EQ(run.received, MessagesOf(run.sent));
        std::vector<SentMessage> expected;
        if (GetParam()) {
            expected = {Status(0, kParsing), Status(1, kParsing)};
            if (failing == 1) expected.push_back(Status(0, kParsed));
        } else {
            expected = {Status(0, kParsing)};
            if (failing == 1) expected.insert(expected.end(), {Status(0, kParsed), Status(1, kParsing)});
        }
        expected.push_back(Status(1 - failing, L""));
        expected.push_back(Failed(failing, L"Failed to parse files and folders", ERROR_PATH_NOT_FOUND));
        EXPECT_EQ(run.sent, expected) << Describe(run.sent);
        EXPECT_EQ(run.exitCode, 1u);
    }
}

TEST_P(MessagesTest, CancelDuringTheScanIsReportedAfterBothScans) {
    AnalysisRun run = RunAndActOn(Options(false), 0, kParsing, Cancel);
    EXPECT_EQ(run.sent, Join(ScanSteps(GetParam()), {Status(0, kCanceled), Failed(1, kCanceled)}))
        << Describe(run.sent);
    EXPECT_EQ(run.exitCode, 0u);
    // The first scan saw the cancellation before it listed anything.
    EXPECT_EQ(g_backgroundOps.slots[0].tree->root->firstChild, nullptr);
}

TEST_P(MessagesTest, CancelDuringTheStructurePhaseStopsIt) {
    AnalysisRun run = RunAndActOn(Options(false), 1, kStructure, Cancel);
    EXPECT_EQ(run.sent, Join(ScanSteps(GetParam()), {Status(0, kStructure), Status(1, kStructure),
                                                     Status(0, kCanceled), Failed(1, kCanceled)}))
        << Describe(run.sent);
    EXPECT_EQ(State(1, L"dir\\new.txt"), DiffIdentical);
    EXPECT_EQ(State(0, L"dir\\new.txt"), -1);
}

TEST_P(MessagesTest, CancelDuringTheContentPhaseStopsBeforeTheNextRead) {
    unsigned threadsBefore = CountProcessThreads();
    AnalysisRun run = RunAndActOn(Options(true), 1, kContent, Cancel);
    EXPECT_EQ(run.sent, Join(ScanSteps(GetParam()), {Status(0, kStructure), Status(1, kStructure),
                                                     Status(0, kContent), Status(1, kContent), Status(0, kCanceled),
                                                     Failed(1, kCanceled)}))
        << Describe(run.sent);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(State(0, L"dir\\differs.txt"), DiffIdentical);
    // Worker, scan and reader threads have all ended.
    BackgroundOpsFree(&g_backgroundOps);
    EXPECT_EQ(CountProcessThreads(), threadsBefore);
}

TEST_P(MessagesTest, EngineThatCannotStartFailsBothLocations) {
    // 0: the walk's buffers, 3: the first channel, 4: the second channel.
    for (long allowed : {0L, 3L, 4L}) {
        SCOPED_TRACE(allowed);
        AnalysisRun run = RunAndActOn(Options(true), 1, kContent, [allowed](BackgroundOpsData*) {
            MemFailAfter(allowed);
        });
        MemFailAfter(-1);
        EXPECT_EQ(run.sent, Join(ScanSteps(GetParam()),
                                 {Status(0, kStructure), Status(1, kStructure), Status(0, kContent),
                                  Status(1, kContent), Failed(0, L"Failed to initialize IO engine", 8),
                                  Failed(1, L"Failed to initialize IO engine", 8)}))
            << Describe(run.sent);
        EXPECT_EQ(run.exitCode, 1u);
    }
}

TEST_P(MessagesTest, LogThatCannotBeWrittenEndsTheContentPhase) {
    std::wstring locked = Root(0) + L"same.txt";
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    AnalysisRunOptions options = Options(true);
    options.logPath.clear();
    AnalysisRun run = Run(options);
    CloseHandle(holder);
    const wchar_t kLogFailed[] = L"Error log can not be saved";
    EXPECT_EQ(run.sent, Join(ScanSteps(GetParam()),
                             {Status(0, kStructure), Status(1, kStructure), Status(0, kContent), Status(1, kContent),
                              Status(0, kLogFailed, ERROR_SHARING_VIOLATION),
                              Failed(1, kLogFailed, ERROR_SHARING_VIOLATION)}))
        << Describe(run.sent);
    EXPECT_EQ(run.exitCode, 1u);
}

TEST_P(MessagesTest, LogThatCannotBeWrittenEndsTheStructurePhase) {
    // A file facing a folder is logged by the structure comparison; no log is open.
    File(0, L"x", "file");
    File(1, L"x\\y.txt", "inside");
    AnalysisRunOptions options = Options(false);
    options.logPath.clear();
    AnalysisRun run = Run(options);
    const wchar_t kLogFailed[] = L"Error log can not be saved";
    EXPECT_EQ(run.sent, Join(ScanSteps(GetParam()),
                             {Status(0, kStructure), Status(1, kStructure), Status(0, kLogFailed, ERROR_ALREADY_EXISTS),
                              Failed(1, kLogFailed, ERROR_ALREADY_EXISTS)}))
        << Describe(run.sent);
    EXPECT_EQ(run.exitCode, 1u);
}

TEST_P(MessagesTest, StructureFailureNamesThePass) {
    // Fails the first allocation of the first pass, then of the second.
    File(0, L"dir\\old.txt");
    for (int pass = 0; pass < 2; ++pass) {
        SCOPED_TRACE(pass);
        std::vector<SentMessage> expected = Join(ScanSteps(GetParam()), {Status(0, kStructure), Status(1, kStructure)});
        // Each pass takes three blocks, its stack of folders still to compare
        // and a node and a name for one Missing copy: of "dir\new.txt" in the
        // first, of "dir\old.txt" in the second.
        long allowed = pass == 0 ? 0 : 3;
        AnalysisRun run = RunAndActOn(Options(false), 1, kStructure, [allowed](BackgroundOpsData*) {
            MemFailAfter(allowed);
        });
        MemFailAfter(-1);
        WPARAM failing = pass == 0 ? 1 : 0;
        expected.push_back(Status(1 - failing, L""));
        expected.push_back(Failed(failing, L"Failed to analyze files and folders structure"));
        EXPECT_EQ(run.sent, expected) << Describe(run.sent);
        EXPECT_EQ(run.exitCode, 1u);
    }
}

volatile LONG g_readCalls = 0;
volatile LONG g_firstFailingRead = 0;

// Every read from the given one on fails as if the device had gone.
BOOL WINAPI FailingRead(HANDLE file, LPVOID buffer, DWORD bytes, LPDWORD read, LPOVERLAPPED overlapped) {
    if (InterlockedIncrement(&g_readCalls) >= g_firstFailingRead) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return FALSE;
    }
    return ReadFile(file, buffer, bytes, read, overlapped);
}

TEST_P(MessagesTest, ReadErrorEndsTheAnalysisNamingTheLocation) {
    // Location 0 is waited for first in both tables; one after the other, the
    // second read of the run is location 1's.
    std::vector<WPARAM> failing = {0};
    if (!GetParam()) failing.push_back(1);
    for (WPARAM location : failing) {
        SCOPED_TRACE(location);
        g_readCalls = 0;
        g_firstFailingRead = location == 0 ? 1 : 2;
        IoEngineSetReadFunction(FailingRead);
        AnalysisRun run = Run(Options(true));
        IoEngineSetReadFunction(nullptr);
        EXPECT_EQ(run.sent, Join(ScanSteps(GetParam()),
                                 {Status(0, kStructure), Status(1, kStructure), Status(0, kContent),
                                  Status(1, kContent), Status(1 - location, L""),
                                  Failed(location, L"Error reading file content", ERROR_DEVICE_NOT_CONNECTED)}))
            << Describe(run.sent);
        EXPECT_EQ(run.exitCode, 1u);
    }
}

INSTANTIATE_TEST_SUITE_P(BothStepTables, MessagesTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? std::string("Simultaneous") : std::string("OneAfterTheOther");
                         });

}  // namespace
