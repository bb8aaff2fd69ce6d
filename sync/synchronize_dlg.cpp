#include "sync/synchronize_dlg.h"

#include <commctrl.h>

#include "analysis/background_ops.h"
#include "analysis/state_walk.h"
#include "app/quillmar_dlg.h"
#include "framework/thread.h"
#include "framework/win_app.h"
#include "model/memory.h"
#include "res/resource.h"

namespace {

const int kImageSize = 16;
const int kNameColumnWidth = 400;
const int kStateColumnWidth = 80;

// Adds the icon `id` at the system's icon size; a missing icon leaves a blank
// image so that the indices of the icons after it stay the same.
void AddIcon(CImageList& images, UINT id) {
    HICON icon = static_cast<HICON>(
        LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(id), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));
    int count = images.GetImageCount();
    if (icon == nullptr || images.Add(icon) < 0) images.SetImageCount(static_cast<UINT>(count + 1));
    if (icon != nullptr) DestroyIcon(icon);
}

// The item's image: missing, modified, new file at 0 to 2, missing and new folder at 4 and 6; -1 for none.
int StateImage(bool folder, DiffState state) {
    switch (state) {
    case DiffMissing:
        return folder ? 4 : 0;
    case DiffModified:
        return folder ? -1 : 1;
    case DiffNew:
        return folder ? 6 : 2;
    default:
        return -1;
    }
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
END_MESSAGE_MAP()

CSynchronizeDlg::CSynchronizeDlg()
    : CDialog(IDD_SYNCHRONIZE),
      m_listReady(false),
      m_currentLocation(0),
      m_totalNew(0),
      m_totalModified(0),
      m_totalMissing(0),
      m_checkedNew(0),
      m_checkedModified(0),
      m_checkedMissing(0),
      m_mainDlg(static_cast<CQuillmarDlg*>(AfxGetMainWnd())) {
    m_currentRoot[0] = L'\0';
    m_otherRoot[0] = L'\0';
    if (m_images.Create(kImageSize, kImageSize, ILC_COLOR32 | ILC_MASK, 0, 8)) {
        for (UINT icon = IDI_MISSING_FILE; icon <= IDI_IDENTICAL_FOLDER; ++icon) AddIcon(m_images, icon);
    }
}

CSynchronizeDlg::~CSynchronizeDlg() {
    // The window has gone; a thread still running is past its last message to
    // it and may still write a member, so the object waits for it.
    for (HANDLE thread : {m_builder, m_worker}) {
        if (thread == nullptr) continue;
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    FreeSyncItemList(m_items);
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
    DDX_Control(exchange, IDC_SYNC_SHOW_NEW, m_showNew);
    DDX_Control(exchange, IDC_SYNC_SHOW_MODIFIED, m_showModified);
    DDX_Control(exchange, IDC_SYNC_SHOW_MISSING, m_showMissing);
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
    int activePane = m_mainDlg != nullptr ? m_mainDlg->ActivePane() : -1;
    m_currentLocation = activePane == 0 ? 0 : 1;
    m_treePath = m_mainDlg != nullptr ? m_mainDlg->m_path[m_currentLocation] : std::wstring();
    lstrcpynW(m_currentRoot, g_backgroundOps.slots[m_currentLocation].rootPath, kPathUnits);
    lstrcpynW(m_otherRoot, g_backgroundOps.slots[1 - m_currentLocation].rootPath, kPathUnits);
    if (m_treePath.empty()) m_treePath = L"Root\\";

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
    for (CButton* box : {&m_showNew, &m_showModified, &m_showMissing}) box->SetCheck(BST_CHECKED);
    EnableChoosing(FALSE);
    m_start.EnableWindow(FALSE);

    m_listReady = false;
    m_totalNew = m_totalModified = m_totalMissing = 0;
    m_checkedNew = m_checkedModified = m_checkedMissing = 0;
    m_builder = StartThread(BuildSyncItemList, this);
    if (m_builder == nullptr) {
        MessageBox(kSyncThreadFailed, L"Error", MB_ICONERROR);
        m_close.EnableWindow(TRUE);
    }
    return TRUE;
}

// Commit, Update, the three state boxes and Close. Close comes last: once it is
// enabled, the builder sends nothing more to the window, so that closing is safe.
void CSynchronizeDlg::EnableChoosing(BOOL enable) {
    for (CButton* control : {&m_commit, &m_update, &m_showNew, &m_showModified, &m_showMissing, &m_close}) {
        control->EnableWindow(enable);
    }
}

UINT CSynchronizeDlg::BuildSyncItemList(void* dialog) { return static_cast<CSynchronizeDlg*>(dialog)->FillItemList(); }

DWORD CSynchronizeDlg::FillItemList() {
    FileNode* folder = FindNodeByPath(g_backgroundOps.slots[m_currentLocation].tree, m_treePath.c_str());
    auto* walk = static_cast<StateWalk*>(MemAllocZero(sizeof(StateWalk)));
    auto* path = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
    DWORD result = ERROR_SUCCESS;
    if (folder == nullptr) {
        result = ERROR_PATH_NOT_FOUND;
    } else if (walk == nullptr || path == nullptr) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        walk->mask = kSyncListMask;
        walk->folder = folder;
        walk->next = folder->firstChild;
        lstrcpynW(walk->basePath, m_currentRoot, kPathUnits);
        for (;;) {
            DWORD attributes = 0;
            DiffState state = DiffIdentical;
            FileNode* node = nullptr;
            DWORD step = StateWalkNext(walk, &attributes, &state, path, &node);
            if (step == ERROR_FILENAME_EXCED_RANGE) continue;  // no item can hold it
            if (step != ERROR_SUCCESS) {
                if (step != ERROR_NO_MORE_FILES) result = step;
                break;
            }
            int32_t* total = nullptr;
            int32_t* checked = nullptr;
            CButton* box = nullptr;
            int image = StateImage(IsFolderAttributes(attributes), state);
            if (image < 0 || !StateCounts(state, &total, &checked, &box)) continue;
            LVITEMW item = {};
            item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_IMAGE;
            item.iItem = INT_MAX;
            item.pszText = path;
            item.lParam = reinterpret_cast<LPARAM>(node);
            item.iImage = image;
            int index = m_list.InsertItem(&item);
            if (index < 0) continue;
            m_list.SetCheck(index, TRUE);
            m_list.SetItemText(index, 1, SyncStateText(state));
            ++*total;
        }
        StateWalkClear(walk);
    }
    MemFree(path);
    MemFree(walk);
    if (result != ERROR_SUCCESS) {
        MessageBox(result == ERROR_NOT_ENOUGH_MEMORY ? kSyncNoMemory : kSyncNoListEngine, L"Error", MB_ICONERROR);
        // The list stays hidden; only leaving is offered.
        m_close.EnableWindow(TRUE);
        return 1;
    }
    m_checkedNew = m_totalNew;
    m_checkedModified = m_totalModified;
    m_checkedMissing = m_totalMissing;
    m_pleaseWait.ShowWindow(SW_HIDE);
    m_list.ShowWindow(SW_SHOW);
    EnableChoosing(TRUE);
    m_listReady = true;  // the last write to the dialog
    return 0;
}

bool CSynchronizeDlg::StateCounts(DiffState state, int32_t** total, int32_t** checked, CButton** box) {
    switch (state) {
    case DiffNew:
        *total = &m_totalNew;
        *checked = &m_checkedNew;
        *box = &m_showNew;
        return true;
    case DiffModified:
        *total = &m_totalModified;
        *checked = &m_checkedModified;
        *box = &m_showModified;
        return true;
    case DiffMissing:
        *total = &m_totalMissing;
        *checked = &m_checkedMissing;
        *box = &m_showMissing;
        return true;
    default:
        return false;
    }
}

void CSynchronizeDlg::OnCancel() {
    // A run ends the dialog itself, through WM_SYNCHRONIZE_DONE.
    if (m_worker != nullptr) return;
    // The builder enables Close just before its last write, which goes to the
    // object, not the window; the object waits for the thread when it goes.
    if (m_builder != nullptr && WaitForSingleObject(m_builder, 0) == WAIT_TIMEOUT && !IsWindowEnabled(m_close.m_hWnd)) {
        return;
    }
    EndDialog(IDCANCEL);
}

void CSynchronizeDlg::OnDirection() { m_start.EnableWindow(TRUE); }

void CSynchronizeDlg::OnNewBox() { OnStateBox(DiffNew, m_showNew); }
void CSynchronizeDlg::OnModifiedBox() { OnStateBox(DiffModified, m_showModified); }
void CSynchronizeDlg::OnMissingBox() { OnStateBox(DiffMissing, m_showMissing); }

// The box has cycled its own state; indeterminate is not a choice the user can make.
void CSynchronizeDlg::OnStateBox(DiffState state, CButton& box) {
    int boxState = box.GetCheck();
    if (boxState == BST_INDETERMINATE) {
        box.SetCheck(BST_UNCHECKED);
        boxState = BST_UNCHECKED;
    }
    SetStateChecks(state, boxState);
}

void CSynchronizeDlg::SetStateChecks(DiffState state, int boxState) {
    int32_t* total = nullptr;
    int32_t* checked = nullptr;
    CButton* box = nullptr;
    if (boxState == BST_INDETERMINATE || !StateCounts(state, &total, &checked, &box)) return;
    m_listReady = false;
    const wchar_t* word = SyncStateText(state);
    for (int index = 0; index < m_list.GetItemCount(); ++index) {
        if (m_list.GetItemText(index, 1) == word) m_list.SetCheck(index, boxState == BST_CHECKED);
    }
    *checked = boxState == BST_CHECKED ? *total : 0;
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
    int32_t* total = nullptr;
    int32_t* checked = nullptr;
    CButton* box = nullptr;
    if (!StateCounts(SyncStateFromText(m_list.GetItemText(change->iItem, 1).c_str()), &total, &checked, &box)) return;
    *checked += checkedBefore ? -1 : 1;
    if (*checked < 0) *checked = 0;
    if (*checked > *total) *checked = *total;
    box->SetCheck(*checked == 0 ? BST_UNCHECKED : *checked == *total ? BST_CHECKED : BST_INDETERMINATE);
}

void CSynchronizeDlg::OnItemChanged(NMHDR*, LRESULT* result) { *result = 0; }

void CSynchronizeDlg::OnStart() {
    if (m_worker != nullptr || !m_listReady) return;
    if (m_checkedNew == 0 && m_checkedModified == 0 && m_checkedMissing == 0) {
        MessageBox(kSyncNothingChecked, L"Information", MB_ICONINFORMATION);
        return;
    }
    // The worker's input, taken before anything changes so that a shortage leaves the dialog as it was.
    SyncItemList* items = nullptr;
    for (int index = 0; index < m_list.GetItemCount(); ++index) {
        const auto* node = reinterpret_cast<const FileNode*>(m_list.GetItemData(index));
        DWORD added = AppendSyncItem(&items, m_list.GetItemText(index, 0).c_str(),
                                     SyncStateFromText(m_list.GetItemText(index, 1).c_str()),
                                     node != nullptr && IsFolderAttributes(node->attributes),
                                     m_list.GetCheck(index) != FALSE);
        if (added != ERROR_SUCCESS) {
            FreeSyncItemList(items);
            MessageBox(kSyncNoMemory, L"Error", MB_ICONERROR);
            return;
        }
    }
    EnableChoosing(FALSE);
    m_start.EnableWindow(FALSE);
    m_list.EnableWindow(FALSE);
    if (m_mainDlg != nullptr) m_mainDlg->ShowVolumesForSynchronize();

    m_items = items;
    m_request = {};
    m_request.direction = m_update.GetCheck() == BST_CHECKED ? SyncUpdate : SyncCommit;
    m_request.items = m_items;
    m_request.currentRoot = m_currentRoot;
    m_request.otherRoot = m_otherRoot;
    m_request.window = m_hWnd;
    m_worker = StartThread(RunSynchronizeWorker, this);
    if (m_worker == nullptr) {
        // Nothing was touched; the panes no longer show the analysis, so there is nothing to go back to.
        MessageBox(kSyncThreadFailed, L"Error", MB_ICONERROR);
        EndDialog(IDCANCEL);
    }
}

UINT CSynchronizeDlg::RunSynchronizeWorker(void* dialog) {
    return RunSynchronization(&static_cast<CSynchronizeDlg*>(dialog)->m_request);
}

LRESULT CSynchronizeDlg::OnSynchronizeDone(WPARAM, LPARAM) {
    EndDialog(1);
    return 0;
}
