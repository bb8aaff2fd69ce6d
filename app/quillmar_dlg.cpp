#include "app/quillmar_dlg.h"

#include "model/location_paths.h"

#include "analysis/skip_log.h"
#include "app/background_record.h"
#include "dialogs/about_dlg.h"
#include "framework/win_app.h"
#include "res/resource.h"

namespace {

const wchar_t kHelpPage[] = L"https://www.brennock.example/quillmar/help/";
// The user guide, in plain text, that the package puts beside the programs.
const wchar_t kUserGuide[] = L"USER-GUIDE.txt";

const wchar_t kSelectTwoLocations[] =
    L"Select two locations that you want to compare. Use both tab windows and open Logical or Catalog Volumes.";
const wchar_t kAnalyzeNotPerformed[] = L"Analyze not performed!";
const wchar_t kLocationsOverlap[] =
    L"The two locations overlap: one lies inside the other, or both are the same folder. "
    L"Select two separate locations to compare.";

const int kToolImageSize = 24;
const int kToolButtonSize = 38;
const int kItemImageSize = 16;

// Toolbar icons in image-list order: images 0 to 6.
const UINT kToolIcons[] = {IDI_TOOL_OPEN_VOLUMES, IDI_TOOL_FILTERS,     IDI_TOOL_ANALYZE,    IDI_TOOL_SYNCHRONIZE,
                           IDI_TOOL_HELP,         IDI_TOOL_SINGLE_VIEW, IDI_TOOL_DOUBLE_VIEW};

TBBUTTON Button(int image, int command) {
    TBBUTTON button = {};
    button.iBitmap = image;
    button.idCommand = command;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_BUTTON;
    button.iString = -1;
    return button;
}

TBBUTTON Separator(int width) {
    TBBUTTON button = {};
    button.iBitmap = width;
    button.fsStyle = BTNS_SEP;
    button.iString = -1;
    return button;
}

}  // namespace

BEGIN_MESSAGE_MAP(CQuillmarDlg, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_COMMAND(IDOK, OnEnterPressed)
    ON_COMMAND(IDCANCEL, OnCancelCommand)
    ON_WM_CLOSE()
    ON_COMMAND(ID_FILE_EXIT, OnExit)
    ON_COMMAND(ID_HELP_ABOUT, OnAbout)
    ON_WM_SIZE()
    ON_WM_SHOWWINDOW()
    ON_NOTIFY(TCN_SELCHANGE, IDC_TAB, OnTabSelectionChanged)
    // One handler for both panes; it takes the pane from the control's id.
    ON_NOTIFY_RANGE(TVN_ITEMEXPANDINGW, IDC_TREE1, IDC_TREE1, OnTreeExpanding)
    ON_NOTIFY_RANGE(TVN_ITEMEXPANDINGW, IDC_TREE2, IDC_TREE2, OnTreeExpanding)
    ON_NOTIFY_RANGE(TVN_SELCHANGEDW, IDC_TREE1, IDC_TREE1, OnTreeSelectionChanged)
    ON_NOTIFY_RANGE(TVN_SELCHANGEDW, IDC_TREE2, IDC_TREE2, OnTreeSelectionChanged)
    ON_NOTIFY_RANGE(NM_DBLCLK, IDC_LIST1, IDC_LIST1, OnListDoubleClick)
    ON_NOTIFY_RANGE(NM_DBLCLK, IDC_LIST2, IDC_LIST2, OnListDoubleClick)
    ON_NOTIFY(NM_RCLICK, IDC_TAB, OnTabRightClick)
    ON_COMMAND(ID_FILE_OPENLOGICALVOLUMES, OnOpenLogicalVolumes)
    ON_COMMAND(ID_VIEW_REFRESH, OnRefresh)
    ON_COMMAND(ID_SYNCHRONIZER_ANALYZE, OnAnalyzeDifferences)
    ON_COMMAND(ID_VIEW_FILTERS, OnFilters)
    ON_COMMAND(ID_SYNCHRONIZER_SYNCHRONIZE, OnSynchronize)
    ON_COMMAND(ID_HELP_HELP, OnHelpPage)
    // Every tooltip request, whether it names a command or a window; the
    // handler reads the identifier and declines 0.
    ON_NOTIFY_EX_RANGE(TTN_NEEDTEXTW, 0, 0xFFFFFFFF, OnToolTipText)
    // The trees and lists of both panes: 1001 to 1004.
    ON_NOTIFY_RANGE(NM_SETFOCUS, IDC_TREE1, IDC_LIST2, OnPaneControlFocus)
    ON_CONTROL_RANGE(EN_SETFOCUS, IDC_PATH1, IDC_PATH2, OnPathFocus)
    ON_COMMAND(ID_VIEW_SINGLEVIEW, OnSingleView)
    ON_COMMAND(ID_VIEW_DOUBLEVIEW, OnDoubleView)
END_MESSAGE_MAP()

CQuillmarDlg::CQuillmarDlg()
    : CDialog(IDD_QUILLMAR_DIALOG),
      m_hIcon(LoadIconW(AfxGetResourceHandle(), MAKEINTRESOURCEW(IDI_APP))),
      m_toolButtons{Button(0, ID_FILE_OPENLOGICALVOLUMES),
                    Separator(3),
                    Button(1, ID_VIEW_FILTERS),
                    Button(5, ID_VIEW_SINGLEVIEW),
                    Separator(3),
                    Button(2, ID_SYNCHRONIZER_ANALYZE),
                    Button(3, ID_SYNCHRONIZER_SYNCHRONIZE),
                    Separator(3),
                    Button(4, ID_HELP_HELP)},
      m_filterMask(kShowAllStates),
      m_singleView(0) {
    CImageList* toolLists[] = {&m_toolImages, &m_toolHotImages, &m_toolDisabledImages};
    for (CImageList* images : toolLists) {
        if (!images->Create(kToolImageSize, kToolImageSize, ILC_COLOR32, 0, 7)) continue;
        for (UINT icon : kToolIcons) images->AddIconResource(AfxGetResourceHandle(), icon, kToolImageSize);
    }
}

// The trees belong to the analysis record; the dialog never frees them.
CQuillmarDlg::~CQuillmarDlg() = default;

void CQuillmarDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_TAB, m_tab);
    DDX_Control(exchange, IDC_TREE1, m_panes[0].tree);
    DDX_Control(exchange, IDC_TREE2, m_panes[1].tree);
    DDX_Control(exchange, IDC_LIST1, m_panes[0].list);
    DDX_Control(exchange, IDC_LIST2, m_panes[1].list);
    DDX_Control(exchange, IDC_PATH1, m_panes[0].pathEdit);
    DDX_Control(exchange, IDC_PATH2, m_panes[1].pathEdit);
}

