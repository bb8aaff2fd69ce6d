#pragma once
// The "Synchronize Folders" dialog: lists the items below the folder that the
// active pane shows in the current location's analysed tree, lets the user
// pick a direction and the items, and runs the synchronization worker.
#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/controls.h"
#include "framework/dialog.h"
#include "model/win_guards.h"
#include "model/location_tree.h"
#include "sync/synchronize_worker.h"

// What the dialog asks of the window that opened it while it is open.
class SynchronizeDlgOwner {
public:
    // A run starts: the analysis is about to change under the panes; show the live volumes.
    virtual void ShowVolumesForSynchronize() = 0;

protected:
    ~SynchronizeDlgOwner() = default;
};

const wchar_t kSyncInvalidRecord[] = L"Background operations data is not valid!";
const wchar_t kSyncNoListEngine[] = L"Could not initialize file list engine!";
const wchar_t kSyncNothingChecked[] = L"No items to process.";
const wchar_t kSyncThreadFailed[] = L"Error starting worker thread.";

// The dialog's result after a run; the panes were reset at its start.
const INT_PTR kSynchronizeRan = 1;

// Posted by the list builder when the records are ready (or could not be made).
const UINT WM_SYNC_LIST_BUILT = WM_USER + 6;

// The states whose items the dialog lists, each with its check box: New, Modified, Missing.
const int kListedStateCount = 3;

class CSynchronizeDlg : public CDialog {
public:
    explicit CSynchronizeDlg(SynchronizeDlgOwner* owner = nullptr);
    ~CSynchronizeDlg() override;

    // In, filled by the caller before DoModal: the location whose items are
    // listed (0 or 1) and the tree path of the folder below which they are
    // listed (empty for the location's root, which the dialog then names).
    uint8_t m_currentLocation;
    std::wstring m_treePath;

    // How many listed items of a state there are, and how many of them are checked.
    struct StateCount {
        int32_t total = 0;
        int32_t checked = 0;
    };
    // Out, once the list is shown: the counts of a listed state; zeros for any other state.
    StateCount CountOf(DiffState state) const;
    // Out, while the window lives: the record behind a row of the list; null for none.
    const SyncItem* RecordOf(int row) const;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;
    // The dialog never ends through OK.
    void OnOK() override {}
    // Refused while a thread of the dialog runs.
    void OnCancel() override;

    void OnDirection();
    void OnStart();
    void OnNewBox();
    void OnModifiedBox();
    void OnMissingBox();
    void OnItemChanging(NMHDR* header, LRESULT* result);
    void OnItemChanged(NMHDR* header, LRESULT* result);
    LRESULT OnSynchronizeDone(WPARAM, LPARAM);
    LRESULT OnListBuilt(WPARAM, LPARAM);

    DECLARE_MESSAGE_MAP()

private:
    // The list builder's record: its input is set before its thread starts; its
    // output is written before it posts WM_SYNC_LIST_BUILT, and read only after that.
    struct ListBuild {
        HWND window = nullptr;
        const LocationTree* currentTree = nullptr;
        const LocationTree* otherTree = nullptr;
        std::wstring treePath;
        const wchar_t* currentRoot = nullptr;
        SyncItemList* items = nullptr;  // owned by the dialog once the thread has ended
        DWORD result = ERROR_SUCCESS;
    };

    static DWORD WINAPI BuildSyncItemList(void* build);
    static DWORD WINAPI RunSynchronizeWorker(void* request);
    static void ShowNotice(void* window, SyncNoticeKind kind, const wchar_t* text);
    void FillItemList();
    void AddItemRow(uint32_t index);
    // The index of the record behind a row; -1 for none.
    int64_t RecordIndexOf(int row) const;
    // Checks (BST_CHECKED) or unchecks (BST_UNCHECKED) every listed item of
    // `state`; an indeterminate box changes nothing.
    void SetStateChecks(DiffState state, int boxState);
    void OnStateBox(DiffState state);
    void EnableChoosing(BOOL enable);

    CStatic m_volumeKind;
    CStatic m_drive;
    CStatic m_pleaseWait;
    CButton m_commit;
    CButton m_update;
    CButton m_start;
    CButton m_close;
    CButton m_stateBoxes[kListedStateCount];
    CEdit m_path;
    CListCtrl m_list;
    CImageList m_images;

    bool m_listReady = false;  // check toggles are counted only while true
    StateCount m_counts[kListedStateCount];
    wchar_t m_currentRoot[kPathUnits];
    wchar_t m_otherRoot[kPathUnits];

    // Kept until the dialog object goes, so that it never goes under a running thread.
    OwnedHandle m_builder;
    OwnedHandle m_worker;
    // The listed items are the builder's; their checks are taken from the list at Start.
    ListBuild m_build;
    SyncRequest m_request = {};
    SynchronizeDlgOwner* m_owner;  // not owned; may be null
};
