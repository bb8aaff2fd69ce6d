#include "sync/ui/synchronize_dlg.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>

#include "analysis/background_ops.h"
#include "framework/message_box.h"
#include "framework/win_app.h"
#include "model/location_paths.h"
#include "model/memory.h"
#include "model/state_images.h"
#include "res/resource.h"
#include "sync/ui/list_order.h"

namespace {

const int kImageSize = 16;
const int kNameColumnWidth = 400;
const int kStateColumnWidth = 80;

// The listed states in the order of the dialog's counts and boxes, and the ids of their boxes.
const DiffState kListedStates[kListedStateCount] = {DiffNew, DiffModified, DiffMissing};
const int kStateBoxIds[kListedStateCount] = {IDC_SYNC_SHOW_NEW, IDC_SYNC_SHOW_MODIFIED, IDC_SYNC_SHOW_MISSING};

// The place of a listed state in the counts and boxes; -1 for any other state.
int ListedStateIndex(DiffState state) {
    for (int index = 0; index < kListedStateCount; ++index) {
        if (kListedStates[index] == state) return index;
    }
    return -1;
}

}  // namespace

BEGIN_MESSAGE_MAP(CSynchronizeDlg, CDialog)
    ON_BN_CLICKED(IDC_SYNC_COMMIT, OnDirection)
    ON_BN_CLICKED(IDC_SYNC_UPDATE, OnDirection)
    ON_BN_CLICKED(IDC_SYNC_START, OnStart)
    ON_BN_CLICKED(IDC_SYNC_SHOW_NEW, OnNewBox)
    ON_BN_CLICKED(IDC_SYNC_SHOW_MODIFIED, OnModifiedBox)
    ON_BN_CLICKED(IDC_SYNC_SHOW_MISSING, OnMissingBox)
    ON_NOTIFY(LVN_ITEMCHANGING, IDC_SYNC_ITEM_LIST, OnItemChanging)
    ON_NOTIFY(LVN_ITEMCHANGED, IDC_SYNC_ITEM_LIST, OnItemChanged)
    ON_MESSAGE(WM_SYNCHRONIZE_DONE, OnSynchronizeDone)
    ON_MESSAGE(WM_SYNC_LIST_BUILT, OnListBuilt)
END_MESSAGE_MAP()

CSynchronizeDlg::CSynchronizeDlg(SynchronizeDlgOwner* owner)
    : CDialog(IDD_SYNCHRONIZE), m_currentLocation(0), m_owner(owner) {
    m_currentRoot[0] = L'\0';
    m_otherRoot[0] = L'\0';
    if (m_images.Create(kImageSize, kImageSize, ILC_COLOR32 | ILC_MASK, 0, 8)) {
        for (UINT icon = IDI_MISSING_FILE; icon <= IDI_IDENTICAL_FOLDER; ++icon) {
            m_images.AddIconResource(AfxGetResourceHandle(), icon, 0);
        }
    }
}

CSynchronizeDlg::~CSynchronizeDlg() {
    // The window has gone; a thread still running is past its last message to
    // it and may still write a member, so the object waits for it.
    JoinThread(&m_builder);
    JoinThread(&m_worker);
    FreeSyncItemList(m_build.items);
}

void CSynchronizeDlg::DoDataExchange(CDataExchange* exchange) {
    CDialog::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_SYNC_VOLUME_KIND, m_volumeKind);
    DDX_Control(exchange, IDC_SYNC_DRIVE, m_drive);
    DDX_Control(exchange, IDC_SYNC_PLEASE_WAIT, m_pleaseWait);
    DDX_Control(exchange, IDC_SYNC_COMMIT, m_commit);
    DDX_Control(exchange, IDC_SYNC_UPDATE, m_update);
    DDX_Control(exchange, IDC_SYNC_START, m_start);
    DDX_Control(exchange, IDCANCEL, m_close);
    for (int index = 0; index < kListedStateCount; ++index) {
        DDX_Control(exchange, kStateBoxIds[index], m_stateBoxes[index]);
    }
    DDX_Control(exchange, IDC_SYNC_PATH, m_path);
    DDX_Control(exchange, IDC_SYNC_ITEM_LIST, m_list);
}