BOOL CQuillmarDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    CreateToolBar();
    MakeRoomForToolBar();
    CenterWindow();
    CreateItemImages();
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_panes[pane].tree.SetImageList(&m_itemImages, TVSIL_NORMAL);
        // A list destroys the image lists it holds unless they are shared; this
        // one belongs to the dialog and serves all four pane controls.
        m_panes[pane].list.ModifyStyle(0, LVS_SHAREIMAGELISTS);
        m_panes[pane].list.SetImageList(&m_itemImages, LVSIL_SMALL);
    }
    m_tab.InsertItem(0, L"");
    m_tab.InsertItem(1, L"");
    for (int pane = 0; pane < kPaneCount; ++pane) InsertListColumns(pane);
    SetViewMode(ViewMode::Double);
    LayoutControls();
    ResetPanes();
    if (HMENU menu = GetMenu()) CheckMenuItem(menu, ID_VIEW_DOUBLEVIEW, MF_BYCOMMAND | MF_CHECKED);
    m_filterMask = kShowAllStates;
    for (int pane = 0; pane < kPaneCount; ++pane) {
        m_panes[pane].mode = PaneMode::LogicalVolumes;
        m_panes[pane].path.clear();
    }
    for (int pane = 0; pane < kPaneCount; ++pane) UpdatePaneCaption(pane);
    for (int pane = 0; pane < kPaneCount; ++pane) ShowVolumes(pane);
    m_tab.SetFocus();
    return FALSE;
}

void CQuillmarDlg::CreateToolBar() {
    RECT noBorders = {0, 0, 0, 0};
    if (!m_toolBar.CreateEx(this, TBSTYLE_FLAT | TBSTYLE_TRANSPARENT, WS_CHILD | WS_VISIBLE | CCS_TOP | TBSTYLE_TOOLTIPS,
                            noBorders, AFX_IDW_TOOLBAR)) {
        return;  // the dialog runs without a toolbar
    }
    m_toolBar.SetBitmapSize(SIZE{kToolImageSize, kToolImageSize});
    m_toolBar.SetButtonSize(SIZE{kToolButtonSize, kToolButtonSize});
    m_toolBar.SetImageList(&m_toolImages);
    m_toolBar.SetHotImageList(&m_toolHotImages);
    m_toolBar.SetDisabledImageList(&m_toolDisabledImages);
    m_toolBar.AddButtons(kToolButtonCount, m_toolButtons);
    m_toolBar.AutoSize();
}

