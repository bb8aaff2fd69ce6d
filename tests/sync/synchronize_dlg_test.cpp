// The Synchronize Folders dialog over the real main window, listing real
// analyses of real folders and running the real worker.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/quillmar_dlg.h"
#include "framework/win_app.h"
#include "res/resource.h"
#include "sync/ui/synchronize_dlg.h"
#include "tests/analysis/analysis_run.h"
#include "tests/framework/notification_log.h"
#include "tests/framework/window_test.h"
#include "tests/support/tree_snapshot.h"
#include "tests/app/main_window_controls.h"

namespace {

struct Row {
    std::wstring path;
    std::wstring state;
    int image;
    bool checked;
    bool operator==(const Row&) const = default;
};

std::vector<Row> Rows(const CListCtrl& list) {
    std::vector<Row> rows;
    for (int index = 0; index < list.GetItemCount(); ++index) {
        LVITEMW item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = index;
        list.SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        rows.push_back({list.GetItemText(index, 0), list.GetItemText(index, 1), item.iImage, list.GetCheck(index) != FALSE});
    }
    return rows;
}

class SynchronizeDialogTest : public AnalysisTest {
protected:
    static constexpr uint64_t kNewer = kTime + 10000000ull * 3600;

    // Analyses the pair, shows it in the main window with pane `active` selected
    // and showing `treePath`, and runs `steps` in the dialog opened over it.
    INT_PTR RunDialog(int active, const std::wstring& treePath, std::vector<TestStep> steps) {
        EXPECT_EQ(Run().exitCode, 0u);
        m_main = std::make_unique<CQuillmarDlg>();
        m_app.m_pMainWnd = m_main.get();
        INT_PTR result = -3;
        RunModalSteps([&] { return m_main->DoModal(); }, [&] { return m_main->m_hWnd; },
                      {[&] {
                           m_main->ShowAnalysedPair();
                           TabOf(*m_main).SetCurSel(active);
                           m_main->m_panes[active].path = treePath;
                           // Filled as the main window's Synchronize command fills it.
                           m_dialog = std::make_unique<CSynchronizeDlg>(m_main.get());
                           m_dialog->m_currentLocation = active == 0 ? 0 : 1;
                           m_dialog->m_treePath = treePath;
                           result = RunModalSteps([&] { return m_dialog->DoModal(); },
                                                  [&] { return m_dialog->m_hWnd; }, std::move(steps));
                       },
                       [&] { m_main->EndDialog(IDCANCEL); }});
        return result;
    }
    // The dialog keeps the worker's input until it goes.
    void TearDown() override {
        m_dialog.reset();
        m_main.reset();
        AnalysisTest::TearDown();
    }
    // As the user sees it: the list is shown and Close is offered.
    bool ListReady() {
        return PumpUntil([&] { return List().IsWindowVisible() && Enabled(IDCANCEL); });
    }
    HWND Dialog() const { return m_dialog->m_hWnd; }
    ControlById<CListCtrl> List() const { return {Dialog(), IDC_SYNC_ITEM_LIST}; }
    ControlById<CButton> Button(int id) const { return {Dialog(), id}; }
    bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(Dialog(), id)) != FALSE; }
    int Total(DiffState state) const { return m_dialog->CountOf(state).total; }
    int Checked(DiffState state) const { return m_dialog->CountOf(state).checked; }

    CWinApp m_app;
    ModalBoxGuard m_guard{2};
    MessageBoxCapture m_boxes;
    std::unique_ptr<CQuillmarDlg> m_main;
    std::unique_ptr<CSynchronizeDlg> m_dialog;
};