BOOL CSynchronizeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    if (!BackgroundOpsIsValid(&g_backgroundOps)) {
        MessageBox(kSyncInvalidRecord, L"Information", MB_ICONINFORMATION);
        EndDialog(3);
        return TRUE;
    }
    m_currentLocation = m_currentLocation == 0 ? 0 : 1;
    lstrcpynW(m_currentRoot, g_backgroundOps.slots[m_currentLocation].rootPath, kPathUnits);
    lstrcpynW(m_otherRoot, g_backgroundOps.slots[1 - m_currentLocation].rootPath, kPathUnits);
    if (m_treePath.empty()) m_treePath = kRootTreePath;

    std::wstring shown = m_currentRoot;
    size_t firstBackslash = m_treePath.find(L'\\');
    if (firstBackslash != std::wstring::npos) shown += m_treePath.substr(firstBackslash + 1);
    m_path.SetWindowText(shown.c_str());
    m_drive.SetWindowText(shown.substr(0, 2).c_str());

    // Before any item exists: turning check boxes on later would reset the items' checks.
    m_list.SetExtendedStyle(LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    m_list.InsertColumn(0, L"File Name", LVCFMT_LEFT, kNameColumnWidth);
    m_list.InsertColumn(1, L"State", LVCFMT_LEFT, kStateColumnWidth);
    m_list.ModifyStyle(0, LVS_SHAREIMAGELISTS);  // the image list is the dialog's to destroy
    m_list.SetImageList(&m_images, LVSIL_SMALL);

    m_list.ShowWindow(SW_HIDE);
    m_pleaseWait.ShowWindow(SW_SHOW);
    for (CButton& box : m_stateBoxes) box.SetCheck(BST_CHECKED);
    EnableChoosing(FALSE);
    m_start.EnableWindow(FALSE);

    m_listReady = false;
    for (StateCount& count : m_counts) count = {};
    m_build.window = m_hWnd;
    m_build.currentTree = g_backgroundOps.slots[m_currentLocation].tree;
    m_build.otherTree = g_backgroundOps.slots[1 - m_currentLocation].tree;
    m_build.treePath = m_treePath;
    m_build.currentRoot = m_currentRoot;
    m_builder = StartCoreThread(BuildSyncItemList, &m_build);
    if (!m_builder.IsValid()) {
        MessageBox(kSyncThreadFailed, L"Error", MB_ICONERROR);
        m_close.EnableWindow(TRUE);
    }
    return TRUE;
}

// Commit, Update, the three state boxes and Close. Close comes last: once it is
// enabled, the builder sends nothing more to the window, so that closing is safe.
void CSynchronizeDlg::EnableChoosing(BOOL enable) {
    for (CButton* control : {&m_commit, &m_update, &m_stateBoxes[0], &m_stateBoxes[1], &m_stateBoxes[2], &m_close}) {
        control->EnableWindow(enable);
    }
}

// On the builder's thread: touches only its record, which the dialog reads once
// the message has arrived.
DWORD WINAPI CSynchronizeDlg::BuildSyncItemList(void* record) {
    auto* build = static_cast<ListBuild*>(record);
    FileNode* folder = FindNodeByPath(build->currentTree, build->treePath.c_str());
    build->result = folder == nullptr ? ERROR_PATH_NOT_FOUND
                                      : ListSyncItems(folder, build->currentRoot, build->otherTree, &build->items);
    const DWORD exitCode = build->result == ERROR_SUCCESS ? 0 : 1;
    ::PostMessageW(build->window, WM_SYNC_LIST_BUILT, 0, 0);
    return exitCode;
}

LRESULT CSynchronizeDlg::OnListBuilt(WPARAM, LPARAM) {
    if (m_build.result != ERROR_SUCCESS) {
        MessageBox(m_build.result == ERROR_NOT_ENOUGH_MEMORY ? kSyncNoMemory : kSyncNoListEngine, L"Error",
                   MB_ICONERROR);
        // The list stays hidden; only leaving is offered.
        m_close.EnableWindow(TRUE);
        return 0;
    }
    m_pleaseWait.ShowWindow(SW_HIDE);
    m_list.ShowWindow(SW_SHOW);
    {
        // Even hidden, the list would work out its scroll bars for every row it takes.
        CRedrawSuspension quiet(m_list);
        FillItemList();
    }
    EnableChoosing(TRUE);
    m_listReady = true;
    return 0;
}

