// Measures the location model's listings, sort and tree memory against the bare
// work the platform needs for the same result, in one process and one run.
//
// usage: listing_bench MODE ...
//   listing DIR RUNS      ListDirectory of DIR against a bare FindFirstFileExW loop
//   children COUNT RUNS   ListVisibleChildren of a node with COUNT children against a
//                         walk that copies the same records into a list made for them
//   sort COUNT RUNS       SortListing of COUNT names against std::sort of the same names
//   memory DIR...         scans each folder into a tree; committed bytes per node
//   together LEFT RIGHT RUNS  a bare walk of both folders in two threads at once against
//                         the same walks one after the other: what a simultaneous
//                         analysis can gain over a sequential one in one process
//   analyze LEFT RIGHT    runs the time-mode analysis worker on the pair, as the
//                         programs do, and samples the committed memory meanwhile
// Prints key=value lines; times are medians in seconds, ratios ours/floor.
#include "analysis/analysis_worker.h"
#include "bench/bench_timing.h"
#include "analysis/skip_log.h"
#include "model/enumeration.h"
#include "model/location_tree.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/scan.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

// Runs `ours` and `floor` alternately `runs` times and prints both medians and their ratio.
template <class Ours, class Floor>
void Compare(const char* what, int runs, Ours ours, Floor floor) {
    const Medians medians = TimeInTurns(runs, ours, floor);
    const double o = medians.ours, f = medians.floor;
    printf("%s_seconds=%.4f %s_floor_seconds=%.4f %s_ratio=%.3f\n", what, o, what, f, what, o / f);
}

std::wstring Widen(const char* text) { return std::wstring(text, text + strlen(text)); }

std::wstring FolderPath(const char* argument) {
    std::wstring path = Widen(argument);
    for (wchar_t& unit : path) {
        if (unit == L'/') unit = L'\\';
    }
    if (path.size() > 1 && path[0] == L'\\' && path[1] != L'\\') path = L"Z:" + path;
    if (path.back() != L'\\') path += L'\\';
    return path;
}

int BenchListing(const char* folder, int runs) {
    std::wstring path = FolderPath(folder);
    std::wstring pattern = path + L"*";
    uint32_t listed = 0;
    auto ours = [&] {
        DirEntryList* files = nullptr;
        DirEntryList* folders = nullptr;
        if (ListDirectory(path.c_str(), &files, &folders) != 0) exit(1);
        listed = files->count + folders->count;
        FreeRecordList(files);
        FreeRecordList(folders);
    };
    uint32_t found = 0;
    auto floor = [&] {
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE) exit(1);
        found = 0;
        do ++found;
        while (FindNextFileW(search, &data));
        FindClose(search);
    };
    floor();
    // The same loop writing each entry into a new list of the listing's exact
    // size: what the list format itself costs, first touches of its pages included.
    const uint32_t total = found;
    auto floorStoring = [&] {
        auto* list = static_cast<DirEntryList*>(HeapAlloc(GetProcessHeap(), 0, sizeof(DirEntryList) + sizeof(DirEntry) * total));
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                         FIND_FIRST_EX_LARGE_FETCH);
        uint32_t at = 0;
        do {
            DirEntry& entry = list->entries[at++ % total];
            size_t length = wcslen(data.cFileName);
            wmemcpy(entry.name, data.cFileName, length + 1);
            entry.lastWriteTime = data.ftLastWriteTime;
            entry.size = data.nFileSizeLow;
            entry.attributes = data.dwFileAttributes;
        } while (FindNextFileW(search, &data));
        FindClose(search);
        list->count = at;
        HeapFree(GetProcessHeap(), 0, list);
    };
    Compare("list_directory", runs, ours, floor);
    Compare("list_directory_storing", runs, ours, floorStoring);
    printf("entries=%u floor_entries=%u\n", listed, found);
    return 0;
}