TEST_F(SynchronizeDialogTest, ListsWhatCallsForWorkBelowTheActivePanesFolderInPathOrder) {
    File(0, L"outside.txt");
    File(0, L"sub\\b-new.txt");
    File(1, L"sub\\a-missing.txt");
    File(0, L"sub\\c-modified.txt", "x", kNewer);
    File(1, L"sub\\c-modified.txt");
    FileInBoth(L"sub\\same.txt");
    File(0, L"sub\\d-fresh\\inner.txt");
    File(1, L"sub\\e-gone\\lost.txt");
    File(0, L"sub\\f-changed\\edited.txt", "x", kNewer);
    File(1, L"sub\\f-changed\\edited.txt");
    std::wstring sub = Root(0) + L"sub\\";
    INT_PTR result = RunDialog(0, L"Left\\sub\\", {[&] {
        ASSERT_TRUE(ListReady());
        CSynchronizeDlg& dialog = *m_dialog;
        EXPECT_EQ(dialog.m_currentLocation, 0);
        EXPECT_EQ(ItemText(Dialog(), IDC_SYNC_PATH), sub);
        EXPECT_EQ(ItemText(Dialog(), IDC_SYNC_DRIVE), sub.substr(0, 2));
        // The changed folder is Modified and not listed; the file inside it is.
        const std::vector<Row> expected = {
            {sub + L"a-missing.txt", L"Missing", 0, true},     {sub + L"b-new.txt", L"New", 2, true},
            {sub + L"c-modified.txt", L"Modified", 1, true},   {sub + L"d-fresh", L"New", 6, true},
            {sub + L"d-fresh\\inner.txt", L"New", 2, true},    {sub + L"e-gone", L"Missing", 4, true},
            {sub + L"e-gone\\lost.txt", L"Missing", 0, true},  {sub + L"f-changed\\edited.txt", L"Modified", 1, true}};
        EXPECT_EQ(Rows(List()), expected);
        // Each row stands for a record that carries what the worker needs.
        const SyncItem* folder = dialog.RecordOf(3);
        ASSERT_NE(folder, nullptr);
        EXPECT_EQ(std::wstring(folder->path), sub + L"d-fresh");
        EXPECT_TRUE(folder->isFolder);
        EXPECT_EQ(folder->state, DiffNew);
        const SyncItem* modified = dialog.RecordOf(2);
        ASSERT_NE(modified, nullptr);
        EXPECT_TRUE(modified->seenKnown && modified->seenHere.exists && modified->seenThere.exists);
        EXPECT_EQ(List().SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE) & (LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT),
                  static_cast<LRESULT>(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT));
        EXPECT_EQ(std::vector<int>({Total(DiffNew), Total(DiffModified), Total(DiffMissing)}),
                  std::vector<int>({3, 2, 3}));
        EXPECT_EQ(Checked(DiffMissing), 3);
        EXPECT_TRUE(List().GetStyle() & LVS_SHAREIMAGELISTS) << "the list would destroy the dialog's images";
        EXPECT_TRUE(List().IsWindowVisible());
        EXPECT_FALSE(IsWindowVisible(GetDlgItem(Dialog(), IDC_SYNC_PLEASE_WAIT)));
        EXPECT_EQ(Button(IDC_SYNC_SHOW_MODIFIED).GetCheck(), BST_CHECKED);
        EXPECT_TRUE(Enabled(IDC_SYNC_COMMIT));
        EXPECT_FALSE(Enabled(IDC_SYNC_START));
        Click(Dialog(), IDCANCEL);
    }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(m_boxes.boxes.empty());
}

// The list sorts by its own comparison of the texts, which weighs hyphens and
// case otherwise than the tree's order: the rows show in the list's order even
// though they are put in without it, and the list still sorts what comes later.
TEST_F(SynchronizeDialogTest, RowsStandInTheListsOwnOrder) {
    const std::vector<std::wstring> names = {L"a-z.txt", L"ab.txt", L"B-b.txt", L"b.txt", L"co-op\\x.txt",
                                             L"coat.txt", L"Co.txt", L"a_b.txt", L"a.b.txt"};
    for (const std::wstring& name : names) File(0, name);
    RunDialog(0, L"", {[&] {
        ASSERT_TRUE(ListReady());
        ControlById<CListCtrl> list = List();
        std::vector<std::wstring> shown;
        bool recordsReordered = false;
        for (int row = 0; row < list.GetItemCount(); ++row) {
            shown.push_back(list.GetItemText(row, 0));
            recordsReordered |= list.GetItemData(row) != static_cast<DWORD_PTR>(row);
        }
        EXPECT_EQ(shown.size(), names.size() + 1) << "each file and the New folder co-op";
        std::vector<std::wstring> sorted = shown;
        std::stable_sort(sorted.begin(), sorted.end(),
                         [](const std::wstring& a, const std::wstring& b) { return lstrcmpW(a.c_str(), b.c_str()) < 0; });
        EXPECT_EQ(shown, sorted);
        EXPECT_TRUE(recordsReordered) << "the records already came in the list's order; the test shows nothing";
        EXPECT_TRUE(list.GetStyle() & LVS_SORTASCENDING);
        // A row added now is placed by the list itself.
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = INT_MAX;
        item.pszText = const_cast<wchar_t*>(L"A");
        EXPECT_EQ(list.InsertItem(&item), 0);
        list.SendMessage(LVM_DELETEITEM, 0);
        Click(Dialog(), IDCANCEL);
    }});
}

TEST_F(SynchronizeDialogTest, OnlyCheckTogglesMoveTheCountsAndStartWantsADirectionAndAnItem) {
    File(0, L"new1.txt");
    File(0, L"new2.txt");
    File(1, L"missing.txt");
    INT_PTR result = RunDialog(0, L"", {[&] {
        ASSERT_TRUE(ListReady());
        ControlById<CButton> newBox = Button(IDC_SYNC_SHOW_NEW);
        ASSERT_EQ(List().GetItemText(1, 0), Root(0) + L"new1.txt");
        List().SetCheck(1, FALSE);
        EXPECT_EQ(newBox.GetCheck(), BST_INDETERMINATE);
        List().SetCheck(2, FALSE);
        EXPECT_EQ(newBox.GetCheck(), BST_UNCHECKED);
        EXPECT_EQ(Checked(DiffNew), 0);
        List().SetCheck(2, FALSE);  // no toggle: it is unchecked already
        EXPECT_EQ(Checked(DiffNew), 0);
        List().SetCheck(1, TRUE);
        EXPECT_EQ(newBox.GetCheck(), BST_INDETERMINATE);
        // Selection and focus changes are no toggles.
        LVITEMW selected = {};
        selected.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        selected.state = LVIS_SELECTED | LVIS_FOCUSED;
        for (int index = 0; index < 3; ++index) {
            List().SendMessage(LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&selected));
        }
        EXPECT_EQ(std::vector<int>({Checked(DiffNew), Checked(DiffMissing)}), std::vector<int>({1, 1}));
        // A click on the indeterminate box unchecks every New item; the next checks them all.
        Click(Dialog(), IDC_SYNC_SHOW_NEW);
        EXPECT_EQ(newBox.GetCheck(), BST_UNCHECKED);
        EXPECT_FALSE(List().GetCheck(1) || List().GetCheck(2));
        EXPECT_TRUE(List().GetCheck(0));
        Click(Dialog(), IDC_SYNC_SHOW_NEW);
        EXPECT_EQ(newBox.GetCheck(), BST_CHECKED);
        EXPECT_TRUE(List().GetCheck(1) && List().GetCheck(2));
        EXPECT_EQ(Checked(DiffNew), 2);
        List().SetCheck(2, FALSE);
        EXPECT_EQ(Checked(DiffNew), 1);

        EXPECT_FALSE(Enabled(IDC_SYNC_START));
        Click(Dialog(), IDC_SYNC_UPDATE);
        EXPECT_TRUE(Enabled(IDC_SYNC_START));
        Click(Dialog(), IDC_SYNC_SHOW_NEW);  // indeterminate: unchecks them all
        Click(Dialog(), IDC_SYNC_SHOW_MISSING);
        EXPECT_EQ(std::vector<int>({Checked(DiffNew), Checked(DiffMissing)}), std::vector<int>({0, 0}));
        Click(Dialog(), IDC_SYNC_START);
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        EXPECT_EQ(m_boxes.boxes[0].text, L"No items to process.");
        EXPECT_EQ(m_boxes.boxes[0].caption, L"Information");
        EXPECT_EQ(m_boxes.boxes[0].type, static_cast<UINT>(MB_ICONINFORMATION));
        EXPECT_TRUE(Enabled(IDCANCEL));
        EXPECT_EQ(m_main->m_panes[0].mode, PaneMode::AnalyzedLocation);
        Click(Dialog(), IDCANCEL);
    }});
    EXPECT_EQ(result, IDCANCEL);
}

