// The Analyze Differences dialog over the real main window, running real
// analyses of real folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>

#include "analysis/analysis_progress.h"
#include "analysis/analyze_log.h"
#include "model/system_error.h"
#include "tests/analysis/analysis_run.h"
#include "tests/dialogs/over_main_window.h"
#include "tests/app/main_window_controls.h"

namespace {

const wchar_t kAnalyzeCaption[] = L"Analyze Differences";

HWND Dialog() { return FindWindowW(L"#32770", kAnalyzeCaption); }

// Every text the dialog gives each of its two status lines, in order.
std::vector<std::wstring> g_statusTexts[2];
WNDPROC g_staticProcedure = nullptr;
LRESULT CALLBACK RecordStatusText(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const wchar_t* text = reinterpret_cast<const wchar_t*>(lParam);
    if (message == WM_SETTEXT && text && *text) {
        auto& texts = g_statusTexts[GetDlgCtrlID(window) == IDC_ANALYZE_STATUS1 ? 0 : 1];
        if (texts.empty() || texts.back() != text) texts.push_back(text);
    }
    return CallWindowProcW(g_staticProcedure, window, message, wParam, lParam);
}
void RecordStatusLines() {
    for (int id : {IDC_ANALYZE_STATUS1, IDC_ANALYZE_STATUS2}) {
        g_staticProcedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            GetDlgItem(Dialog(), id), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordStatusText)));
    }
}

std::wstring LogPath() {
    wchar_t path[MAX_PATH];
    EXPECT_TRUE(AnalyzeLogPath(path));
    return path;
}