// Plausible file names, distinct ignoring case, in a repeatable order.
std::vector<std::wstring> MakeNames(uint32_t count) {
    static const wchar_t* words[] = {L"report", L"draft", L"Photo", L"IMG", L"notes", L"data", L"src",
                                     L"backup", L"Invoice", L"budget", L"plan", L"config", L"log"};
    static const wchar_t* extensions[] = {L".txt", L".cpp", L".JPG", L".png", L".dat", L"", L".md", L".csv"};
    std::vector<std::wstring> names;
    unsigned seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (uint32_t i = 0; i < count; ++i) {
        std::wstring name;
        if (next() % 10 < 6) {
            name = words[next() % 13];
            name += L"_- "[next() % 3];
        } else {
            for (unsigned length = 3 + next() % 10; length; --length) name += L"abcdefghijklmnopqrstuvwxyz0123456789"[next() % 36];
        }
        name += std::to_wstring(i) + extensions[next() % 8];
        names.push_back(name);
    }
    return names;
}

int BenchChildren(uint32_t count, int runs) {
    LocationTree* tree = CreateLocationTree();
    std::vector<std::wstring> names = MakeNames(count);
    NodeRecord record = {};
    for (uint32_t i = 0; i < count; ++i) {
        wcscpy(record.name, names[i].c_str());
        record.attributes = i % 10 == 0 ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
        record.size = i;
        if (!AddChildNode(&record, tree->root)) return 1;
    }
    auto ours = [&] {
        NodeRecordList* files = nullptr;
        NodeRecordList* folders = nullptr;
        if (ListVisibleChildren(tree, L"Root\\", 0xFF, &files, &folders) != 0) exit(1);
        FreeRecordList(files);
        FreeRecordList(folders);
    };
    // The least a listing of the children can do: one list made for them, each record written once.
    auto floor = [&] {
        auto* list = static_cast<NodeRecordList*>(HeapAlloc(GetProcessHeap(), 0, sizeof(NodeRecordList) + sizeof(NodeRecord) * count));
        uint32_t at = 0;
        for (const FileNode* child = tree->root->firstChild; child; child = child->nextSibling) {
            NodeRecord& target = list->entries[at++];
            size_t length = wcslen(child->name);
            wmemcpy(target.name, child->name, length + 1);
            target.lastWriteTime = child->lastWriteTime;
            target.size = child->size;
            target.attributes = child->attributes;
            target.state = child->state;
        }
        list->count = at;
        HeapFree(GetProcessHeap(), 0, list);
    };
    Compare("list_children", runs, ours, floor);
    DestroyLocationTree(tree);
    return 0;
}

int BenchSort(uint32_t count, int runs) {
    std::vector<std::wstring> names = MakeNames(count);
    // Shuffled so that the listing order says nothing about the sorted one.
    unsigned seed = 99;
    for (uint32_t i = count; i > 1; --i) std::swap(names[i - 1], names[(seed = seed * 1103515245u + 12345u) % i]);
    size_t bytes = sizeof(DirEntryList) + sizeof(DirEntry) * count;
    auto* original = static_cast<DirEntryList*>(malloc(bytes));
    original->count = count;
    for (uint32_t i = 0; i < count; ++i) {
        DirEntry& entry = original->entries[i];
        wcscpy(entry.name, names[i].c_str());
        entry.size = i;
        entry.attributes = FILE_ATTRIBUTE_ARCHIVE;
    }
    auto* list = static_cast<DirEntryList*>(malloc(bytes));
    std::vector<double> sortTimes, floorTimes;
    for (int run = 0; run < runs; ++run) {
        memcpy(list, original, bytes);
        double start = Now();
        SortListing(list);
        sortTimes.push_back(Now() - start);
        std::vector<std::wstring> copy = names;
        start = Now();
        std::sort(copy.begin(), copy.end(),
                  [](const std::wstring& a, const std::wstring& b) { return CompareNamesIgnoringCase(a.c_str(), b.c_str()) < 0; });
        floorTimes.push_back(Now() - start);
    }
    for (uint32_t i = 1; i < count; ++i) {
        if (CompareNamesIgnoringCase(list->entries[i - 1].name, list->entries[i].name) > 0) return 1;
    }
    double s = Median(sortTimes), f = Median(floorTimes);
    printf("sort_entries=%u sort_seconds=%.4f std_sort_names_seconds=%.4f sort_ratio=%.3f\n", count, s, f, s / f);
    free(list);
    free(original);
    return 0;
}

