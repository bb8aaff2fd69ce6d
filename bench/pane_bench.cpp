// Times the real main window's panes against a floor that makes the same system
// calls and fills plain controls with the same rows, in one process and one run.
//
// usage: pane_bench MODE ...
//   live DIR RUNS          a live pane shows DIR (its tree item selected)
//   analysed DIR RUNS      an analysed pane shows DIR, the root of an analysis of
//                          DIR against itself
//   browse DIR RUNS        a live pane expands and shows DIR, probing each child
//                          folder for subfolders
//   sync DIR EMPTY RUNS    the Synchronize dialog lists the items of an analysis of
//                          DIR against the empty folder EMPTY, from its opening until
//                          its list shows; the floor lists DIR into a checked list
//   pair LEFT RIGHT RUNS   the analysed pair after the worker's end; the floor lists
//                          both roots into a list and a tree level each
// Prints key=value lines; times are medians in seconds, ratios ours/floor.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <functional>
#include <string>
#include <vector>

#include "analysis/analysis_worker.h"
#include "bench/bench_timing.h"
#include "analysis/background_ops.h"
#include "analysis/skip_log.h"
#include "app/quillmar_dlg.h"
#include "framework/win_app.h"
#include "res/resource.h"

namespace {

// Paints what the window has left to paint, as it would before answering the user.
void PaintPending(const CQuillmarDlg& dialog) {
    RedrawWindow(dialog.m_hWnd, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
}

// Runs `ours` and `floor` alternately and prints both medians and their ratio.
void Compare(const char* what, int runs, const std::function<void()>& ours, const std::function<void()>& floor) {
    const Medians medians = TimeInTurns(runs, ours, floor);
    const double o = medians.ours, f = medians.floor;
    printf("%s_seconds=%.4f %s_floor_seconds=%.4f %s_ratio=%.3f %s_excess_seconds=%.4f\n", what, o, what, f, what,
           o / f, what, o - f);
    fflush(stdout);
}

std::wstring FolderPath(const char* argument) {
    std::wstring path(argument, argument + strlen(argument));
    for (wchar_t& unit : path) {
        if (unit == L'/') unit = L'\\';
    }
    if (path.size() > 1 && path[0] == L'\\' && path[1] != L'\\') path = L"Z:" + path;
    if (path.back() != L'\\') path += L'\\';
    return path;
}

// The last component of a folder path ending in a backslash, and the path before it.
std::wstring LeafName(const std::wstring& path) {
    size_t end = path.size() - 1;
    size_t start = path.rfind(L'\\', end - 1) + 1;
    return path.substr(start, end - start);
}
std::wstring ParentPath(const std::wstring& path) { return path.substr(0, path.size() - LeafName(path).size() - 1); }

HWND Control(const CQuillmarDlg& dialog, int id) { return GetDlgItem(dialog.m_hWnd, id); }

HTREEITEM ChildNamed(HWND tree, HTREEITEM parent, const std::wstring& name) {
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child; child = TreeView_GetNextSibling(tree, child)) {
        wchar_t text[MAX_PATH] = L"";
        TVITEMW item = {};
        item.mask = TVIF_TEXT;
        item.hItem = child;
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        TreeView_GetItem(tree, &item);
        if (name == text) return child;
    }
    return nullptr;
}

// The floor's controls: a report list and a tree like the pane's, same images, hidden.
struct FloorControls {
    HWND list;
    HWND tree;
};

FloorControls MakeFloorControls(HWND owner, HIMAGELIST images) {
    FloorControls controls;
    controls.list = CreateWindowExW(0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SHAREIMAGELISTS, 0, 0, 500, 400,
                                    owner, nullptr, nullptr, nullptr);
    controls.tree = CreateWindowExW(0, WC_TREEVIEWW, L"", WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, 0, 0, 200, 400, owner, nullptr,
                                    nullptr, nullptr);
    ListView_SetImageList(controls.list, images, LVSIL_SMALL);
    TreeView_SetImageList(controls.tree, images, TVSIL_NORMAL);
    const wchar_t* headings[] = {L"Name", L"Date modified", L"Size"};
    for (int column = 0; column < 3; ++column) {
        LVCOLUMNW info = {};
        info.mask = LVCF_TEXT | LVCF_WIDTH;
        info.pszText = const_cast<wchar_t*>(headings[column]);
        info.cx = 100;
        ListView_InsertColumn(controls.list, column, &info);
    }
    return controls;
}

void FormatTime(const FILETIME& utc, wchar_t* text) {
    SYSTEMTIME universal, local;
    FileTimeToSystemTime(&utc, &universal);
    SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local);
    swprintf(text, 32, L"%02d.%02d.%d  %02d:%02d", local.wDay, local.wMonth, local.wYear, local.wHour, local.wMinute);
}

