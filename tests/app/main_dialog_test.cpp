// The main window under Wine: start-up state, layout, view modes, the active
// pane, tooltips, the closing roads and the command preconditions.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "analysis/background_ops.h"
#include "app/background_record.h"
#include "app/quillmar_app.h"
#include "app/quillmar_dlg.h"
#include "dialogs/about_dlg.h"
#include "res/resource.h"
#include "tests/support/companion.h"
#include "tests/framework/window_test.h"
#include "tests/app/main_window_controls.h"

namespace {

// Stands in for the analysis record: valid until released, releases counted.
struct FakeRecord {
    static bool valid;
    static int releases;
    static bool IsValid() { return valid; }
    static void Release() {
        ++releases;
        valid = false;
    }
};
bool FakeRecord::valid = false;
int FakeRecord::releases = 0;

class MainDialogTest : public testing::Test {
protected:
    void SetUp() override {
        FakeRecord::valid = false;
        FakeRecord::releases = 0;
        m_previousCalls = SetBackgroundRecordCalls({FakeRecord::IsValid, FakeRecord::Release});
    }
    void TearDown() override { SetBackgroundRecordCalls(m_previousCalls); }

    INT_PTR Run(CQuillmarDlg& dialog, std::vector<TestStep> steps) {
        return RunModalSteps([&] { return dialog.DoModal(); }, [&] { return dialog.m_hWnd; }, std::move(steps));
    }

