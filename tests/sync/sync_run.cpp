#include "tests/sync/sync_run.h"

#include "model/names.h"
#include "tests/support/message_window.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <mutex>

namespace {

const wchar_t kWindowClass[] = L"QuillmarSyncTestReceiver";
const DWORD kRunTimeoutMs = 120000;

struct Capture {
    std::mutex lock;
    std::vector<CapturedBox> boxes;
    std::vector<ObservedOperation> operations;
};

void CaptureNotice(void* context, SyncNoticeKind kind, const wchar_t* text) {
    auto* capture = static_cast<Capture*>(context);
    std::lock_guard<std::mutex> guard(capture->lock);
    capture->boxes.push_back(CapturedBox{text, SyncNoticeCaption(kind), kind});
}

void CaptureOperation(void* context, const SyncOperation& operation, const wchar_t* itemPath,
                      const wchar_t* otherPath, DWORD result) {
    auto* capture = static_cast<Capture*>(context);
    std::lock_guard<std::mutex> guard(capture->lock);
    capture->operations.push_back(ObservedOperation{operation.action, itemPath, otherPath, result});
}

LRESULT CALLBACK ReceiverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_SYNCHRONIZE_DONE) {
        auto* count = reinterpret_cast<unsigned*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (count && wParam == 0 && lParam == 0) ++*count;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}


// Closes the windows that the shell opened on the worker's thread (its
// error boxes), as a user would, and counts them.
BOOL CALLBACK CloseShellWindow(HWND window, LPARAM closed) {
    if (IsWindowVisible(window) && PostMessageW(window, WM_CLOSE, 0, 0)) ++*reinterpret_cast<unsigned*>(closed);
    return TRUE;
}

std::wstring WithoutFinalBackslash(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring LongForm(const std::wstring& path) { return L"\\\\?\\" + path; }

}  // namespace

SyncRun RunSyncWorker(SyncDirection direction, const SyncItemList* items, const std::wstring& currentRoot,
                      const std::wstring& otherRoot, const SyncRunOptions& options) {
    SyncRun run;
    Capture capture;
    HWND window = CreateMessageWindow(kWindowClass, ReceiverProc, &run.doneMessages);
    EXPECT_NE(window, nullptr);
    SyncRequest request = {};
    request.direction = direction;
    request.items = items;
    request.currentRoot = currentRoot.c_str();
    request.otherRoot = otherRoot.c_str();
    request.window = window;
    request.notice = CaptureNotice;
    request.noticeContext = &capture;
    request.observer = CaptureOperation;
    request.observerContext = &capture;
    request.summary = &run.summary;
    request.copier = options.copier;
    request.copiesInFlight = options.copiesInFlight ? options.copiesInFlight : 2;
    request.verify = options.verify;
    request.cancel = options.cancel;
    request.versioningFolder = options.versioningFolder;
    request.stopWhenNoRoom = options.stopWhenNoRoom;
    DWORD workerId = 0;
    HANDLE worker = CreateThread(nullptr, 0, SynchronizeWorker, &request, 0, &workerId);
    EXPECT_NE(worker, nullptr);
    if (worker) {
        DWORD started = GetTickCount();
        bool ended = false;
        while (!ended && GetTickCount() - started < kRunTimeoutMs) {
            ended = MsgWaitForMultipleObjects(1, &worker, FALSE, 200, QS_ALLINPUT) == WAIT_OBJECT_0;
            PumpWaitingMessages();
            if (!ended) EnumThreadWindows(workerId, CloseShellWindow, reinterpret_cast<LPARAM>(&run.shellWindows));
        }
        EXPECT_TRUE(ended) << "the synchronization did not end";
        if (!ended) WaitForSingleObject(worker, INFINITE);
        PumpWaitingMessages();
        GetExitCodeThread(worker, &run.exitCode);
        CloseHandle(worker);
    }
    if (window) DestroyWindow(window);
    run.boxes = capture.boxes;
    run.operations = capture.operations;
    return run;
}