std::wstring ReadLog() {
    HANDLE file = CreateFileW(LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::wstring text(32768, L'\0');
    DWORD read = 0;
    if (file != INVALID_HANDLE_VALUE) {
        ReadFile(file, &text[0], static_cast<DWORD>(text.size() * sizeof(wchar_t)), &read, nullptr);
        CloseHandle(file);
    }
    text.resize(read / sizeof(wchar_t));
    return text;
}

// Enter and Escape reach the control: it holds the thread's focus and is the default push button.
bool KeysReach(int id) {
    HWND control = GetDlgItem(Dialog(), id);
    return GetFocus() == control && (SendMessageW(control, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) != 0;
}

// As a person who tabbed on to the first path while the analysis runs.
void TabToPath() {
    SendMessageW(Dialog(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(GetDlgItem(Dialog(), IDC_ANALYZE_PATH1)), TRUE);
}

bool Ended() { return ItemText(Dialog(), IDCANCEL) == L"Close" && !IsWindowEnabled(GetDlgItem(Dialog(), IDC_ANALYZE_START)); }

class AnalyzeDialogTest : public AnalysisTest {
protected:
    void SetUp() override {
        AnalysisTest::SetUp();
        DeleteFileW(LogPath().c_str());
        g_statusTexts[0].clear();
        g_statusTexts[1].clear();
    }
    void TearDown() override {
        SetAnalysisMessageObserver(nullptr, nullptr);
        DeleteFileW(LogPath().c_str());
        AnalysisTest::TearDown();
    }

    // Opens the dialog over both live locations and runs `steps` in it.
    void RunDialog(std::vector<TestStep> steps, const std::function<void(CQuillmarDlg&)>& after = nullptr) {
        m_window.Run(
            [&](CQuillmarDlg& main) {
                for (int pane = 0; pane < kPaneCount; ++pane) main.m_panes[pane].path = Root(pane);
            },
            ID_SYNCHRONIZER_ANALYZE, kAnalyzeCaption, std::move(steps), after);
    }

    ModalBoxGuard m_guard{2};
    MessageBoxCapture m_boxes;
    OverMainWindow m_window;
};

TEST_F(AnalyzeDialogTest, AnalysesTwoFoldersAndHandsBothTreesToThePanes) {
    FileInBoth(L"same.txt");
    File(0, L"only here.txt");
    RunDialog({[&] {
                   EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_PERCENT), L"Progress 0 %");
                   EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_VOLUME_KIND2), L"Logical Volume:");
                   EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_DRIVE1), Root(0).substr(0, 2));
                   EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_PATH2), Root(1));
                   EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_TIME), L"");
                   EXPECT_FALSE(IsDlgButtonChecked(Dialog(), IDC_ANALYZE_COMPARE_CONTENT));
                   EXPECT_FALSE(IsDlgButtonChecked(Dialog(), IDC_ANALYZE_SIMULTANEOUS));
                   RecordStatusLines();
                   Command(Dialog(), IDC_ANALYZE_START);
                   EXPECT_FALSE(IsWindowEnabled(GetDlgItem(Dialog(), IDC_ANALYZE_SIMULTANEOUS)));
                   EXPECT_TRUE(KeysReach(IDCANCEL)) << "Start held the focus and is disabled; Cancel takes it";
                   TabToPath();
                   ASSERT_TRUE(PumpUntil(Ended));
                   EXPECT_TRUE(KeysReach(IDCANCEL)) << "after the run: Close";
                   EXPECT_TRUE(m_boxes.boxes.empty());
                   EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_PERCENT), L"Progress 100 %");
                   EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_TIME), L"Elapsed time: 0 sec");
                   EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_STATUS2), L"Analysis completed");
                   Command(Dialog(), IDCANCEL);
               }},
              [](CQuillmarDlg& main) {
                  for (int pane = 0; pane < kPaneCount; ++pane) {
                      EXPECT_EQ(main.m_panes[pane].mode, PaneMode::AnalyzedLocation);
                      ASSERT_EQ(main.m_panes[pane].location, g_backgroundOps.slots[pane].tree);
                      EXPECT_EQ(TabOf(main).GetItemText(pane), main.m_panes[pane].location->description);
                  }
              });
    // The dialog reads a line's text when it handles the message, so a worker that
    // runs ahead may have replaced a text before it was shown; the order holds.
    const std::vector<std::wstring> expected = {L"Parsing files and folders...", L"Parsing files and folders completed",
                                                L"Analyzing files and folders structure...", L"Analysis completed"};
    for (const auto& shown : g_statusTexts) {
        ASSERT_FALSE(shown.empty());
        auto next = expected.begin();
        for (const std::wstring& text : shown) {
            next = std::find(next, expected.end(), text);
            ASSERT_NE(next, expected.end()) << "out of order or unknown: " << std::string(text.begin(), text.end());
        }
        EXPECT_EQ(shown.back(), expected.back());
    }
    EXPECT_EQ(State(0, L"only here.txt"), DiffNew);
    EXPECT_EQ(GetFileAttributesW(LogPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(AnalyzeDialogTest, SkippedFilesAreLoggedAndReportedByAWarning) {
    std::wstring held = File(0, L"held.txt", "abc");
    File(1, L"held.txt", "abc");
    HANDLE holder = CreateFileW(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    RunDialog({[&] {
        CheckDlgButton(Dialog(), IDC_ANALYZE_COMPARE_CONTENT, BST_CHECKED);
        Command(Dialog(), IDC_ANALYZE_START);
        ASSERT_TRUE(PumpUntil(Ended));
        Command(Dialog(), IDCANCEL);
    }});
    CloseHandle(holder);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text,
              L"Some files/folders could not be accessed and will not be added to the analysis report. A list of "
              L"these files was saved to <AnalyzeLog.txt>!");
    EXPECT_EQ(m_boxes.boxes[0].caption, L"Warning");
    EXPECT_EQ(m_boxes.boxes[0].type & MB_ICONMASK, MB_ICONWARNING);
    std::wstring log = ReadLog();
    wchar_t sharing[kSystemErrorUnits];
    FormatSystemError(ERROR_SHARING_VIOLATION, sharing);
    EXPECT_EQ(log.find(L"\xFEFF" L"The following files/folders were sikpped during the analyze process:"), 0u);
    EXPECT_NE(log.find(L"held.txt\r\n"), std::wstring::npos) << std::string(log.begin(), log.end());
    EXPECT_NE(log.find(sharing), std::wstring::npos);
}

// Holds the worker at the start of the content phase until the cancel event is set.
std::atomic<bool> g_workerHeld;
void HoldAtContentPhase(BackgroundOpsData* data, UINT message, WPARAM, void*) {
    if (message != WM_ANALYSIS_STATUS || wcscmp(data->slots[0].statusText, L"Analyzing common files content...") != 0)
        return;
    g_workerHeld = true;
    WaitForSingleObject(data->cancelEvent, 20000);
}

TEST_F(AnalyzeDialogTest, CancelOnlySignalsTheWorkerAndASecondPressCloses) {
    FileInBoth(L"a.bin", std::string(100000, 'a'));
    g_workerHeld = false;
    SetAnalysisMessageObserver(HoldAtContentPhase, nullptr);
    RunDialog({[&] {
                   CheckDlgButton(Dialog(), IDC_ANALYZE_COMPARE_CONTENT, BST_CHECKED);
                   Command(Dialog(), IDC_ANALYZE_START);
                   ASSERT_TRUE(PumpUntil([] { return g_workerHeld.load(); }));
                   TabToPath();
                   Command(Dialog(), IDCANCEL);
                   EXPECT_EQ(WaitForSingleObject(g_backgroundOps.cancelEvent, 0), WAIT_OBJECT_0);
                   EXPECT_TRUE(IsWindow(Dialog()));
                   EXPECT_EQ(ItemText(Dialog(), IDCANCEL), L"Cancel");
                   ASSERT_TRUE(PumpUntil(Ended));
                   EXPECT_TRUE(KeysReach(IDCANCEL));
                   ASSERT_EQ(m_boxes.boxes.size(), 1u);
                   EXPECT_EQ(m_boxes.boxes[0].text, L"Operation canceled by user");
                   EXPECT_EQ(m_boxes.boxes[0].caption, L"Error");
                   EXPECT_EQ(m_boxes.boxes[0].type & MB_ICONMASK, MB_ICONERROR);
                   EXPECT_TRUE(IsWindow(Dialog()));
                   Command(Dialog(), IDCANCEL);
               }},
              [](CQuillmarDlg& main) { EXPECT_EQ(main.m_panes[0].mode, PaneMode::LogicalVolumes); });
}

TEST(FormatTimeSpanTest, HoursMinutesOrSeconds) {
    wchar_t text[kTimeSpanUnits];
    FormatTimeSpan(3600000, text);
    EXPECT_STREQ(text, L"1 h 0 min 0 sec");
    FormatTimeSpan(59999, text);
    EXPECT_STREQ(text, L"59 sec");
    FormatTimeSpan(61000, text);
    EXPECT_STREQ(text, L"1 min 1 sec");
}

// Feeds one progress report to the dialog as the worker would.
void Report(DWORD elapsedMs, uint64_t total, uint64_t done) {
    LocationSlot* slot = &g_backgroundOps.slots[0];
    slot->elapsedMs = elapsedMs;
    slot->totalBytes = total;
    slot->doneBytes = done;
    SendMessageW(Dialog(), WM_ANALYSIS_PROGRESS, 0, 0);
}

TEST_F(AnalyzeDialogTest, ProgressPercentageAndRemainingTimeFromFedReports) {
    ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
    const uint64_t total = 1000000;
    RunDialog({[&] {
        auto time = [] { return ItemText(Dialog(), IDC_ANALYZE_TIME); };
        Report(1000, total, 0);
        Report(16000, total, 0);
        EXPECT_EQ(time(), L"") << "nothing before 15 seconds";
        Report(17000, total, 0);
        EXPECT_EQ(time(), L"Elapsed time: 17 sec (Remaining: 0 sec)");
        Report(33000, total, 400000);  // 12.5 bytes/ms since 1 s; the reference then moves to 17 s
        EXPECT_EQ(time(), L"Elapsed time: 33 sec (Remaining: 48 sec)");
        EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_PERCENT), L"Progress 40 %");
        Report(34000, total, 500000);  // 500000 bytes in the 17 s since the moved reference
        EXPECT_EQ(time(), L"Elapsed time: 34 sec (Remaining: 17 sec)");
        Report(35000, 3, 2);
        EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_PERCENT), L"Progress 66 %");
        EXPECT_EQ(SendDlgItemMessageW(Dialog(), IDC_ANALYZE_PROGRESS, PBM_GETPOS, 0, 0), 66);
        Report(3600000, 3, 3);
        EXPECT_EQ(ItemText(Dialog(), IDC_ANALYZE_PERCENT), L"Progress 100 %");
        EXPECT_EQ(time(), L"Elapsed time: 1 h 0 min 0 sec");
        Command(Dialog(), IDCANCEL);
    }});
}

}  // namespace