// Each row's item data is the index of its record in the builder's list. The list keeps
// its rows sorted by text, and placing each row as it arrives makes filling it
// quadratic: the rows go in already in that order, at the end, with the list's
// sorting switched off meanwhile.
void CSynchronizeDlg::FillItemList() {
    m_listReady = false;
    const SyncItemList* items = m_build.items;
    if (items == nullptr) return;
    m_list.SetItemCount(static_cast<int>(items->count));
    // Without memory for the order the list places the rows itself, as slowly as ever.
    MemBlock<uint32_t> order;
    if (m_list.GetStyle() & LVS_SORTASCENDING) order.Reset(RecordsInListOrder(items));
    if (order.Get() != nullptr) m_list.ModifyStyle(LVS_SORTASCENDING, 0);
    for (uint32_t position = 0; position < items->count; ++position)
        AddItemRow(order.Get() != nullptr ? order.Get()[position] : position);
    if (order.Get() != nullptr) m_list.ModifyStyle(0, LVS_SORTASCENDING);
    for (StateCount& count : m_counts) count.checked = count.total;
}

void CSynchronizeDlg::AddItemRow(uint32_t index) {
    const SyncItem& record = m_build.items->items[index];
    const int stateIndex = ListedStateIndex(record.state);
    if (stateIndex < 0) return;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
    item.iItem = INT_MAX;
    item.pszText = record.path;
    item.lParam = static_cast<LPARAM>(index);
    item.iImage = StateImage(record.isFolder ? FILE_ATTRIBUTE_DIRECTORY : 0, record.state);
    int row = m_list.InsertItem(&item);
    if (row < 0) return;
    m_list.SetCheck(row, TRUE);
    m_list.SetItemText(row, 1, SyncStateText(record.state));
    ++m_counts[stateIndex].total;
}

int64_t CSynchronizeDlg::RecordIndexOf(int row) const {
    const DWORD_PTR index = m_list.GetItemData(row);
    if (m_build.items == nullptr || index >= m_build.items->count) return -1;
    return static_cast<int64_t>(index);
}

const SyncItem* CSynchronizeDlg::RecordOf(int row) const {
    const int64_t index = RecordIndexOf(row);
    return index < 0 ? nullptr : &m_build.items->items[index];
}

CSynchronizeDlg::StateCount CSynchronizeDlg::CountOf(DiffState state) const {
    const int index = ListedStateIndex(state);
    return index < 0 ? StateCount() : m_counts[index];
}

void CSynchronizeDlg::OnCancel() {
    // A run ends the dialog itself, through WM_SYNCHRONIZE_DONE.
    if (m_worker.IsValid()) return;
    // Close stays disabled until the list is built; the object waits for the builder when it goes.
    if (!IsWindowEnabled(m_close.m_hWnd)) return;
    EndDialog(IDCANCEL);
}

void CSynchronizeDlg::OnDirection() { m_start.EnableWindow(TRUE); }

void CSynchronizeDlg::OnNewBox() { OnStateBox(DiffNew); }
void CSynchronizeDlg::OnModifiedBox() { OnStateBox(DiffModified); }
void CSynchronizeDlg::OnMissingBox() { OnStateBox(DiffMissing); }

// The box has cycled its own state; indeterminate is not a choice the user can make.
void CSynchronizeDlg::OnStateBox(DiffState state) {
    CButton& box = m_stateBoxes[ListedStateIndex(state)];
    int boxState = box.GetCheck();
    if (boxState == BST_INDETERMINATE) {
        box.SetCheck(BST_UNCHECKED);
        boxState = BST_UNCHECKED;
    }
    SetStateChecks(state, boxState);
}

void CSynchronizeDlg::SetStateChecks(DiffState state, int boxState) {
    const int stateIndex = ListedStateIndex(state);
    if (boxState == BST_INDETERMINATE || stateIndex < 0) return;
    StateCount& count = m_counts[stateIndex];
    m_listReady = false;
    const bool check = boxState == BST_CHECKED;
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        const SyncItem* record = RecordOf(row);
        // Only rows that change: the list raises a change for every row it is told to set.
        if (record != nullptr && record->state == state && (m_list.GetCheck(row) != FALSE) != check)
            m_list.SetCheck(row, check);
    }
    count.checked = boxState == BST_CHECKED ? count.total : 0;
    m_listReady = true;
}