// The bare work behind a pane's list: one listing, one row per entry with its
// image, formatted time and size; with `probe`, one subfolder probe per child
// folder and a tree item for it.
void FloorFill(const FloorControls& controls, const std::wstring& folder, bool fillTree, bool probe) {
    // Neither control repaints or rearranges its scroll bars until it is filled.
    SendMessageW(controls.list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(controls.tree, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(controls.list);
    if (fillTree) TreeView_DeleteAllItems(controls.tree);
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) exit(1);
    int row = 0;
    do {
        const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (isFolder && data.cFileName[0] == L'.' && data.cFileName[1] == 0) continue;
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = row++;
        item.pszText = data.cFileName;
        item.iImage = isFolder ? 1 : 0;
        int index = ListView_InsertItem(controls.list, &item);
        wchar_t text[32];
        FormatTime(data.ftLastWriteTime, text);
        ListView_SetItemText(controls.list, index, 1, text);
        if (!isFolder) {
            swprintf(text, 32, L"%lu", data.nFileSizeLow);
            ListView_SetItemText(controls.list, index, 2, text);
        }
        if (!isFolder || !fillTree || lstrcmpW(data.cFileName, L"..") == 0) continue;
        TVINSERTSTRUCTW insert = {};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
        insert.item.pszText = data.cFileName;
        TreeView_InsertItem(controls.tree, &insert);
        if (!probe) continue;
        WIN32_FIND_DATAW inner;
        HANDLE child = FindFirstFileExW((folder + data.cFileName + L"\\*").c_str(), FindExInfoBasic, &inner,
                                        FindExSearchLimitToDirectories, nullptr, 0);
        if (child == INVALID_HANDLE_VALUE) continue;
        while (FindNextFileW(child, &inner)) {}
        FindClose(child);
    } while (FindNextFileW(search, &data));
    FindClose(search);
    SendMessageW(controls.list, WM_SETREDRAW, TRUE, 0);
    SendMessageW(controls.tree, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(controls.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    if (fillTree) RedrawWindow(controls.tree, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// Analyses LEFT against RIGHT as the window's worker does; the trees stay in g_backgroundOps.
double Analyse(const std::wstring& left, const std::wstring& right) {
    BackgroundOpsData* data = &g_backgroundOps;
    if (!BackgroundOpsInit(data)) exit(1);
    wcsncpy(data->slots[0].rootPath, left.c_str(), kPathUnits - 1);
    wcsncpy(data->slots[1].rootPath, right.c_str(), kPathUnits - 1);
    wchar_t logPath[MAX_PATH + 20];
    GetTempPathW(MAX_PATH, logPath);
    wcscat(logPath, L"pane-bench-log.txt");
    if (!SkipLogOpen(logPath, L"skipped")) exit(1);
    double start = Now();
    HANDLE worker = CreateThread(nullptr, 0, AnalysisWorker, data, 0, nullptr);
    WaitForSingleObject(worker, INFINITE);
    double seconds = Now() - start;
    CloseHandle(worker);
    SkipLogClose();
    return seconds;
}

struct Job {
    std::string mode;
    std::wstring first, second;
    int runs;
};

Job g_job;
CQuillmarDlg* g_dialog;

void RunLive(CQuillmarDlg& dialog, const FloorControls& floor) {
    const std::wstring& folder = g_job.first;
    dialog.m_panes[0].mode = PaneMode::LogicalVolumes;
    dialog.m_panes[0].path = ParentPath(folder);
    dialog.RefreshPane(0);
    HWND tree = Control(dialog, IDC_TREE1);
    HTREEITEM item = ChildNamed(tree, TreeView_GetSelection(tree), LeafName(folder));
    if (item == nullptr) exit(1);
    Compare("live_pane", g_job.runs,
            [&] {
                TreeView_SelectItem(tree, nullptr);
                TreeView_SelectItem(tree, item);
                PaintPending(dialog);
            },
            [&] { FloorFill(floor, folder, false, false); });
}

void RunAnalysed(CQuillmarDlg& dialog, const FloorControls& floor) {
    Analyse(g_job.first, g_job.first);
    dialog.ShowAnalysedPair();
    HWND tree = Control(dialog, IDC_TREE1);
    HTREEITEM root = TreeView_GetRoot(tree);
    Compare("analysed_pane", g_job.runs,
            [&] {
                TreeView_SelectItem(tree, nullptr);
                TreeView_SelectItem(tree, root);
                PaintPending(dialog);
            },
            [&] { FloorFill(floor, g_job.first, false, false); });
}

// Collapses the folder's item to its unfilled state, as before its first expansion.
void ResetItem(HWND tree, HTREEITEM item) {
    TreeView_SelectItem(tree, nullptr);
    TreeView_Expand(tree, item, TVE_COLLAPSE | TVE_COLLAPSERESET);
    TVINSERTSTRUCTW insert = {};
    insert.hParent = item;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(L"..");
    TreeView_InsertItem(tree, &insert);
}

void RunBrowse(CQuillmarDlg& dialog, const FloorControls& floor) {
    const std::wstring& folder = g_job.first;
    dialog.m_panes[0].mode = PaneMode::LogicalVolumes;
    dialog.m_panes[0].path = ParentPath(folder);
    dialog.RefreshPane(0);
    HWND tree = Control(dialog, IDC_TREE1);
    HTREEITEM item = ChildNamed(tree, TreeView_GetSelection(tree), LeafName(folder));
    if (item == nullptr) exit(1);
    Compare("browse_pane", g_job.runs,
            [&] {
                ResetItem(tree, item);
                TreeView_Expand(tree, item, TVE_EXPAND);
                TreeView_SelectItem(tree, item);
                PaintPending(dialog);
            },
            [&] { FloorFill(floor, folder, true, true); });
}

void RunPair(CQuillmarDlg& dialog, const FloorControls& floor) {
    double worker = Analyse(g_job.first, g_job.second);
    printf("worker_seconds=%.3f\n", worker);
    Compare("analysed_pair", g_job.runs, 
            [&] {
                dialog.ShowAnalysedPair();
                PaintPending(dialog);
            },
            [&] {
                FloorFill(floor, g_job.first, true, false);
                FloorFill(floor, g_job.second, true, false);
            });
}

double g_syncStart;
std::vector<double> g_syncTimes;

// Polls the opened Synchronize dialog until its list shows, then closes it.
void CALLBACK WatchSyncList(HWND, UINT, UINT_PTR timer, DWORD) {
    HWND dialog = GetActiveWindow();
    HWND list = dialog != nullptr ? GetDlgItem(dialog, IDC_SYNC_ITEM_LIST) : nullptr;
    if (list == nullptr || !IsWindowVisible(list) || !IsWindowEnabled(GetDlgItem(dialog, IDCANCEL))) return;
    RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    g_syncTimes.push_back(Now() - g_syncStart);
    KillTimer(nullptr, timer);
    EndDialog(dialog, IDCANCEL);
}

void FloorCheckedFill(const FloorControls& controls, const std::wstring& folder) {
    SendMessageW(controls.list, WM_SETREDRAW, FALSE, 0);
    ListView_DeleteAllItems(controls.list);
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) exit(1);
    int row = 0;
    do {
        if (data.cFileName[0] == L'.') continue;
        std::wstring path = folder + data.cFileName;
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iItem = row++;
        item.pszText = const_cast<wchar_t*>(path.c_str());
        int index = ListView_InsertItem(controls.list, &item);
        ListView_SetCheckState(controls.list, index, TRUE);
        ListView_SetItemText(controls.list, index, 1, const_cast<wchar_t*>(L"New"));
    } while (FindNextFileW(search, &data));
    FindClose(search);
    SendMessageW(controls.list, WM_SETREDRAW, TRUE, 0);
    RedrawWindow(controls.list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

void RunSync(CQuillmarDlg& dialog, const FloorControls& floor) {
    Analyse(g_job.first, g_job.second);
    dialog.ShowAnalysedPair();
    ListView_SetExtendedListViewStyle(floor.list, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT);
    std::vector<double> floorTimes;
    for (int run = 0; run < g_job.runs; ++run) {
        double start = Now();
        FloorCheckedFill(floor, g_job.first);
        floorTimes.push_back(Now() - start);
        CSynchronizeDlg sync(&dialog);
        SetTimer(nullptr, 0, 10, WatchSyncList);
        g_syncStart = Now();
        sync.DoModal();
    }
    double o = Median(g_syncTimes), f = Median(floorTimes);
    printf("sync_list_seconds=%.4f sync_list_floor_seconds=%.4f sync_list_ratio=%.3f\n", o, f, o / f);
}

void CALLBACK RunJob(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    CQuillmarDlg& dialog = *g_dialog;
    CImageList images;
    images.Create(16, 16, ILC_COLOR32 | ILC_MASK, 0, 14);
    for (UINT icon = IDI_MISSING_FILE; icon <= IDI_DRIVE_OTHER; ++icon) {
        images.AddIconResource(AfxGetResourceHandle(), icon, 16);
    }
    FloorControls floor = MakeFloorControls(dialog.m_hWnd, images.GetSafeHandle());
    if (g_job.mode == "live") RunLive(dialog, floor);
    if (g_job.mode == "analysed") RunAnalysed(dialog, floor);
    if (g_job.mode == "browse") RunBrowse(dialog, floor);
    if (g_job.mode == "pair") RunPair(dialog, floor);
    if (g_job.mode == "sync") RunSync(dialog, floor);
    DestroyWindow(floor.list);
    DestroyWindow(floor.tree);
    dialog.ResetPanes();
    BackgroundOpsFree(&g_backgroundOps);
    EndDialog(dialog.m_hWnd, IDCANCEL);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        fprintf(stderr, "usage: pane_bench live|analysed|browse DIR RUNS | pair LEFT RIGHT RUNS\n");
        return 2;
    }
    g_job.mode = argv[1];
    g_job.first = FolderPath(argv[2]);
    const bool pair = g_job.mode == "pair" || g_job.mode == "sync";
    if (pair && argc < 5) return 2;
    if (pair) g_job.second = FolderPath(argv[3]);
    g_job.runs = atoi(argv[pair ? 4 : 3]);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);
    CQuillmarDlg dialog;
    g_dialog = &dialog;
    SetTimer(nullptr, 0, 10, RunJob);
    dialog.DoModal();
    return 0;
}