// Private memory committed in this process, as the system counts it.
size_t CommittedPrivateBytes() {
    size_t total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char* at = nullptr; VirtualQuery(at, &region, sizeof(region)) == sizeof(region);) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) total += region.RegionSize;
        const char* next = static_cast<const char*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return total;
}

bool IgnoreSkipped(const wchar_t* const*, unsigned) { return true; }

size_t CountNodes(const FileNode* node) {
    size_t count = 0;
    std::vector<const FileNode*> pending{node};
    while (!pending.empty()) {
        const FileNode* current = pending.back();
        pending.pop_back();
        ++count;
        for (const FileNode* child = current->firstChild; child; child = child->nextSibling) pending.push_back(child);
    }
    return count;
}

// Copies every node below `source` under `target`; the stack is made before
// the measurement so that only the tree's own memory is counted.
bool CopyTree(const FileNode* source, FileNode* target, std::vector<std::pair<const FileNode*, FileNode*>>& stack) {
    stack.clear();
    stack.emplace_back(source, target);
    while (!stack.empty()) {
        auto [from, to] = stack.back();
        stack.pop_back();
        for (const FileNode* child = from->firstChild; child; child = child->nextSibling) {
            NodeRecord record = {};
            wcscpy(record.name, child->name);
            record.lastWriteTime = child->lastWriteTime;
            record.size = child->size;
            record.attributes = child->attributes;
            record.state = child->state;
            FileNode* copy = AddChildNode(&record, to);
            if (!copy) return false;
            if (child->firstChild) stack.emplace_back(child, copy);
        }
    }
    return true;
}

int BenchMemory(int count, char** folders) {
    CompareNamesIgnoringCase(L"a", L"b");  // builds the fold table outside the measurement
    ScanContext context = {nullptr, IgnoreSkipped};
    std::vector<LocationTree*> trees;
    size_t before = CommittedPrivateBytes();
    double start = Now();
    for (int i = 0; i < count; ++i) {
        trees.push_back(CreateLocationTree());
        if (ScanLocation(trees.back(), FolderPath(folders[i]).c_str(), &context) != 0) return 1;
    }
    double seconds = Now() - start;
    size_t afterScan = CommittedPrivateBytes();
    size_t nodes = 0;
    for (LocationTree* tree : trees) nodes += CountNodes(tree->root) - 1;
    // The scans' own buffers stay committed in the heap once freed; copies of
    // the trees show what the nodes and names alone take.
    std::vector<std::pair<const FileNode*, FileNode*>> stack;
    stack.reserve(nodes);
    std::vector<LocationTree*> copies;
    copies.reserve(trees.size());
    size_t beforeCopy = CommittedPrivateBytes();
    for (LocationTree* tree : trees) {
        copies.push_back(CreateLocationTree());
        if (!CopyTree(tree->root, copies.back()->root, stack)) return 1;
    }
    size_t afterCopy = CommittedPrivateBytes();
    printf("nodes=%zu scan_seconds=%.3f scan_committed_bytes_per_node=%.1f tree_committed_bytes_per_node=%.1f\n", nodes,
           seconds, double(afterScan - before) / double(nodes), double(afterCopy - beforeCopy) / double(nodes));
    for (LocationTree* tree : copies) DestroyLocationTree(tree);
    for (LocationTree* tree : trees) DestroyLocationTree(tree);
    return 0;
}