void CSynchronizeDlg::OnItemChanging(NMHDR* header, LRESULT* result) {
    *result = 0;  // every change is allowed
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(header);
    if (!m_listReady || change->iItem < 0 || (change->uChanged & LVIF_STATE) == 0) return;
    UINT newImage = (change->uNewState & LVIS_STATEIMAGEMASK) >> 12;
    if (newImage != 1 && newImage != 2) return;
    // Selection and focus changes carry the item's check image unchanged: only a different check is a toggle.
    bool checkedBefore = m_list.GetCheck(change->iItem) != FALSE;
    if (checkedBefore == (newImage == 2)) return;
    const SyncItem* record = RecordOf(change->iItem);
    const int stateIndex = record == nullptr ? -1 : ListedStateIndex(record->state);
    if (stateIndex < 0) return;
    StateCount& count = m_counts[stateIndex];
    count.checked += checkedBefore ? -1 : 1;
    if (count.checked < 0) count.checked = 0;
    if (count.checked > count.total) count.checked = count.total;
    const bool all = count.checked == count.total;
    m_stateBoxes[stateIndex].SetCheck(count.checked == 0 ? BST_UNCHECKED : all ? BST_CHECKED : BST_INDETERMINATE);
}

void CSynchronizeDlg::OnItemChanged(NMHDR*, LRESULT* result) { *result = 0; }

void CSynchronizeDlg::OnStart() {
    if (m_worker.IsValid() || !m_listReady) return;
    const auto noneChecked = [](const StateCount& count) { return count.checked == 0; };
    if (std::all_of(std::begin(m_counts), std::end(m_counts), noneChecked)) {
        MessageBox(kSyncNothingChecked, L"Information", MB_ICONINFORMATION);
        return;
    }
    // The worker's input: the records, with the check boxes as the user left them.
    SyncItemList* items = m_build.items;
    for (uint32_t index = 0; items != nullptr && index < items->count; ++index) items->items[index].checked = false;
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        const int64_t index = RecordIndexOf(row);
        if (index >= 0) items->items[index].checked = m_list.GetCheck(row) != FALSE;
    }
    // Start holds the focus and every button goes dark for the run: the path, read only, takes it first.
    GotoDlgCtrl(m_path);
    EnableChoosing(FALSE);
    m_start.EnableWindow(FALSE);
    m_list.EnableWindow(FALSE);
    if (m_owner != nullptr) m_owner->ShowVolumesForSynchronize();

    m_request = {};
    m_request.direction = m_update.GetCheck() == BST_CHECKED ? SyncUpdate : SyncCommit;
    m_request.items = items;
    m_request.currentRoot = m_currentRoot;
    m_request.otherRoot = m_otherRoot;
    m_request.window = m_hWnd;
    m_request.notice = ShowNotice;
    m_request.noticeContext = m_hWnd;
    m_worker = StartCoreThread(RunSynchronizeWorker, &m_request);
    if (!m_worker.IsValid()) {
        // Nothing was touched; the panes no longer show the analysis, so there is nothing to go back to.
        MessageBox(kSyncThreadFailed, L"Error", MB_ICONERROR);
        EndDialog(IDCANCEL);
    }
}

// On the worker's thread: the boxes belong to the dialog's window, which stays open until the worker ends.
void CSynchronizeDlg::ShowNotice(void* window, SyncNoticeKind kind, const wchar_t* text) {
    UINT icon = kind == SyncNoticeError ? MB_ICONERROR : kind == SyncNoticeWarning ? MB_ICONWARNING : MB_ICONINFORMATION;
    ShowMessageBox(static_cast<HWND>(window), text, SyncNoticeCaption(kind), MB_OK | icon);
}

// On the worker's thread: reads its request, never the dialog.
DWORD WINAPI CSynchronizeDlg::RunSynchronizeWorker(void* request) {
    return RunSynchronization(static_cast<SyncRequest*>(request));
}

LRESULT CSynchronizeDlg::OnSynchronizeDone(WPARAM, LPARAM) {
    EndDialog(kSynchronizeRan);
    return 0;
}