SyncSeenFile SeenOnDisk(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(LongForm(path).c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return SyncSeenFile{};
    return SyncSeenFile{true, (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow, data.ftLastWriteTime};
}

void AppendSeenItem(SyncItemList** items, const std::wstring& path, DiffState state, bool isFolder,
                    const std::wstring& currentRoot, const std::wstring& otherRoot) {
    SyncItem item = {};
    item.path = const_cast<wchar_t*>(path.c_str());
    item.state = state;
    item.isFolder = isFolder;
    item.checked = true;
    item.seenKnown = true;
    item.seenHere = SeenOnDisk(path);
    if (path.compare(0, currentRoot.size(), currentRoot) == 0)
        item.seenThere = SeenOnDisk(otherRoot + path.substr(currentRoot.size()));
    ASSERT_EQ(AppendSyncItem(items, item), 0u);
}

std::vector<std::wstring> TextsOf(const std::vector<CapturedBox>& boxes) {
    std::vector<std::wstring> texts;
    for (const CapturedBox& box : boxes) texts.push_back(box.text);
    return texts;
}

std::vector<std::wstring> RecycleBinEntries() {
    std::vector<std::wstring> found;
    HRESULT initialized = CoInitialize(nullptr);
    IShellFolder* desktop = nullptr;
    LPITEMIDLIST binLocation = nullptr;
    IShellFolder* bin = nullptr;
    IEnumIDList* entries = nullptr;
    IShellFolder2* details = nullptr;
    if (SUCCEEDED(SHGetDesktopFolder(&desktop)) &&
        SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, &binLocation)) &&
        SUCCEEDED(desktop->BindToObject(binLocation, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&bin))) &&
        SUCCEEDED(bin->QueryInterface(IID_IShellFolder2, reinterpret_cast<void**>(&details))) &&
        bin->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, &entries) == S_OK) {
        LPITEMIDLIST entry = nullptr;
        ULONG fetched = 0;
        while (entries->Next(1, &entry, &fetched) == S_OK) {
            wchar_t entryName[MAX_PATH] = {};
            wchar_t origin[MAX_PATH] = {};
            SHELLDETAILS column = {};
            // Column 0 is the name, column 1 the folder it was deleted from.
            if (SUCCEEDED(details->GetDetailsOf(entry, 0, &column))) StrRetToBufW(&column.str, entry, entryName, MAX_PATH);
            if (SUCCEEDED(details->GetDetailsOf(entry, 1, &column))) StrRetToBufW(&column.str, entry, origin, MAX_PATH);
            found.push_back(WithoutFinalBackslash(origin) + L"\\" + entryName);
            CoTaskMemFree(entry);
        }
    }
    if (entries) entries->Release();
    if (details) details->Release();
    if (bin) bin->Release();
    if (binLocation) CoTaskMemFree(binLocation);
    if (desktop) desktop->Release();
    if (SUCCEEDED(initialized)) CoUninitialize();
    return found;
}

bool InRecycleBin(const std::wstring& name, const std::wstring& folder) {
    const std::wstring path = WithoutFinalBackslash(folder) + L"\\" + name;
    for (const std::wstring& entry : RecycleBinEntries()) {
        if (_wcsicmp(entry.c_str(), path.c_str()) == 0) return true;
    }
    return false;
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string ReadFileBytes(const std::wstring& path) {
    HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool MakeLongFolder(const std::wstring& path) {
    std::wstring folder = path.back() == L'\\' ? path : path + L'\\';
    for (size_t slash = folder.find(L'\\', 3); slash != std::wstring::npos; slash = folder.find(L'\\', slash + 1)) {
        CreateDirectoryW(LongForm(folder.substr(0, slash)).c_str(), nullptr);
    }
    return Exists(folder);
}

bool MakeLongFile(const std::wstring& path, const std::string& content) {
    MakeLongFolder(path.substr(0, path.rfind(L'\\') + 1));
    HANDLE file = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool done = content.empty() || (WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                                              nullptr) &&
                                    written == content.size());
    CloseHandle(file);
    return done;
}

namespace {

void CollectDifferences(const FileNode* node, const std::wstring& prefix, std::vector<std::wstring>* found) {
    for (const FileNode* child = node->firstChild; child; child = child->nextSibling) {
        if (IsDotOrDotDot(child->name)) continue;
        if (child->state != DiffIdentical) {
            found->push_back(prefix + child->name + L" state " + std::to_wstring(child->state));
        }
        if (IsFolderNode(child)) CollectDifferences(child, prefix + child->name + L"\\", found);
    }
}

}  // namespace

std::vector<std::wstring> SyncTest::Differences() {
    std::vector<std::wstring> found;
    AnalysisRun run = Run();
    EXPECT_EQ(run.exitCode, 0u);
    for (int side = 0; side < 2; ++side) {
        const LocationTree* tree = g_backgroundOps.slots[side].tree;
        if (tree) CollectDifferences(tree->root, side == 0 ? L"left: " : L"right: ", &found);
    }
    return found;
}