int BenchAnalysis(const char* left, const char* right) {
    CompareNamesIgnoringCase(L"a", L"b");
    size_t before = CommittedPrivateBytes();
    BackgroundOpsData* data = &g_backgroundOps;
    if (!BackgroundOpsInit(data)) return 1;
    wcsncpy(data->slots[0].rootPath, FolderPath(left).c_str(), kPathUnits - 1);
    wcsncpy(data->slots[1].rootPath, FolderPath(right).c_str(), kPathUnits - 1);
    wchar_t logPath[MAX_PATH + 20];
    GetTempPathW(MAX_PATH, logPath);
    wcscat(logPath, L"listing-bench-log.txt");
    if (!SkipLogOpen(logPath, L"skipped")) return 1;
    double start = Now();
    HANDLE worker = CreateThread(nullptr, 0, AnalysisWorker, data, 0, nullptr);
    size_t peak = 0;
    do peak = std::max(peak, CommittedPrivateBytes());
    while (WaitForSingleObject(worker, 250) == WAIT_TIMEOUT);
    double seconds = Now() - start;
    DWORD exitCode = 1;
    GetExitCodeThread(worker, &exitCode);
    CloseHandle(worker);
    SkipLogClose();
    size_t nodes = CountNodes(data->slots[0].tree->root) + CountNodes(data->slots[1].tree->root) - 2;
    size_t held = CommittedPrivateBytes();
    printf("analysis_exit=%lu nodes=%zu analysis_seconds=%.2f peak_committed_mib=%.1f held_committed_mib=%.1f "
           "held_bytes_per_node=%.1f\n",
           exitCode, nodes, seconds, (std::max(peak, held) - before) / 1048576.0, (held - before) / 1048576.0,
           double(held - before) / double(nodes));
    BackgroundOpsFree(data);
    return exitCode == 0 ? 0 : 1;
}

}  // namespace

// The bare recursive walk: every entry's find data read, nothing kept.
uint64_t WalkFolder(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW((path + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr,
                                     FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE) return 0;
    uint64_t entries = 0;
    std::vector<std::wstring> folders;
    do {
        ++entries;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDotOrDotDot(found.cFileName))
            folders.push_back(path + found.cFileName + L"\\");
    } while (FindNextFileW(search, &found));
    FindClose(search);
    for (const std::wstring& folder : folders) entries += WalkFolder(folder);
    return entries;
}

DWORD WINAPI WalkThread(void* path) { return static_cast<DWORD>(WalkFolder(*static_cast<std::wstring*>(path))); }

int BenchTogether(const char* left, const char* right, int runs) {
    std::wstring paths[2] = {FolderPath(left), FolderPath(right)};
    auto together = [&] {
        HANDLE threads[2];
        for (int side = 0; side < 2; ++side) threads[side] = CreateThread(nullptr, 0, WalkThread, &paths[side], 0, nullptr);
        WaitForMultipleObjects(2, threads, TRUE, INFINITE);
        for (HANDLE thread : threads) CloseHandle(thread);
    };
    auto oneAfterTheOther = [&] {
        if (WalkFolder(paths[0]) + WalkFolder(paths[1]) == 0) exit(1);
    };
    Compare("together", runs, together, oneAfterTheOther);
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 3) {
        fprintf(stderr, "usage: listing_bench listing DIR RUNS | children COUNT RUNS | sort COUNT RUNS | memory DIR... | "
                "analyze LEFT RIGHT\n");
        return 2;
    }
    std::string mode = argv[1];
    int runs = argc > 3 ? atoi(argv[3]) : 5;
    if (mode == "listing") return BenchListing(argv[2], runs);
    if (mode == "children") return BenchChildren(strtoul(argv[2], nullptr, 10), runs);
    if (mode == "sort") return BenchSort(strtoul(argv[2], nullptr, 10), runs);
    if (mode == "memory") return BenchMemory(argc - 2, argv + 2);
    if (mode == "together" && argc > 4) return BenchTogether(argv[2], argv[3], atoi(argv[4]));
    if (mode == "analyze" && argc > 3) return BenchAnalysis(argv[2], argv[3]);
    return 2;
}