// Sends the dialog every cancel road once its initialisation is over and the
// builder has started, before the thread can have served the builder; then
// Close at the moment the builder enables it, noting where the focus was until then.
HHOOK g_cancelHook = nullptr;
int g_cancelsWhileBuilding = 0;
bool g_pathFocusedWhileBuilding = false;
LRESULT CALLBACK CancelWhileBuilding(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    HWND dialog = GetParent(sent->hwnd);
    if (code >= 0 && sent->message == WM_INITDIALOG && GetDlgItem(sent->hwnd, IDC_SYNC_PLEASE_WAIT) != nullptr) {
        MSG escape = {};
        escape.hwnd = sent->hwnd;
        escape.message = WM_KEYDOWN;
        escape.wParam = VK_ESCAPE;
        IsDialogMessageW(sent->hwnd, &escape);
        SendMessageW(sent->hwnd, WM_CLOSE, 0, 0);
        SendMessageW(sent->hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        g_cancelsWhileBuilding = 3;
    } else if (code >= 0 && sent->message == WM_ENABLE && sent->wParam && GetDlgCtrlID(sent->hwnd) == IDCANCEL &&
               GetDlgItem(dialog, IDC_SYNC_PLEASE_WAIT) != nullptr) {
        g_pathFocusedWhileBuilding = GetFocus() == GetDlgItem(dialog, IDC_SYNC_PATH);
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return CallNextHookEx(g_cancelHook, code, wParam, lParam);
}

TEST_F(SynchronizeDialogTest, AToggleRaisesOneChangeAndMovesItsCountOnce) {
    File(0, L"a-new.txt");
    File(0, L"b-new.txt");
    RunDialog(0, L"", {[&] {
        ASSERT_TRUE(ListReady());
        NotificationLog log(Dialog(), {LVN_ITEMCHANGING, LVN_ITEMCHANGED});
        List().SetCheck(1, FALSE);
        const std::vector<ExpectedNotification> toggle = {{LVN_ITEMCHANGING, IDC_SYNC_ITEM_LIST},
                                                          {LVN_ITEMCHANGED, IDC_SYNC_ITEM_LIST}};
        EXPECT_EQ(log.Seen(), toggle) << NotificationLog::Describe(log.Seen());
        EXPECT_EQ(Checked(DiffNew), 1);
        EXPECT_EQ(Button(IDC_SYNC_SHOW_NEW).GetCheck(), BST_INDETERMINATE);
        // A whole state at once: one change per item that changes, and the count set once.
        log.Clear();
        Click(Dialog(), IDC_SYNC_SHOW_NEW);
        EXPECT_EQ(Button(IDC_SYNC_SHOW_NEW).GetCheck(), BST_UNCHECKED);
        EXPECT_EQ(log.Seen(), toggle) << NotificationLog::Describe(log.Seen());
        EXPECT_EQ(Checked(DiffNew), 0);
        Click(Dialog(), IDCANCEL);
    }});
}

TEST_F(SynchronizeDialogTest, CancelIsRefusedWhileTheListIsBuiltAndTakenOnceCloseIsEnabled) {
    for (int index = 0; index < 3; ++index) File(0, L"n" + std::to_wstring(index) + L".txt");
    g_cancelsWhileBuilding = 0;
    g_pathFocusedWhileBuilding = false;
    g_cancelHook = SetWindowsHookExW(WH_CALLWNDPROCRET, CancelWhileBuilding, nullptr, GetCurrentThreadId());
    INT_PTR result = RunDialog(0, L"", {});
    UnhookWindowsHookEx(g_cancelHook);
    EXPECT_EQ(g_cancelsWhileBuilding, 3);
    EXPECT_TRUE(g_pathFocusedWhileBuilding) << "every button is disabled meanwhile";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(Total(DiffNew), 3);
    m_dialog.reset();  // waits for the builder's last write
}

TEST_F(SynchronizeDialogTest, AFolderMissingFromTheTreeLeavesOnlyClose) {
    File(0, L"new.txt");
    INT_PTR result = RunDialog(0, L"Left\\nowhere\\", {[&] {
        ASSERT_TRUE(PumpUntil([&] { return Enabled(IDCANCEL); }));
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        EXPECT_EQ(m_boxes.boxes[0].text, L"Could not initialize file list engine!");
        EXPECT_EQ(m_boxes.boxes[0].type, static_cast<UINT>(MB_ICONERROR));
        EXPECT_EQ(m_boxes.boxes[0].owner, m_dialog->m_hWnd);
        EXPECT_FALSE(List().IsWindowVisible());
        EXPECT_FALSE(Enabled(IDC_SYNC_COMMIT));
        Click(Dialog(), IDCANCEL);
    }});
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(SynchronizeDialogTest, StartResetsThePanesAndTheWorkerEndsTheDialog) {
    File(1, L"only right.txt", "right");
    File(0, L"only left.txt", "left");
    INT_PTR result = RunDialog(1, L"", {[&] {
        ASSERT_TRUE(ListReady());
        CSynchronizeDlg& dialog = *m_dialog;
        EXPECT_EQ(dialog.m_currentLocation, 1);
        EXPECT_EQ(dialog.m_treePath, L"Root\\");
        EXPECT_EQ(ItemText(Dialog(), IDC_SYNC_PATH), Root(1));
        Click(Dialog(), IDC_SYNC_COMMIT);
        Click(Dialog(), IDC_SYNC_START);
        EXPECT_EQ(GetFocus(), GetDlgItem(Dialog(), IDC_SYNC_PATH)) << "the one control left enabled holds the focus";
        for (int pane = 0; pane < kPaneCount; ++pane) {
            EXPECT_EQ(m_main->m_panes[pane].mode, PaneMode::LogicalVolumes);
            EXPECT_EQ(m_main->m_panes[pane].path, L"");
            EXPECT_EQ(m_main->m_panes[pane].location, nullptr);
        }
        EXPECT_FALSE(IsWindowEnabled(List().m_hWnd));
        EXPECT_FALSE(Enabled(IDCANCEL));
        // Refused while the worker runs; the worker's end closes the dialog.
        SendMessageW(Dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }});
    EXPECT_EQ(result, 1);
    // Commit from the second location: its new file is copied, the first's own file deleted.
    EXPECT_NE(GetFileAttributesW((Root(0) + L"only right.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW((Root(0) + L"only left.txt").c_str()), INVALID_FILE_ATTRIBUTES);
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, L"File operations completed.");
}

// The rows stand in another order than the records; what the user leaves
// unchecked there must be what the run leaves alone, and nothing else changes.
TEST_F(SynchronizeDialogTest, ARunDoesWhatTheCheckedRowsSayAndNothingElse) {
    File(0, L"a-z.txt", "az");
    File(0, L"ab.txt", "ab");
    File(0, L"B-b.txt", "bb");
    File(0, L"co-op\\x.txt", "x");
    File(1, L"gone.txt", "kept");
    File(0, L"old.txt", "new", kNewer);
    File(1, L"old.txt", "old");
    const TreeSnapshot leftBefore = SnapshotTree(Root(0));
    const TreeSnapshot rightBefore = SnapshotTree(Root(1));
    INT_PTR result = RunDialog(0, L"", {[&] {
        ASSERT_TRUE(ListReady());
        int unchecked = 0;
        for (int row = 0; row < List().GetItemCount(); ++row) {
            const std::wstring text = List().GetItemText(row, 0);
            if (text == Root(0) + L"ab.txt" || text == Root(0) + L"gone.txt") {
                List().SetCheck(row, FALSE);
                ++unchecked;
            }
        }
        ASSERT_EQ(unchecked, 2);
        Click(Dialog(), IDC_SYNC_COMMIT);
        Click(Dialog(), IDC_SYNC_START);
    }});
    EXPECT_EQ(result, 1);
    EXPECT_EQ(DescribeChanges(leftBefore, SnapshotTree(Root(0))), "");
    TreeSnapshot rightExpected = rightBefore;
    rightExpected[L"a-z.txt"] = "az";
    rightExpected[L"B-b.txt"] = "bb";
    rightExpected[L"co-op\\"] = "";
    rightExpected[L"co-op\\x.txt"] = "x";
    rightExpected[L"old.txt"] = "new";
    EXPECT_EQ(DescribeChanges(rightExpected, SnapshotTree(Root(1))), "");
    ASSERT_EQ(m_boxes.boxes.size(), 1u);
    EXPECT_EQ(m_boxes.boxes[0].text, L"File operations completed.");
}

}  // namespace

namespace {

TEST_F(SynchronizeDialogTest, TheMainWindowsCommandOpensTheDialogWhichNeedsAValidRecord) {
    CQuillmarDlg main;
    m_app.m_pMainWnd = &main;
    RunModalSteps([&] { return main.DoModal(); }, [&] { return main.m_hWnd; },
                  {[&] {
                      main.m_panes[0].mode = PaneMode::AnalyzedLocation;  // shown, though the record holds nothing
                      SendMessageW(main.m_hWnd, WM_COMMAND, MAKEWPARAM(ID_SYNCHRONIZER_SYNCHRONIZE, 0), 0);
                      ASSERT_EQ(m_boxes.boxes.size(), 1u);
                      EXPECT_EQ(m_boxes.boxes[0].text, L"Background operations data is not valid!");
                      EXPECT_EQ(m_boxes.boxes[0].caption, L"Information");
                      EXPECT_NE(m_boxes.boxes[0].owner, main.m_hWnd);
                      EXPECT_EQ(FindWindowW(L"#32770", L"Synchronize Folders"), nullptr);
                      main.EndDialog(IDCANCEL);
                  }});
}


TEST_F(SynchronizeDialogTest, PanesStayResetAfterARunStartedWhileATreeHadTheFocus) {
    File(0, L"only left.txt", "left");
    EXPECT_EQ(Run().exitCode, 0u);
    CQuillmarDlg main;
    m_app.m_pMainWnd = &main;
    RunModalSteps([&] { return main.DoModal(); }, [&] { return main.m_hWnd; },
                  {[&] {
                       main.ShowAnalysedPair();
                       TabOf(main).SetCurSel(0);
                       TreeOf(main, 0).SetFocus();
                       ASSERT_EQ(GetFocus(), TreeOf(main, 0).m_hWnd);
                       RunModalSteps(
                           [&] {
                               SendMessageW(main.m_hWnd, WM_COMMAND, MAKEWPARAM(ID_SYNCHRONIZER_SYNCHRONIZE, 0), 0);
                               return INT_PTR(0);
                           },
                           [&] { return FindWindowW(L"#32770", L"Synchronize Folders"); },
                           {[&] {
                               HWND dialog = FindWindowW(L"#32770", L"Synchronize Folders");
                               ASSERT_TRUE(PumpUntil([&] { return IsWindowEnabled(GetDlgItem(dialog, IDC_SYNC_COMMIT)); }));
                               SendMessageW(GetDlgItem(dialog, IDC_SYNC_COMMIT), BM_CLICK, 0, 0);
                               SendMessageW(GetDlgItem(dialog, IDC_SYNC_START), BM_CLICK, 0, 0);
                           }});
                   },
                   [&] {
                       // The dialog has gone and the main window has its focus back.
                       EXPECT_EQ(FindWindowW(L"#32770", L"Synchronize Folders"), nullptr);
                       for (int pane = 0; pane < kPaneCount; ++pane) {
                           EXPECT_EQ(main.m_panes[pane].mode, PaneMode::LogicalVolumes) << pane;
                           EXPECT_EQ(main.m_panes[pane].path, L"") << pane;
                           EXPECT_EQ(TreeOf(main, pane).GetSelectedItem(), nullptr) << pane;
                           EXPECT_EQ(ListOf(main, pane).GetItemCount(), 0) << pane;
                           EXPECT_EQ(PathEditOf(main, pane).GetWindowText(), L"") << pane;
                       }
                       main.EndDialog(IDCANCEL);
                   }});
    EXPECT_EQ(GetFileAttributesW((Root(1) + L"only left.txt").c_str()) != INVALID_FILE_ATTRIBUTES, true);
}

}  // namespace