    ModalBoxGuard m_guard;
    MessageBoxCapture m_boxes;
    BackgroundRecordCalls m_previousCalls = {};
};

void SendCommand(const CWnd& dialog, UINT id) { SendMessageW(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

UINT MenuState(const CWnd& dialog, UINT id) { return GetMenuState(GetMenu(dialog.m_hWnd), id, MF_BYCOMMAND); }

TBBUTTON ToolButton(CQuillmarDlg& dialog, int index) {
    TBBUTTON button = {};
    EXPECT_TRUE(ToolBarOf(dialog).GetButton(index, &button));
    return button;
}

bool PaneVisible(const CQuillmarDlg& dialog, int pane) {
    return TreeOf(dialog, pane).IsWindowVisible() && ListOf(dialog, pane).IsWindowVisible() &&
           PathEditOf(dialog, pane).IsWindowVisible();
}

bool PaneHidden(const CQuillmarDlg& dialog, int pane) {
    return !TreeOf(dialog, pane).IsWindowVisible() && !ListOf(dialog, pane).IsWindowVisible() &&
           !PathEditOf(dialog, pane).IsWindowVisible();
}

void ExpectRect(HWND window, RECT expected, const char* what) {
    RECT actual = ChildRect(window);
    EXPECT_EQ(actual.left, expected.left) << what;
    EXPECT_EQ(actual.top, expected.top) << what;
    EXPECT_EQ(actual.right, expected.right) << what;
    EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

void ExpectClientSize(const CWnd& dialog, int width, int height) {
    RECT client;
    GetClientRect(dialog.m_hWnd, &client);
    ASSERT_EQ(client.right, width);
    ASSERT_EQ(client.bottom, height);
}

TEST_F(MainDialogTest, StartsInDoubleViewWithBothPanesOnTheLogicalVolumes) {
    CQuillmarDlg dialog;
    EXPECT_EQ(dialog.m_toolImages.GetImageCount(), 7);
    EXPECT_EQ(dialog.m_toolHotImages.GetImageCount(), 7);
    EXPECT_EQ(dialog.m_toolDisabledImages.GetImageCount(), 7);
    Run(dialog, {[&] {
        EXPECT_EQ(dialog.m_singleView, 0);
        EXPECT_TRUE(MenuState(dialog, ID_VIEW_DOUBLEVIEW) & MF_CHECKED);
        EXPECT_FALSE(MenuState(dialog, ID_VIEW_SINGLEVIEW) & MF_CHECKED);
        EXPECT_TRUE(MenuState(dialog, ID_FILE_NEWCATALOG) & MF_GRAYED);

        ASSERT_TRUE(ToolBarOf(dialog).HasWindow());
        EXPECT_EQ(ToolBarOf(dialog).GetDlgCtrlID(), 0xE800);
        ASSERT_EQ(ToolBarOf(dialog).GetButtonCount(), kToolButtonCount);
        const int commands[] = {ID_FILE_OPENLOGICALVOLUMES, 0, ID_VIEW_FILTERS, ID_VIEW_SINGLEVIEW, 0,
                                ID_SYNCHRONIZER_ANALYZE, ID_SYNCHRONIZER_SYNCHRONIZE, 0, ID_HELP_HELP};
        const int images[] = {0, 3, 1, 5, 3, 2, 3, 3, 4};
        for (int index = 0; index < kToolButtonCount; ++index) {
            TBBUTTON button = ToolButton(dialog, index);
            EXPECT_EQ(button.idCommand, commands[index]) << "button " << index;
            EXPECT_EQ(button.iBitmap, images[index]) << "button " << index;
            EXPECT_EQ((button.fsStyle & BTNS_SEP) != 0, commands[index] == 0) << "button " << index;
        }

        EXPECT_EQ(TabOf(dialog).GetItemCount(), 2);
        EXPECT_EQ(TabOf(dialog).GetCurSel(), 0);
        EXPECT_EQ(TabOf(dialog).GetItemText(0), L"Logical Volumes");
        EXPECT_EQ(TabOf(dialog).GetItemText(1), L"Logical Volumes");
        for (int pane = 0; pane < kPaneCount; ++pane) {
            EXPECT_TRUE(dialog.m_panes[pane].path.empty());
            EXPECT_EQ(PathEditOf(dialog, pane).GetWindowText(), L"");
            EXPECT_EQ(dialog.m_panes[pane].mode, PaneMode::LogicalVolumes);
            EXPECT_EQ(dialog.m_panes[pane].location, nullptr);
            EXPECT_TRUE(PaneVisible(dialog, pane)) << "pane " << pane;
            EXPECT_EQ(TreeOf(dialog, pane).GetImageList(TVSIL_NORMAL), dialog.m_itemImages.GetSafeHandle());
            EXPECT_EQ(ListOf(dialog, pane).GetImageList(LVSIL_SMALL), dialog.m_itemImages.GetSafeHandle());
            const wchar_t* headings[] = {L"Name", L"Date modified", L"Size"};
            const int formats[] = {LVCFMT_LEFT, LVCFMT_CENTER, LVCFMT_RIGHT};
            for (int column = 0; column < 3; ++column) {
                wchar_t text[64] = L"";
                LVCOLUMNW info = {};
                info.mask = LVCF_TEXT | LVCF_FMT;
                info.pszText = text;
                info.cchTextMax = 64;
                ASSERT_TRUE(ListOf(dialog, pane).GetColumn(column, &info));
                EXPECT_STREQ(text, headings[column]);
                EXPECT_EQ(info.fmt & LVCFMT_JUSTIFYMASK, formats[column]);
            }
        }
        EXPECT_EQ(dialog.m_itemImages.GetImageCount(), 14);
        EXPECT_EQ(dialog.m_filterMask, 0xFF);
        EXPECT_EQ(GetFocus(), TabOf(dialog).m_hWnd);
        EXPECT_EQ(reinterpret_cast<HICON>(SendMessageW(dialog.m_hWnd, WM_QUERYDRAGICON, 0, 0)), dialog.m_hIcon);
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

// The toolbar sits along the top; the dialog grew by its height so that the
// template's client area stays free below it.
TEST_F(MainDialogTest, TheToolbarGetsItsOwnRoomAboveTheTemplate) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        RECT client;
        GetClientRect(dialog.m_hWnd, &client);
        RECT bar = ChildRect(ToolBarOf(dialog).m_hWnd);
        EXPECT_EQ(bar.left, 0);
        EXPECT_EQ(bar.top, 0);
        EXPECT_EQ(bar.right, client.right);
        EXPECT_GE(bar.bottom, 38);  // one row of 38-pixel buttons
        RECT templateArea = {0, 0, 445, 309};
        MapDialogRect(dialog.m_hWnd, &templateArea);
        EXPECT_EQ(client.right, templateArea.right);
        EXPECT_EQ(client.bottom, templateArea.bottom + bar.bottom);
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

// The lists borrow the dialog's image list: closing the window leaves it whole.
TEST_F(MainDialogTest, TheItemImagesOutliveThePaneControls) {
    CQuillmarDlg dialog;
    EXPECT_EQ(Run(dialog, {[&] { SendCommand(dialog, ID_FILE_EXIT); }}), IDCANCEL);
    EXPECT_EQ(dialog.m_itemImages.GetImageCount(), 14);
    EXPECT_EQ(dialog.m_toolImages.GetImageCount(), 7);
}

// The pane controls lie on the tab control's body and take the clicks there.
TEST_F(MainDialogTest, PaneControlsAnswerThePointerAboveTheTabBody) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        for (int id : {IDC_TREE1, IDC_LIST1, IDC_PATH1, IDC_TREE2, IDC_LIST2, IDC_PATH2}) {
            ControlById<CWnd> control(dialog.m_hWnd, id);
            RECT rect;
            control.GetWindowRect(&rect);
            POINT middle = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
            HWND hit = WindowFromPoint(middle);
            EXPECT_TRUE(hit == control.m_hWnd || IsChild(control.m_hWnd, hit)) << control.GetDlgCtrlID();
        }
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, LayoutMatchesTheWorkedExampleInBothViews) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
                     SetClientSize(dialog.m_hWnd, 830, 560);
                     ExpectClientSize(dialog, 830, 560);
                     ExpectRect(TabOf(dialog), {4, 39, 826, 556}, "tab");
                     ExpectRect(TreeOf(dialog, 0), {14, 111, 146, 546}, "tree 0");
                     ExpectRect(ListOf(dialog, 0), {151, 111, 409, 546}, "list 0");
                     ExpectRect(TreeOf(dialog, 1), {419, 111, 551, 546}, "tree 1");
                     ExpectRect(ListOf(dialog, 1), {556, 111, 814, 546}, "list 1");
                     ExpectRect(PathEditOf(dialog, 0), {14, 81, 409, 101}, "path 0");
                     ExpectRect(PathEditOf(dialog, 1), {419, 81, 814, 101}, "path 1");
                     RECT item;
                     ASSERT_TRUE(TabOf(dialog).GetItemRect(0, &item));
                     EXPECT_EQ(item.right - item.left, 409);
                     EXPECT_EQ(item.bottom - item.top, 30);

                     SendCommand(dialog, ID_VIEW_SINGLEVIEW);
                     for (int pane = 0; pane < kPaneCount; ++pane) {
                         ExpectRect(TreeOf(dialog, pane), {14, 111, 278, 546}, "single tree");
                         ExpectRect(ListOf(dialog, pane), {283, 111, 814, 546}, "single list");
                     }
                     ExpectRect(PathEditOf(dialog, 0), {14, 81, 409, 101}, "single path 0");
                     ExpectRect(PathEditOf(dialog, 1), {419, 81, 814, 101}, "single path 1");

                     // A resize lays the controls out again.
                     SetClientSize(dialog.m_hWnd, 700, 500);
                     ExpectClientSize(dialog, 700, 500);
                     ExpectRect(TabOf(dialog), {4, 39, 696, 496}, "tab after resize");
                     ExpectRect(ListOf(dialog, 0), {19 + (33 * 670) / 100, 111, 684, 486}, "single list after resize");
                     SendCommand(dialog, ID_FILE_EXIT);
                 }});
}

// Sends a resize before the controls are bound.
class EarlyResizeDlg : public CQuillmarDlg {
public:
    RECT tabBefore = {};
    RECT tabAfterResize = {};

protected:
    BOOL OnInitDialog() override {
        tabBefore = ChildRect(GetDlgItem(IDC_TAB));
        SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(830, 560));
        LayoutControls();
        tabAfterResize = ChildRect(GetDlgItem(IDC_TAB));
        return CQuillmarDlg::OnInitDialog();
    }
};

TEST_F(MainDialogTest, ResizesBeforeTheControlsExistDoNothing) {
    CQuillmarDlg unopened;
    unopened.LayoutControls();  // no window at all
    EarlyResizeDlg dialog;
    Run(dialog, {[&] { SendCommand(dialog, ID_FILE_EXIT); }});
    EXPECT_EQ(dialog.tabAfterResize.left, dialog.tabBefore.left);
    EXPECT_EQ(dialog.tabAfterResize.top, dialog.tabBefore.top);
    EXPECT_EQ(dialog.tabAfterResize.right, dialog.tabBefore.right);
    EXPECT_EQ(dialog.tabAfterResize.bottom, dialog.tabBefore.bottom);
}

TEST_F(MainDialogTest, ViewSwitchingShowsTheSelectedPaneAloneAndBack) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        SetClientSize(dialog.m_hWnd, 830, 560);
        TabOf(dialog).SetCurSel(1);
        SendCommand(dialog, ID_VIEW_SINGLEVIEW);
        EXPECT_EQ(dialog.m_singleView, 1);
        EXPECT_TRUE(MenuState(dialog, ID_VIEW_SINGLEVIEW) & MF_CHECKED);
        EXPECT_FALSE(MenuState(dialog, ID_VIEW_DOUBLEVIEW) & MF_CHECKED);
        EXPECT_EQ(ToolButton(dialog, kViewToolButton).idCommand, ID_VIEW_DOUBLEVIEW);
        EXPECT_EQ(ToolButton(dialog, kViewToolButton).iBitmap, 6);
        EXPECT_TRUE(PaneHidden(dialog, 0));
        EXPECT_TRUE(PaneVisible(dialog, 1));
        ExpectRect(ListOf(dialog, 1), {283, 111, 814, 546}, "pane 1 fills the width");

        // Another tab swaps the visible pane.
        TabOf(dialog).SetCurSel(0);
        SendNotify(dialog.m_hWnd, IDC_TAB, TCN_SELCHANGE);
        EXPECT_TRUE(PaneVisible(dialog, 0));
        EXPECT_TRUE(PaneHidden(dialog, 1));

        SendCommand(dialog, ID_VIEW_DOUBLEVIEW);
        EXPECT_EQ(dialog.m_singleView, 0);
        EXPECT_TRUE(MenuState(dialog, ID_VIEW_DOUBLEVIEW) & MF_CHECKED);
        EXPECT_FALSE(MenuState(dialog, ID_VIEW_SINGLEVIEW) & MF_CHECKED);
        EXPECT_EQ(ToolButton(dialog, kViewToolButton).idCommand, ID_VIEW_SINGLEVIEW);
        EXPECT_EQ(ToolButton(dialog, kViewToolButton).iBitmap, 5);
        EXPECT_TRUE(PaneVisible(dialog, 0));
        EXPECT_TRUE(PaneVisible(dialog, 1));
        ExpectRect(ListOf(dialog, 1), {556, 111, 814, 546}, "pane 1 back in its half");

        // The toolbar button offers the other view: pressing it switches.
        SendCommand(dialog, static_cast<UINT>(ToolButton(dialog, kViewToolButton).idCommand));
        EXPECT_EQ(dialog.m_singleView, 1);
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, ViewSwitchWithoutMenuStillSwitches) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        HMENU menu = GetMenu(dialog.m_hWnd);
        SetMenu(dialog.m_hWnd, nullptr);
        SendCommand(dialog, ID_VIEW_SINGLEVIEW);
        EXPECT_EQ(dialog.m_singleView, 1);
        EXPECT_TRUE(PaneHidden(dialog, 1));
        EXPECT_EQ(ToolButton(dialog, kViewToolButton).idCommand, ID_VIEW_DOUBLEVIEW);
        SetMenu(dialog.m_hWnd, menu);
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, FocusSelectsThePaneInDoubleViewOnly) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        ASSERT_EQ(TabOf(dialog).GetCurSel(), 0);
        // The real tree's focus notification selects tab 1 without a tab change:
        // the focus stays in the tree.
        TreeOf(dialog, 1).SetFocus();
        EXPECT_EQ(TabOf(dialog).GetCurSel(), 1);
        EXPECT_EQ(GetFocus(), TreeOf(dialog, 1).m_hWnd);
        PathEditOf(dialog, 0).SetFocus();
        EXPECT_EQ(TabOf(dialog).GetCurSel(), 0);
        ListOf(dialog, 1).SetFocus();
        EXPECT_EQ(TabOf(dialog).GetCurSel(), 1);
        ListOf(dialog, 0).SetFocus();
        EXPECT_EQ(TabOf(dialog).GetCurSel(), 0);
        PathEditOf(dialog, 1).SetFocus();
        EXPECT_EQ(TabOf(dialog).GetCurSel(), 1);
        TreeOf(dialog, 0).SetFocus();
        EXPECT_EQ(TabOf(dialog).GetCurSel(), 0);

        SendCommand(dialog, ID_VIEW_SINGLEVIEW);
        EXPECT_EQ(SendNotify(dialog.m_hWnd, IDC_TREE2, NM_SETFOCUS), 0);
        EXPECT_EQ(SendNotify(dialog.m_hWnd, IDC_LIST2, NM_SETFOCUS), 0);
        SendMessageW(dialog.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_PATH2, EN_SETFOCUS),
                     reinterpret_cast<LPARAM>(PathEditOf(dialog, 1).m_hWnd));
        EXPECT_EQ(TabOf(dialog).GetCurSel(), 0);
        EXPECT_TRUE(PaneVisible(dialog, 0));
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, TabChangeInDoubleViewFocusesThePaneList) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        TabOf(dialog).SetCurSel(1);
        EXPECT_EQ(SendNotify(dialog.m_hWnd, IDC_TAB, TCN_SELCHANGE), 0);
        EXPECT_EQ(GetFocus(), ListOf(dialog, 1).m_hWnd);
        TabOf(dialog).SetCurSel(0);
        SendNotify(dialog.m_hWnd, IDC_TAB, TCN_SELCHANGE);
        EXPECT_EQ(GetFocus(), ListOf(dialog, 0).m_hWnd);
        EXPECT_TRUE(PaneVisible(dialog, 0));
        EXPECT_TRUE(PaneVisible(dialog, 1));
        EXPECT_EQ(SendNotify(dialog.m_hWnd, IDC_TAB, NM_RCLICK), 0);
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, CaptionsFollowThePaneModes) {
    CQuillmarDlg dialog;
    LocationTree location = {};
    lstrcpyW(location.description, L"Differences on Logical Volume: C:\\Work\\");
    Run(dialog, {[&] {
        dialog.m_panes[1].mode = PaneMode::AnalyzedLocation;
        dialog.m_panes[1].location = &location;
        dialog.m_panes[1].path = L"Root\\Docs\\";
        dialog.UpdatePaneCaption(1);
        EXPECT_EQ(TabOf(dialog).GetItemText(1), L"Differences on Logical Volume: C:\\Work\\");
        EXPECT_EQ(PathEditOf(dialog, 1).GetWindowText(), L"Root\\Docs\\");
        dialog.m_panes[0].mode = PaneMode::Empty;
        dialog.UpdatePaneCaption(0);
        EXPECT_EQ(TabOf(dialog).GetItemText(0), L"Empty");

        dialog.ResetPanes();
        EXPECT_EQ(TabOf(dialog).GetItemText(1), L"Empty");
        EXPECT_EQ(dialog.m_panes[1].location, nullptr);
        EXPECT_EQ(PathEditOf(dialog, 1).GetWindowText(), L"");
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

struct ToolTipAnswer {
    INT_PTR handled;
    std::wstring text;
};

ToolTipAnswer RequestToolTip(HWND dialog, UINT_PTR id, UINT flags = 0) {
    NMTTDISPINFOW request = {};
    request.hdr.idFrom = id;
    request.hdr.code = TTN_NEEDTEXTW;
    request.uFlags = flags;
    lstrcpyW(request.szText, L"untouched");
    request.lpszText = request.szText;
    INT_PTR handled = CallDialogProcedure(dialog, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&request));
    return {handled, request.lpszText};
}

TEST_F(MainDialogTest, ToolTipsComeFromTheStringTable) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        const struct {
            UINT id;
            const wchar_t* text;
        } expected[] = {{ID_HELP_HELP, L"Help"},
                        {ID_FILE_OPENLOGICALVOLUMES, L"Open Logical Volumes"},
                        {ID_SYNCHRONIZER_ANALYZE, L"Analyze Differences"},
                        {ID_SYNCHRONIZER_SYNCHRONIZE, L"Synchronize"},
                        {ID_VIEW_FILTERS, L"View Filters"},
                        {ID_VIEW_SINGLEVIEW, L"Switch To Single View"},
                        {ID_VIEW_DOUBLEVIEW, L"Switch To Double View"}};
        for (const auto& tip : expected) {
            ToolTipAnswer answer = RequestToolTip(dialog.m_hWnd, tip.id);
            EXPECT_EQ(answer.handled, TRUE) << tip.id;
            EXPECT_EQ(answer.text, tip.text) << tip.id;
        }
        // The toolbar passes its tooltip's request on to the dialog.
        NMTTDISPINFOW request = {};
        request.hdr.hwndFrom = ToolBarOf(dialog).GetToolTips();
        request.hdr.idFrom = ID_VIEW_FILTERS;
        request.hdr.code = TTN_NEEDTEXTW;
        request.lpszText = request.szText;
        SendMessageW(ToolBarOf(dialog).m_hWnd, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&request));
        EXPECT_STREQ(request.lpszText, L"View Filters");

        ToolTipAnswer none = RequestToolTip(dialog.m_hWnd, 0);
        EXPECT_EQ(none.handled, FALSE);
        EXPECT_EQ(none.text, L"untouched");
        ToolTipAnswer missing = RequestToolTip(dialog.m_hWnd, 31999);
        EXPECT_EQ(missing.handled, TRUE);
        EXPECT_EQ(missing.text, L"");

        // A request that names a window: its control id picks the text.
        HWND named = CreateWindowExW(0, L"STATIC", nullptr, WS_CHILD, 0, 0, 1, 1, dialog.m_hWnd,
                                     reinterpret_cast<HMENU>(static_cast<UINT_PTR>(ID_SYNCHRONIZER_ANALYZE)), nullptr,
                                     nullptr);
        ToolTipAnswer byWindow = RequestToolTip(dialog.m_hWnd, reinterpret_cast<UINT_PTR>(named), TTF_IDISHWND);
        EXPECT_EQ(byWindow.text, L"Analyze Differences");
        DestroyWindow(named);
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

// The text the toolbar's tooltip would show over the button at `index`: the
// tool under the button's middle, asked for its text as the tooltip asks it.
std::wstring ShownToolTip(CQuillmarDlg& dialog, int index) {
    ControlById<CToolBar> bar = ToolBarOf(dialog);
    RECT button = {};
    bar.SendMessage(TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button));
    TTHITTESTINFOW hit = {};
    hit.hwnd = bar.m_hWnd;
    hit.pt = {(button.left + button.right) / 2, (button.top + button.bottom) / 2};
    hit.ti.cbSize = sizeof(hit.ti);
    if (!SendMessageW(bar.GetToolTips(), TTM_HITTESTW, 0, reinterpret_cast<LPARAM>(&hit))) return L"(no tool)";
    NMTTDISPINFOW request = {};
    request.hdr = {bar.GetToolTips(), hit.ti.uId, TTN_GETDISPINFOW};
    request.uFlags = hit.ti.uFlags;
    request.lpszText = request.szText;
    SendMessageW(hit.ti.hwnd, WM_NOTIFY, hit.ti.uId, reinterpret_cast<LPARAM>(&request));
    return request.lpszText != nullptr ? request.lpszText : L"";
}

TEST_F(MainDialogTest, TheViewButtonsToolTipNamesItsCurrentCommand) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        const struct {
            int switches;
            const wchar_t* text;
        } rows[] = {{0, L"Switch To Single View"}, {1, L"Switch To Double View"}, {2, L"Switch To Single View"},
                    {3, L"Switch To Double View"}, {6, L"Switch To Single View"}};
        int switches = 0;
        for (const auto& row : rows) {
            // The button's own command switches, as a click on it does.
            for (; switches < row.switches; ++switches)
                SendCommand(dialog, static_cast<UINT>(ToolButton(dialog, kViewToolButton).idCommand));
            EXPECT_EQ(ShownToolTip(dialog, kViewToolButton), row.text) << row.switches << " switches";
            EXPECT_EQ(ShownToolTip(dialog, kViewToolButton + 2), L"Analyze Differences") << row.switches << " switches";
        }
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, EnterNeverClosesTheDialog) {
    CQuillmarDlg dialog;
    INT_PTR result = Run(dialog, {[&] {
                                      SendCommand(dialog, IDOK);
                                      ListOf(dialog, 0).SetFocus();
                                      PostMessageW(ListOf(dialog, 0).m_hWnd, WM_KEYDOWN, VK_RETURN, 0);
                                      PostMessageW(TabOf(dialog).m_hWnd, WM_KEYDOWN, VK_RETURN, 0);
                                  },
                                  [&] {
                                      EXPECT_TRUE(IsWindowVisible(dialog.m_hWnd));
                                      SendCommand(dialog, ID_FILE_EXIT);
                                  }});
    EXPECT_EQ(result, IDCANCEL);
}

