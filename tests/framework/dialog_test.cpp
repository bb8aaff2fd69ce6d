// The dialog layer under Wine: message-map dispatch, modal runs, default
// processing, the modal loop's message filter, message boxes and threads.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/message_box.h"
#include "framework/win_app.h"
#include "tests/framework/framework_test_resource.h"
#include "tests/framework/window_test.h"

namespace {

const UINT kProbeCode = 0x1234;
const UINT WM_PROBE_SUM = WM_APP + 7;

class ProbeDlg : public CDialog {
public:
    ProbeDlg() : CDialog(IDD_PROBE) {}

    CEdit m_edit;
    int refreshCommands = 0;
    int otherCommands = 0;
    int editFocus = 0;
    int notifies = 0;
    int closes = 0;
    bool editBoundAtInit = false;
    std::vector<UINT> rangeIds;
    std::vector<UINT> commandIds;
    std::vector<UINT> notifyIds;

protected:
    void DoDataExchange(CDataExchange* exchange) override { DDX_Control(exchange, IDC_PROBE_EDIT, m_edit); }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        editBoundAtInit = m_edit.HasWindow();
        return TRUE;
    }
    void OnRefresh() { ++refreshCommands; }
    void OnOther() { ++otherCommands; }
    void OnEditFocus() { ++editFocus; }
    void OnProbeNotify(NMHDR*, LRESULT* result) {
        ++notifies;
        *result = 42;
    }
    BOOL OnRangeNotify(UINT id, NMHDR*, LRESULT* result) {
        rangeIds.push_back(id);
        *result = 7;
        return id != 555;  // 555 is declined
    }
    LRESULT OnSum(WPARAM wParam, LPARAM lParam) { return static_cast<LRESULT>(wParam) + lParam; }
    // Counts, then leaves the close to the system's default processing.
    void OnClose() {
        ++closes;
        SetMsgHandled(false);
    }
    // One handler for a range of controls, told which one; 605 is declined.
    void OnRangeCommand(UINT id) {
        commandIds.push_back(id);
        if (id == 605) SetMsgHandled(false);
    }
    void OnRangeNotifyById(UINT id, NMHDR* header, LRESULT* result) {
        notifyIds.push_back(id);
        *result = static_cast<LRESULT>(header->idFrom) + 1;
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeDlg, CDialog)
    ON_COMMAND(ID_PROBE_REFRESH, OnRefresh)
    ON_CONTROL(EN_CHANGE, ID_PROBE_OTHER, OnOther)
    ON_EN_SETFOCUS(IDC_PROBE_EDIT, OnEditFocus)
    ON_NOTIFY(kProbeCode, IDC_PROBE_NOTIFIER, OnProbeNotify)
    ON_NOTIFY_EX_RANGE(kProbeCode, 550, 560, OnRangeNotify)
    ON_MESSAGE(WM_PROBE_SUM, OnSum)
    ON_WM_CLOSE()
    ON_CONTROL_RANGE(BN_CLICKED, 600, 609, OnRangeCommand)
    ON_NOTIFY_RANGE(kProbeCode + 2, 700, 702, OnRangeNotifyById)
END_MESSAGE_MAP()

// A derived dialog whose own IDOK row hides the base class's.
class EnterKeepsOpenDlg : public ProbeDlg {
public:
    int enters = 0;

protected:
    void OnEnter() { ++enters; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(EnterKeepsOpenDlg, ProbeDlg)
    ON_COMMAND(IDOK, OnEnter)
END_MESSAGE_MAP()

INT_PTR RunProbe(CDialog& dialog, std::vector<TestStep> steps) {
    return RunModalSteps([&] { return dialog.DoModal(); }, [&] { return dialog.m_hWnd; }, std::move(steps));
}

WPARAM Command(UINT id, UINT code) { return MAKEWPARAM(id, code); }

TEST(DialogTest, CommandRowsMatchNotificationCodeAndId) {
    ModalBoxGuard guard;
    ProbeDlg dialog;
    RunProbe(dialog, {[&] {
                 HWND window = dialog.m_hWnd;
                 HWND edit = dialog.m_edit.m_hWnd;
                 SendMessageW(window, WM_COMMAND, Command(ID_PROBE_REFRESH, 0), 0);  // menu
                 SendMessageW(window, WM_COMMAND, Command(ID_PROBE_REFRESH, 1), 0);  // accelerator
                 EXPECT_EQ(dialog.refreshCommands, 2);
                 // A control's notification with another code does not reach a command row.
                 SendMessageW(window, WM_COMMAND, Command(ID_PROBE_REFRESH, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
                 EXPECT_EQ(dialog.refreshCommands, 2);
                 SendMessageW(window, WM_COMMAND, Command(ID_PROBE_OTHER, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
                 SendMessageW(window, WM_COMMAND, Command(ID_PROBE_OTHER, EN_KILLFOCUS), reinterpret_cast<LPARAM>(edit));
                 EXPECT_EQ(dialog.otherCommands, 1);
                 // The real edit control's focus notification.
                 SetFocus(GetDlgItem(window, IDOK));
                 int before = dialog.editFocus;
                 SetFocus(edit);
                 EXPECT_EQ(dialog.editFocus, before + 1);
                 dialog.EndDialog(IDCANCEL);
             }});
    EXPECT_TRUE(dialog.editBoundAtInit);
}

TEST(DialogTest, NotificationResultsTravelThroughMsgResult) {
    ModalBoxGuard guard;
    ProbeDlg dialog;
    RunProbe(dialog, {[&] {
                 HWND window = dialog.m_hWnd;
                 EXPECT_EQ(SendNotify(window, IDC_PROBE_NOTIFIER, kProbeCode), 42);
                 EXPECT_EQ(dialog.notifies, 1);
                 EXPECT_EQ(GetWindowLongPtrW(window, DWLP_MSGRESULT), 42);
                 EXPECT_EQ(SendNotify(window, 551, kProbeCode), 7);

                 // A declined _EX notification and an unmapped one leave the procedure unhandled.
                 NMHDR header = {nullptr, 555, kProbeCode};
                 EXPECT_EQ(CallDialogProcedure(window, WM_NOTIFY, 555, reinterpret_cast<LPARAM>(&header)), FALSE);
                 NMHDR other = {nullptr, IDC_PROBE_NOTIFIER, kProbeCode + 1};
                 EXPECT_EQ(CallDialogProcedure(window, WM_NOTIFY, IDC_PROBE_NOTIFIER, reinterpret_cast<LPARAM>(&other)),
                           FALSE);
                 EXPECT_EQ(dialog.notifies, 1);
                 EXPECT_EQ(dialog.rangeIds, (std::vector<UINT>{551, 555}));
                 dialog.EndDialog(IDCANCEL);
             }});
}

TEST(DialogTest, RangeRowsPassTheIdAndAHandlerMayDecline) {
    ModalBoxGuard guard;
    ProbeDlg dialog;
    RunProbe(dialog, {[&] {
                 HWND window = dialog.m_hWnd;
                 HWND control = dialog.m_edit.m_hWnd;  // any control handle marks a control's notification
                 for (UINT id : {600u, 605u, 609u, 610u}) {
                     LRESULT taken = CallDialogProcedure(window, WM_COMMAND, Command(id, BN_CLICKED),
                                                         reinterpret_cast<LPARAM>(control));
                     EXPECT_EQ(taken, id == 600 || id == 609 ? TRUE : FALSE) << id;
                 }
                 // 610 lies outside the range and reaches no handler; 605 reached it and was declined.
                 EXPECT_EQ(dialog.commandIds, (std::vector<UINT>{600, 605, 609}));
                 EXPECT_EQ(SendNotify(window, 701, kProbeCode + 2), 702);
                 EXPECT_EQ(SendNotify(window, 700, kProbeCode + 2), 701);
                 EXPECT_EQ(dialog.notifyIds, (std::vector<UINT>{701, 700}));
                 dialog.EndDialog(IDCANCEL);
             }});
}

TEST(DialogTest, TypedMessageRowsAndDefaultProcessing) {
    ModalBoxGuard guard;
    ProbeDlg dialog;
    RunProbe(dialog, {[&] {
                 HWND window = dialog.m_hWnd;
                 EXPECT_EQ(SendMessageW(window, WM_PROBE_SUM, 40, 2), 42);
                 // No row takes WM_SETTEXT: the system's processing sets the caption.
                 SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"Renamed"));
                 EXPECT_EQ(dialog.GetWindowText(), L"Renamed");
                 EXPECT_EQ(CallDialogProcedure(window, WM_USER + 99, 0, 0), FALSE);
                 dialog.EndDialog(IDCANCEL);
             }});
}

TEST(DialogTest, DoModalReturnsTheEndDialogResultAndUnbindsControls) {
    ModalBoxGuard guard(3);
    ProbeDlg first;
    EXPECT_EQ(RunProbe(first, {[&] { first.EndDialog(1234); }}), 1234);
    EXPECT_EQ(first.m_hWnd, nullptr);
    EXPECT_EQ(first.m_edit.m_hWnd, nullptr);

    ProbeDlg second;  // the base IDOK row: OnOK ends with IDOK
    EXPECT_EQ(RunProbe(second, {[&] { SendMessageW(second.m_hWnd, WM_COMMAND, Command(IDOK, BN_CLICKED), 0); }}), IDOK);

    ProbeDlg third;  // Esc through the dialog's own loop
    EXPECT_EQ(RunProbe(third, {[&] { PostMessageW(third.m_edit.m_hWnd, WM_KEYDOWN, VK_ESCAPE, 0); }}), IDCANCEL);
}

TEST(DialogTest, DerivedRowsComeBeforeTheBaseClassRows) {
    ModalBoxGuard guard;
    EnterKeepsOpenDlg dialog;
    INT_PTR result = RunProbe(dialog, {[&] { PostMessageW(dialog.m_edit.m_hWnd, WM_KEYDOWN, VK_RETURN, 0); },
                                       [&] {
                                           EXPECT_EQ(dialog.enters, 1);
                                           EXPECT_TRUE(IsWindowVisible(dialog.m_hWnd));
                                           SendMessageW(dialog.m_hWnd, WM_COMMAND, Command(ID_PROBE_REFRESH, 0), 0);
                                           EXPECT_EQ(dialog.refreshCommands, 1);
                                           dialog.EndDialog(77);
                                       }});
    EXPECT_EQ(result, 77);
}

TEST(DialogTest, DefaultProcessingOfCloseEndsWithCancel) {
    ModalBoxGuard guard;
    ProbeDlg dialog;
    INT_PTR result = RunProbe(dialog, {[&] { PostMessageW(dialog.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0); }});
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_EQ(dialog.closes, 1);
}

class ProbeApp : public CWinApp {
public:
    HACCEL keys = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_PROBE_KEYS));
    bool translate = true;
    int appCommands = 0;
    std::vector<int> codes;

    BOOL ProcessMessageFilter(int code, MSG* message) override {
        if (message->message == WM_KEYDOWN) codes.push_back(code);
        if (translate && m_pMainWnd != nullptr && TranslateAcceleratorW(m_pMainWnd->m_hWnd, keys, message)) return TRUE;
        return CWinApp::ProcessMessageFilter(code, message);
    }

protected:
    void OnAppOnly() { ++appCommands; }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(ProbeApp, CWinApp)
    ON_COMMAND(ID_PROBE_APP_ONLY, OnAppOnly)
END_MESSAGE_MAP()

TEST(WinAppTest, AcceleratorsReachTheDialogWhileItsLoopRuns) {
    ModalBoxGuard guard;
    ProbeApp app;
    ASSERT_NE(app.keys, nullptr);
    ProbeDlg dialog;
    app.m_pMainWnd = &dialog;
    RunProbe(dialog, {[&] {
                          dialog.m_edit.SetFocus();
                          PostMessageW(dialog.m_edit.m_hWnd, WM_KEYDOWN, VK_F5, 0);
                      },
                      [&] {
                          EXPECT_EQ(dialog.refreshCommands, 1);
                          EXPECT_EQ(app.codes, (std::vector<int>{MSGF_DIALOGBOX}));
                          app.translate = false;  // the base filter consumes nothing
                          PostMessageW(dialog.m_edit.m_hWnd, WM_KEYDOWN, VK_F5, 0);
                      },
                      [&] {
                          EXPECT_EQ(dialog.refreshCommands, 1);
                          // Commands that no dialog row takes go on to the application.
                          SendMessageW(dialog.m_hWnd, WM_COMMAND, Command(ID_PROBE_APP_ONLY, 0), 0);
                          EXPECT_EQ(app.appCommands, 1);
                          dialog.EndDialog(IDCANCEL);
                      }});
    EXPECT_EQ(AfxGetApp(), &app);
}

// A dialog opened without a parent is owned by the application's main window.
TEST(WinAppTest, DialogsWithoutAParentAreOwnedByTheMainWindow) {
    ModalBoxGuard guard(2);
    CWinApp app;
    ProbeDlg main;
    app.m_pMainWnd = &main;
    HWND innerOwner = nullptr;
    HWND mainWindow = nullptr;
    INT_PTR innerResult = 0;
    RunProbe(main, {[&] {
                 mainWindow = main.m_hWnd;
                 ProbeDlg inner;
                 innerResult = RunProbe(inner, {[&] {
                                            innerOwner = GetWindow(inner.m_hWnd, GW_OWNER);
                                            EXPECT_FALSE(IsWindowEnabled(main.m_hWnd));
                                            inner.EndDialog(5);
                                        }});
                 EXPECT_TRUE(IsWindowEnabled(main.m_hWnd));
                 EXPECT_EQ(GetWindow(main.m_hWnd, GW_OWNER), nullptr);
                 main.EndDialog(IDCANCEL);
             }});
    EXPECT_EQ(innerResult, 5);
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_EQ(innerOwner, mainWindow);
}

TEST(WinAppTest, ErrorModeIsSetBeforeInitInstance) {
    struct ModeApp : CWinApp {
        UINT seen = 0;
        BOOL InitInstance() override {
            seen = GetErrorMode();
            return FALSE;
        }
    } app;
    UINT before = SetErrorMode(0);
    EXPECT_EQ(AfxWinMain(GetModuleHandleW(nullptr)), 0);
    EXPECT_EQ(app.seen & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
              static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
    EXPECT_EQ(app.m_hInstance, GetModuleHandleW(nullptr));
    SetErrorMode(before);
}

TEST(MessageBoxTest, TheSeamSeesTextCaptionAndIconAndAnswers) {
    MessageBoxCapture capture(IDNO);
    CWnd owner;
    EXPECT_EQ(owner.MessageBox(L"Proceed?", L"Question", MB_YESNO | MB_ICONQUESTION), IDNO);
    ASSERT_EQ(capture.boxes.size(), 1u);
    EXPECT_EQ(capture.boxes[0].text, L"Proceed?");
    EXPECT_EQ(capture.boxes[0].caption, L"Question");
    EXPECT_EQ(capture.boxes[0].type, static_cast<UINT>(MB_YESNO | MB_ICONQUESTION));
}

TEST(MessageBoxTest, TheGuardRefusesAnUnexpectedRealBox) {
    ModalBoxGuard guard;
    guard.ExpectRefusals();
    ProbeDlg dialog;
    int answer = -1;
    RunProbe(dialog, {[&] {
                 answer = ShowMessageBox(dialog.m_hWnd, L"unexpected", L"Error", MB_ICONERROR);
                 dialog.EndDialog(IDCANCEL);
             }});
    EXPECT_NE(answer, IDOK);
    EXPECT_LE(answer, 0);  // the box could not be made
    EXPECT_EQ(guard.Refused(), 1);
}

TEST(ControlsTest, ImageListsAndTabsAnswerThroughTheirWrappers) {
    ModalBoxGuard guard;
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 4));
    EXPECT_EQ(images.Add(nullptr), -1);  // a missing icon adds nothing
    EXPECT_TRUE(images.SetImageCount(3));
    EXPECT_EQ(images.GetImageCount(), 3);
    EXPECT_TRUE(images.DeleteImageList());
    EXPECT_EQ(images.GetSafeHandle(), nullptr);

    ProbeDlg dialog;
    RunProbe(dialog, {[&] {
                 CTabCtrl tab;
                 tab.Attach(CreateWindowExW(0, WC_TABCONTROLW, nullptr, WS_CHILD | TCS_FIXEDWIDTH, 0, 0, 300, 100,
                                            dialog.m_hWnd, nullptr, nullptr, nullptr));
                 ASSERT_TRUE(tab.HasWindow());
                 EXPECT_EQ(tab.InsertItem(0, L"first"), 0);
                 EXPECT_EQ(tab.InsertItem(1, L"second"), 1);
                 EXPECT_TRUE(tab.SetItemText(1, L"renamed"));
                 EXPECT_EQ(tab.GetItemText(1), L"renamed");
                 EXPECT_EQ(tab.SetCurSel(1), 0);
                 EXPECT_EQ(tab.GetCurSel(), 1);
                 DestroyWindow(tab.Detach());
                 dialog.EndDialog(IDCANCEL);
             }});
}

}  // namespace
