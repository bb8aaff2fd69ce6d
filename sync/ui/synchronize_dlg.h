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

class CSynchronizeDlg : public CDialog {
public:
    explicit CSynchronizeDlg(SynchronizeDlgOwner* owner = nullptr);
    ~CSynchronizeDlg() override;

    // In, filled by the caller before DoModal: the location whose items are
    // listed (0 or 1) and the tree path of the folder below which they are
    // listed (empty for the location's root).
    uint8_t m_currentLocation;
    std::wstring m_treePath;

    // Checks (BST_CHECKED) or unchecks (BST_UNCHECKED) every listed item of
    // `state` (New, Modified or Missing); an indeterminate box changes nothing.
    void SetStateChecks(DiffState state, int boxState);
    // The record behind a row of the list; null for none.
    SyncItem* RecordOf(int row);

    bool m_listReady;  // check toggles are counted only while true
    int32_t m_totalNew;
    int32_t m_totalModified;
    int32_t m_totalMissing;
    int32_t m_checkedNew;
    int32_t m_checkedModified;
    int32_t m_checkedMissing;
    wchar_t m_currentRoot[kPathUnits];
    wchar_t m_otherRoot[kPathUnits];

    CStatic m_volumeKind;
    CStatic m_drive;
    CStatic m_pleaseWait;
    CButton m_commit;
    CButton m_update;
    CButton m_start;
    CButton m_close;
    CButton m_showNew;
    CButton m_showModified;
    CButton m_showMissing;
    CEdit m_path;
    CListCtrl m_list;
    CImageList m_images;

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
    static DWORD WINAPI BuildSyncItemList(void* dialog);
    static DWORD WINAPI RunSynchronizeWorker(void* dialog);
    void FillItemList();
    void AddItemRow(uint32_t index);
    static void ShowNotice(void* dialog, SyncNoticeKind kind, const wchar_t* text);
    void OnStateBox(DiffState state, CButton& box);
    // The counts and the box of a listed state; false for any other state.
    bool StateCounts(DiffState state, int32_t** total, int32_t** checked, CButton** box);
    void EnableChoosing(BOOL enable);

    // Kept until the dialog object goes, so that it never goes under a running thread.
    OwnedHandle m_builder;
    OwnedHandle m_worker;
    // The listed items, made by the builder; their checks are taken from the list at Start.
    SyncItemList* m_items = nullptr;
    DWORD m_buildResult = ERROR_SUCCESS;
    SyncRequest m_request = {};
    SynchronizeDlgOwner* m_owner;  // not owned; may be null
};