enum class ClosingRoad { Exit, Escape, CloseBox };

class ClosingRoadTest : public MainDialogTest, public testing::WithParamInterface<ClosingRoad> {
protected:
    INT_PTR Close(ClosingRoad road) {
        CQuillmarDlg dialog;
        return Run(dialog, {[&] {
                       switch (road) {
                       case ClosingRoad::Exit:
                           SendCommand(dialog, ID_FILE_EXIT);
                           break;
                       case ClosingRoad::Escape:
                           TreeOf(dialog, 0).SetFocus();
                           PostMessageW(TreeOf(dialog, 0).m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0);
                           break;
                       case ClosingRoad::CloseBox:
                           PostMessageW(dialog.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
                           break;
                       }
                   }});
    }
};

TEST_P(ClosingRoadTest, ReleasesAValidRecordExactlyOnce) {
    FakeRecord::valid = true;
    EXPECT_EQ(Close(GetParam()), IDCANCEL);
    EXPECT_EQ(FakeRecord::releases, 1);
    EXPECT_FALSE(FakeRecord::valid);
}

TEST_P(ClosingRoadTest, NeverReleasesAnInvalidRecord) {
    EXPECT_EQ(Close(GetParam()), IDCANCEL);
    EXPECT_EQ(FakeRecord::releases, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryRoad, ClosingRoadTest,
                         testing::Values(ClosingRoad::Exit, ClosingRoad::Escape, ClosingRoad::CloseBox));

// The real record, set up as an analysis leaves it, is freed by the closing road.
TEST_F(MainDialogTest, TheCloseBoxFreesTheProcessRecord) {
    SetBackgroundRecordCalls(m_previousCalls);
    ASSERT_TRUE(BackgroundOpsInit(&g_backgroundOps));
    ASSERT_TRUE(BackgroundOpsIsValid(&g_backgroundOps));
    CQuillmarDlg dialog;
    EXPECT_EQ(Run(dialog, {[&] { PostMessageW(dialog.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0); }}), IDCANCEL);
    EXPECT_FALSE(BackgroundOpsIsValid(&g_backgroundOps));
    EXPECT_EQ(g_backgroundOps.signature[0], 0xFFFFFFFFu);
}

const wchar_t kSelectTwo[] =
    L"Select two locations that you want to compare. Use both tab windows and open Logical or Catalog Volumes.";

void ExpectInformation(const CapturedMessageBox& box, const wchar_t* text, HWND owner) {
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, L"Information");
    EXPECT_EQ(box.type & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
    EXPECT_EQ(box.owner, owner);
}

TEST_F(MainDialogTest, AnalyzeAsksForTwoLocationsUnlessBothAreSelectedAndLive) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        SendCommand(dialog, ID_SYNCHRONIZER_ANALYZE);  // right after start-up
        dialog.m_panes[0].path = L"C:\\";
        SendCommand(dialog, ID_SYNCHRONIZER_ANALYZE);  // one pane only
        dialog.m_panes[0].path.clear();
        dialog.m_panes[1].path = L"C:\\";
        SendCommand(dialog, ID_SYNCHRONIZER_ANALYZE);  // the other pane only
        dialog.m_panes[0].path = L"Root\\";
        dialog.m_panes[1].path = L"Root\\";
        dialog.m_panes[0].mode = PaneMode::AnalyzedLocation;
        dialog.m_panes[1].mode = PaneMode::AnalyzedLocation;
        SendCommand(dialog, ID_SYNCHRONIZER_ANALYZE);  // an analysed pair is shown
        dialog.m_panes[0].mode = PaneMode::LogicalVolumes;
        SendCommand(dialog, ID_SYNCHRONIZER_ANALYZE);  // still one analysed pane
        ASSERT_EQ(m_boxes.boxes.size(), 5u);
        for (const CapturedMessageBox& box : m_boxes.boxes) ExpectInformation(box, kSelectTwo, dialog.m_hWnd);

        dialog.m_panes[1].mode = PaneMode::LogicalVolumes;
        dialog.m_panes[0].path = L"C:\\";
        dialog.m_panes[1].path = L"D:\\";
        m_guard.ExpectRefusals();
        SendCommand(dialog, ID_SYNCHRONIZER_ANALYZE);  // both selected: no message
        EXPECT_EQ(m_boxes.boxes.size(), 5u);
        EXPECT_EQ(m_guard.Refused(), 1);  // the Analyze dialog itself
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, AnalyzeRefusesLocationsInsideEachOther) {
    const wchar_t kOverlap[] =
        L"The two locations overlap: one lies inside the other, or both are the same folder. "
        L"Select two separate locations to compare.";
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        const std::pair<const wchar_t*, const wchar_t*> pairs[] = {
            {L"C:\\windows\\", L"C:\\windows\\"},
            {L"C:\\windows\\", L"C:\\WINDOWS\\system32\\"},
            {L"C:\\windows\\system32\\", L"C:\\"},
        };
        for (const auto& [first, second] : pairs) {
            dialog.m_panes[0].path = first;
            dialog.m_panes[1].path = second;
            SendCommand(dialog, ID_SYNCHRONIZER_ANALYZE);
        }
        // No Analyze dialog was opened: the guard would have refused it.
        ASSERT_EQ(m_boxes.boxes.size(), 3u);
        for (const CapturedMessageBox& box : m_boxes.boxes) ExpectInformation(box, kOverlap, dialog.m_hWnd);
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, SynchronizeNeedsAnAnalysis) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        SendCommand(dialog, ID_SYNCHRONIZER_SYNCHRONIZE);
        ASSERT_EQ(m_boxes.boxes.size(), 1u);
        ExpectInformation(m_boxes.boxes[0], L"Analyze not performed!", dialog.m_hWnd);
        dialog.m_panes[1].mode = PaneMode::AnalyzedLocation;  // only pane 0 counts
        SendCommand(dialog, ID_SYNCHRONIZER_SYNCHRONIZE);
        EXPECT_EQ(m_boxes.boxes.size(), 2u);
        dialog.m_panes[0].mode = PaneMode::AnalyzedLocation;
        m_guard.ExpectRefusals();
        SendCommand(dialog, ID_SYNCHRONIZER_SYNCHRONIZE);
        EXPECT_EQ(m_boxes.boxes.size(), 2u);
        EXPECT_EQ(m_guard.Refused(), 1);  // the Synchronize dialog itself
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

TEST_F(MainDialogTest, EveryCommandLeavesTheDialogRunning) {
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        const UINT commands[] = {ID_FILE_OPENLOGICALVOLUMES, ID_VIEW_REFRESH, ID_VIEW_FILTERS, ID_HELP_ABOUT,
                                 ID_FILE_NEWCATALOG,         ID_FILE_OPENCATALOG, ID_CATALOG_ADD, ID_CATALOG_REMOVE};
        m_guard.ExpectRefusals();
        for (UINT command : commands) SendCommand(dialog, command);
        EXPECT_EQ(m_guard.Refused(), 2);  // the Filters dialog and the About box, refused by the guard
        const UINT notifications[][2] = {{IDC_TREE1, TVN_ITEMEXPANDINGW}, {IDC_TREE2, TVN_ITEMEXPANDINGW},
                                         {IDC_TREE1, TVN_SELCHANGEDW},    {IDC_TREE2, TVN_SELCHANGEDW},
                                         {IDC_LIST1, NM_DBLCLK},          {IDC_LIST2, NM_DBLCLK}};
        for (const auto& notification : notifications) {
            NMTREEVIEWW data = {};
            data.hdr.hwndFrom = GetDlgItem(dialog.m_hWnd, static_cast<int>(notification[0]));
            data.hdr.idFrom = notification[0];
            data.hdr.code = notification[1];
            EXPECT_EQ(SendMessageW(dialog.m_hWnd, WM_NOTIFY, notification[0], reinterpret_cast<LPARAM>(&data)), 0);
        }
        EXPECT_TRUE(IsWindowVisible(dialog.m_hWnd));
        EXPECT_TRUE(m_boxes.boxes.empty());
        // Open Logical Volumes puts the active pane back on the volumes.
        EXPECT_EQ(TabOf(dialog).GetItemText(0), L"Logical Volumes");
        SendCommand(dialog, ID_FILE_EXIT);
    }});
}