void CQuillmarDlg::MakeRoomForToolBar() {
    RECT client;
    GetClientRect(&client);
    RECT leftOver;
    RepositionBars(AFX_IDW_CONTROLBAR_FIRST, AFX_IDW_CONTROLBAR_LAST, true, &leftOver);
    int dx = leftOver.left - client.left;
    int dy = leftOver.top - client.top;
    for (HWND child = GetWindow(m_hWnd, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT rect;
        ::GetWindowRect(child, &rect);
        MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&rect), 2);
        ::MoveWindow(child, rect.left + dx, rect.top + dy, rect.right - rect.left, rect.bottom - rect.top, FALSE);
    }
    RECT window;
    GetWindowRect(&window);
    int growX = (client.right - client.left) - (leftOver.right - leftOver.left);
    int growY = (client.bottom - client.top) - (leftOver.bottom - leftOver.top);
    ::MoveWindow(m_hWnd, window.left, window.top, window.right - window.left + growX, window.bottom - window.top + growY,
                 FALSE);
    RepositionBars(AFX_IDW_CONTROLBAR_FIRST, AFX_IDW_CONTROLBAR_LAST, false, nullptr);
}

void CQuillmarDlg::CreateItemImages() {
    if (!m_itemImages.Create(kItemImageSize, kItemImageSize, ILC_COLOR32 | ILC_MASK, 0, 14)) return;
    for (UINT icon = IDI_MISSING_FILE; icon <= IDI_DRIVE_OTHER; ++icon) {
        m_itemImages.AddIconResource(AfxGetResourceHandle(), icon, kItemImageSize);
    }
}

void CQuillmarDlg::OnPaint() {
    if (!IsIconic()) {
        SetMsgHandled(false);
        return;
    }
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(&client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, m_hIcon);
    EndPaint(m_hWnd, &paint);
}

HCURSOR CQuillmarDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

// Enter never closes the main window.
void CQuillmarDlg::OnEnterPressed() {}

void CQuillmarDlg::OnCancelCommand() {
    ReleaseBackgroundRecordIfValid();
    CDialog::OnCancel();
}

// The default processing turns the close box into IDCANCEL, which finds the
// record already released.
void CQuillmarDlg::OnClose() {
    ReleaseBackgroundRecordIfValid();
    SetMsgHandled(false);
}

void CQuillmarDlg::OnExit() {
    ReleaseBackgroundRecordIfValid();
    EndDialog(IDCANCEL);
}

void CQuillmarDlg::OnAbout() { RunAboutDialog(); }

void CQuillmarDlg::OnSize(UINT, int, int) {
    LayoutControls();
    SetMsgHandled(false);
}

void CQuillmarDlg::OnShowWindow(BOOL, UINT) { SetMsgHandled(false); }

void CQuillmarDlg::OnTreeExpanding(UINT id, NMHDR* header, LRESULT* result) {
    ExpandFolder(PaneOfControl(id), reinterpret_cast<NMTREEVIEWW*>(header));
    *result = 0;
}

void CQuillmarDlg::OnTreeSelectionChanged(UINT id, NMHDR*, LRESULT* result) {
    FillList(PaneOfControl(id));
    *result = 0;
}

void CQuillmarDlg::OnListDoubleClick(UINT id, NMHDR*, LRESULT* result) {
    OpenListItem(PaneOfControl(id));
    *result = 0;
}

void CQuillmarDlg::OnTabRightClick(NMHDR*, LRESULT* result) { *result = 0; }

void CQuillmarDlg::OnOpenLogicalVolumes() { OpenLogicalVolumes(); }

void CQuillmarDlg::OnRefresh() {
    int pane = ActivePane();
    if (pane == 0 || pane == 1) RefreshPane(pane);
}

void CQuillmarDlg::OnAnalyzeDifferences() {
    if (m_panes[0].path.empty() || m_panes[1].path.empty() || m_panes[0].mode == PaneMode::AnalyzedLocation ||
        m_panes[1].mode == PaneMode::AnalyzedLocation) {
        MessageBox(kSelectTwoLocations, L"Information", MB_ICONINFORMATION);
        return;
    }
    // A synchronization between them would copy a location into itself or delete its own root.
    if (LocationsOverlap(m_panes[0].path.c_str(), m_panes[1].path.c_str())) {
        MessageBox(kLocationsOverlap, L"Information", MB_ICONINFORMATION);
        return;
    }
    RunAnalyzeDialog();
}

void CQuillmarDlg::OnFilters() {
    if (RunFiltersDialog() != IDOK) return;
    RefreshPane(0);
    RefreshPane(1);
}

void CQuillmarDlg::OnSynchronize() {
    if (m_panes[0].mode != PaneMode::AnalyzedLocation) {
        MessageBox(kAnalyzeNotPerformed, L"Information", MB_ICONINFORMATION);
        return;
    }
    RunSynchronizeDialog();
}

// Help opens the user guide beside the program; the help page on the web only when
// the guide is not there.
void CQuillmarDlg::OnHelpPage() {
    wchar_t guide[MAX_PATH];
    bool besideProgram = LogPathBesideProgram(kUserGuide, guide);
    DWORD attributes = besideProgram ? GetFileAttributesW(guide) : INVALID_FILE_ATTRIBUTES;
    bool present = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    ShellOpen(m_hWnd, present ? guide : kHelpPage);
}