std::vector<std::wstring> g_opened;

HINSTANCE WINAPI RecordOpen(HWND owner, LPCWSTR verb, LPCWSTR target, LPCWSTR, LPCWSTR, INT show) {
    g_opened.push_back(std::wstring(owner ? L"" : L"no owner ") + verb + L" " + target +
                       (show == SW_SHOWNORMAL ? L"" : L" hidden"));
    return reinterpret_cast<HINSTANCE>(42);
}

// Help opens the user guide beside the program, and the help page on the web only
// when the guide is not there.
TEST_F(MainDialogTest, HelpOpensTheGuideBesideTheProgramOrElseTheHelpPage) {
    const std::wstring guide = ProgramFolder() + L"USER-GUIDE.txt";
    const struct {
        bool guidePresent;
        std::wstring opened;
    } cases[] = {{true, L"open " + guide}, {false, L"open https://www.brennock.example/quillmar/help/"}};
    g_opened.clear();
    SetAboutShellExecute(RecordOpen);
    CQuillmarDlg dialog;
    Run(dialog, {[&] {
        for (const auto& each : cases) {
            if (each.guidePresent) {
                CloseHandle(CreateFileW(guide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
            } else {
                DeleteFileW(guide.c_str());
            }
            SendCommand(dialog, ID_HELP_HELP);
        }
        SendCommand(dialog, ID_FILE_EXIT);
    }});
    SetAboutShellExecute(nullptr);
    DeleteFileW(guide.c_str());
    ASSERT_EQ(g_opened.size(), std::size(cases));
    for (size_t i = 0; i < g_opened.size(); ++i) EXPECT_EQ(Utf8(g_opened[i]), Utf8(cases[i].opened));
}

// F5 goes through the application's message filter while the main dialog's
// loop runs, wherever the focus is.
int g_refreshes = 0;
HWND g_mainWindow = nullptr;

// Counts the Refresh commands that accelerators send to the main window.
LRESULT CALLBACK ObserveRefresh(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code >= 0 && sent->hwnd == g_mainWindow && sent->message == WM_COMMAND &&
        LOWORD(sent->wParam) == ID_VIEW_REFRESH && HIWORD(sent->wParam) == 1) {
        ++g_refreshes;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST_F(MainDialogTest, F5ReachesRefreshFromEveryPaneControl) {
    CQuillmarApp app;
    g_refreshes = 0;
    HHOOK observer = SetWindowsHookExW(WH_CALLWNDPROC, ObserveRefresh, nullptr, GetCurrentThreadId());
    ASSERT_NE(observer, nullptr);
    auto dialog = [&] { return static_cast<CQuillmarDlg*>(app.m_pMainWnd); };
    auto pressF5In = [&](HWND control) {
        return [control] {
            SetFocus(control);
            PostMessageW(control, WM_KEYDOWN, VK_F5, 0);
        };
    };
    RunModalSteps(
        [&] { return static_cast<INT_PTR>(app.InitInstance()); },
        [&] { return dialog() != nullptr ? dialog()->m_hWnd : nullptr; },
        {[&] {
             g_mainWindow = dialog()->m_hWnd;
             EXPECT_NE(app.m_hAccel, nullptr);
             EXPECT_EQ(app.GetRegistryKey(), L"Brennock");
             pressF5In(TreeOf(*dialog(), 0))();
         },
         [&] { pressF5In(ListOf(*dialog(), 1))(); }, [&] { pressF5In(PathEditOf(*dialog(), 0))(); },
         [&] { pressF5In(TabOf(*dialog()))(); },
         [&] {
             EXPECT_EQ(g_refreshes, 4);
             SendCommand(*dialog(), ID_FILE_EXIT);
         }});
    UnhookWindowsHookEx(observer);
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

int g_iconErasures = 0;

LRESULT CALLBACK ObserveIconErasure(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
    if (code >= 0 && sent->hwnd == g_mainWindow && sent->message == WM_ICONERASEBKGND && sent->wParam != 0) {
        ++g_iconErasures;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Minimised, the dialog paints its icon after erasing the icon's background.
TEST_F(MainDialogTest, MinimisedPaintingErasesTheIconBackground) {
    CQuillmarDlg dialog;
    g_iconErasures = 0;
    HHOOK observer = SetWindowsHookExW(WH_CALLWNDPROC, ObserveIconErasure, nullptr, GetCurrentThreadId());
    ASSERT_NE(observer, nullptr);
    Run(dialog, {[&] {
                     g_mainWindow = dialog.m_hWnd;
                     SendMessageW(dialog.m_hWnd, WM_PAINT, 0, 0);
                     EXPECT_EQ(g_iconErasures, 0);
                     ShowWindow(dialog.m_hWnd, SW_MINIMIZE);
                 },
                 [&] {
                     EXPECT_TRUE(IsIconic(dialog.m_hWnd));
                     InvalidateRect(dialog.m_hWnd, nullptr, TRUE);
                     SendMessageW(dialog.m_hWnd, WM_PAINT, 0, 0);
                     EXPECT_EQ(g_iconErasures, 1);
                     ShowWindow(dialog.m_hWnd, SW_RESTORE);
                     SendCommand(dialog, ID_FILE_EXIT);
                 }});
    UnhookWindowsHookEx(observer);
}

}  // namespace
