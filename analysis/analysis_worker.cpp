#include "analysis/analysis_worker.h"

#include "analysis/child_index.h"
#include "analysis/content_pair.h"
#include "analysis/digest_compare.h"
#include "analysis/skip_log.h"
#include "analysis/state_marks.h"
#include "analysis/state_walk.h"
#include "analysis/step_table.h"
#include "analysis/structure_compare.h"
#include "model/location_paths.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/pending_stack.h"
#include "model/scan.h"
#include "model/system_error.h"
#include "model/text.h"
#include "model/win_guards.h"

#include <cwchar>

namespace {

const wchar_t kParsing[] = L"Parsing files and folders...";
const wchar_t kParsingCompleted[] = L"Parsing files and folders completed";
const wchar_t kThreadFailed[] = L"Failed to create worker thread #1";
const wchar_t kParseFailed[] = L"Failed to parse files and folders";
const wchar_t kCanceled[] = L"Operation canceled by user";
const wchar_t kAnalyzingStructure[] = L"Analyzing files and folders structure...";
const wchar_t kStructureFailed[] = L"Failed to analyze files and folders structure";
const wchar_t kAnalyzingContent[] = L"Analyzing common files content...";
const wchar_t kEngineFailed[] = L"Failed to initialize IO engine";
const wchar_t kLogFailed[] = L"Error log can not be saved";
const wchar_t kReadFailed[] = L"Error reading file content";
const wchar_t kCompleted[] = L"Analysis completed";


bool CancelSignalled(HANDLE cancelEvent) { return WaitForSingleObject(cancelEvent, 0) == WAIT_OBJECT_0; }

// The other slot's text is emptied, then the failing slot's reason is sent.
DWORD ReportFailure(BackgroundOpsData* data, unsigned failing, const wchar_t* text, DWORD code) {
    unsigned other = 1 - failing;
    SetLocationStatus(&data->slots[other], L"", 0);
    NotifyAnalysis(data, WM_ANALYSIS_STATUS, other);
    SetLocationStatus(&data->slots[failing], text, code);
    NotifyAnalysis(data, WM_ANALYSIS_FAILED, failing);
    return 1;
}

// Both slots get the same text; a status for slot 0, the end for slot 1.
void ReportBothAndEnd(BackgroundOpsData* data, const wchar_t* text, DWORD code) {
    SetLocationStatus(&data->slots[0], text, code);
    SetLocationStatus(&data->slots[1], text, code);
    NotifyAnalysis(data, WM_ANALYSIS_STATUS, 0);
    NotifyAnalysis(data, WM_ANALYSIS_FAILED, 1);
}

void ReportBothStatus(BackgroundOpsData* data, const wchar_t* text) {
    SetLocationStatus(&data->slots[0], text, 0);
    SetLocationStatus(&data->slots[1], text, 0);
    NotifyAnalysis(data, WM_ANALYSIS_STATUS, 0);
    NotifyAnalysis(data, WM_ANALYSIS_STATUS, 1);
}

DWORD RunScanPhase(BackgroundOpsData* data) {
    const AnalysisStep* steps = AnalysisSteps(data->simultaneous != 0);
    for (unsigned index = 0; index < 4; ++index) {
        unsigned location = steps[index].location;
        LocationSlot* slot = &data->slots[location];
        if (steps[index].start) {
            SetLocationStatus(slot, kParsing, 0);
            NotifyAnalysis(data, WM_ANALYSIS_STATUS, location);
            slot->scanStarted = 1;
            slot->exclusions = data->exclusions;
            // Joined through the slot's event, not the handle, which goes at once.
            if (!StartCoreThread(ScanThread, slot).IsValid()) {
                DWORD error = GetLastError();
                slot->scanStarted = 0;
                return ReportFailure(data, location, kThreadFailed, error);
            }
        } else {
            WaitForSingleObject(slot->scanDoneEvent, INFINITE);
            if (slot->scanResult != ERROR_SUCCESS) return ReportFailure(data, location, kParseFailed, slot->scanResult);
            SetLocationStatus(slot, kParsingCompleted, 0);
            NotifyAnalysis(data, WM_ANALYSIS_STATUS, location);
        }
    }
    return 0;
}

// Relative path of a node of tree 0: its names below the root joined by backslashes.
bool BuildFilePaths(const BackgroundOpsData* data, const FileNode* file, wchar_t* path0, wchar_t* path1,
                    wchar_t* treePath) {
    if (!BuildNodePath(data->slots[0].rootPath, file, path0) || !BuildNodePath(data->slots[1].rootPath, file, path1) ||
        !BuildNodePath(kRootTreePath, file, treePath))
        return false;
    size_t length = wcslen(treePath);
    if (length + 1 >= kPathUnits) return false;
    treePath[length] = L'\\';
    treePath[length + 1] = 0;
    return true;
}

// The content phase's path buffers and folder stack, freed on every return.
struct ContentBuffers {
    wchar_t* path0 = nullptr;
    wchar_t* path1 = nullptr;
    wchar_t* treePath = nullptr;
    PendingStack<FileNode*> folders = {};
    bool Allocate() {
        path0 = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
        path1 = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
        treePath = static_cast<wchar_t*>(MemAlloc(kPathUnits * sizeof(wchar_t)));
        return path0 && path1 && treePath;
    }
    ~ContentBuffers() {
        MemFree(path0);
        MemFree(path1);
        MemFree(treePath);
        folders.Free();
    }
};

enum ContentEnd { ContentFinished, ContentCancelled, ContentFailed };

// Compares every common file pair below tree 0's root. On a failure the
// reason is left in `failedLocation`, `failText` and `failCode`.
// The node of the folder that holds the entry named by `treePath`, as a lookup
// of the folder's own path finds it.
FileNode* FindParentByPath(const LocationTree* tree, wchar_t* treePath) {
    size_t length = wcslen(treePath);
    if (length < 2) return nullptr;
    size_t cut = length - 1;
    while (cut > 0 && treePath[cut - 1] != L'\\') --cut;
    wchar_t kept = treePath[cut];
    treePath[cut] = 0;
    FileNode* parent = FindNodeByPath(tree, treePath);
    treePath[cut] = kept;
    return parent;
}

ContentEnd CompareContents(BackgroundOpsData* data, IoEngine* engine, ContentBuffers& buffers, CompareRun* run,
                           unsigned* failedLocation, const wchar_t** failText, DWORD* failCode) {
    const LocationTree* otherTree = data->slots[1].tree;
    for (FileNode* folder = data->slots[0].tree->root; folder;
         folder = buffers.folders.Pop(&folder) ? folder : nullptr) {
        // The folder's counterpart is found once; its children are indexed by name.
        FileNode* otherFolder = nullptr;
        ChildIndex otherChildren;
        for (FileNode* child = folder->firstChild; child; child = child->nextSibling) {
            if (child->state != DiffIdentical && child->state != DiffModified) continue;
            if (IsFolderNode(child)) {
                // A folder that cannot be remembered would go unread: the phase fails instead.
                if (!IsDotOrDotDot(child->name) && !buffers.folders.Push(child)) {
                    *failText = kReadFailed;
                    *failCode = ERROR_NOT_ENOUGH_MEMORY;
                    return ContentFailed;
                }
                continue;
            }
            DWORD openError = ERROR_SUCCESS;
            const wchar_t* failedPath = buffers.path0;
            FileNode* counterpart = nullptr;
            if (!BuildFilePaths(data, child, buffers.path0, buffers.path1, buffers.treePath)) {
                openError = ERROR_FILENAME_EXCED_RANGE;
                if (!BuildNodePath(L"", child, buffers.path0)) CopyText(buffers.path0, kPathUnits, child->name);
            } else {
                if (!otherFolder) {
                    otherFolder = FindParentByPath(otherTree, buffers.treePath);
                    // Without an index (memory ran out) lookups walk the child list.
                    if (otherFolder) otherChildren.Build(otherFolder);
                }
                counterpart = otherFolder ? otherChildren.Find(child->name) : nullptr;
                // Without a counterpart node its listed size is taken to be the same.
                const uint64_t size1 = counterpart ? counterpart->size : child->size;
                const bool overlapped = !PairFitsInOneChunk(child->size, size1);
                HANDLE file0 = OpenFileForComparison(buffers.path0, overlapped);
                if (file0 == INVALID_HANDLE_VALUE) {
                    openError = LastErrorOr(ERROR_OPEN_FAILED);
                } else {
                    IoChannelAttach(engine->channels[0], file0, child->size, overlapped);
                    HANDLE file1 = OpenFileForComparison(buffers.path1, overlapped);
                    if (file1 == INVALID_HANDLE_VALUE) {
                        openError = LastErrorOr(ERROR_OPEN_FAILED);
                        failedPath = buffers.path1;
                        IoChannelDetach(engine->channels[0]);
                    } else {
                        IoChannelAttach(engine->channels[1], file1, size1, overlapped);
                    }
                }
            }
            if (openError != ERROR_SUCCESS) {
                if (!MarkPairUnknown(child, counterpart, failedPath, openError, SkipLogAppendLines)) {
                    *failText = kLogFailed;
                    *failCode = openError;
                    return ContentFailed;
                }
                continue;
            }
            ReadFailure readFailure = {0, 0};
            switch (CompareNodePair(engine, run, child, counterpart, &readFailure)) {
            case CompareSame:
            case CompareDifferent:
                break;
            case CompareCancelled:
                return ContentCancelled;
            case CompareReadError:
                *failedLocation = readFailure.side;
                *failText = kReadFailed;
                *failCode = readFailure.code;
                return ContentFailed;
            }
        }
    }
    return ContentFinished;
}

}  // namespace

DWORD WINAPI ScanThread(void* parameter) {
    auto* slot = static_cast<LocationSlot*>(parameter);
    ScanContext context = {slot->cancelEvent, SkipLogAppendLines, slot->cancelRequested, &slot->foldersListed,
                           &slot->filesListed, slot->exclusions, &slot->entriesExcluded, &slot->linksLeftOut,
                           slot->recordLeftOut ? &slot->leftOut : nullptr};
    // A tree read from a catalog is whole already, and one of a folder yet to be made empty.
    slot->scanResult =
        slot->catalog || slot->absent ? ERROR_SUCCESS : ScanLocation(slot->tree, slot->rootPath, &context);
    // The slot may be released as soon as this is set.
    SetEvent(slot->scanDoneEvent);
    return 0;
}

DWORD WINAPI AnalysisWorker(void* parameter) {
    auto* data = static_cast<BackgroundOpsData*>(parameter);
    const DWORD startTick = GetTickCount();

    if (RunScanPhase(data) != 0) return 1;
    if (CancelSignalled(data->cancelEvent)) {
        ReportBothAndEnd(data, kCanceled, 0);
        return 0;
    }

    ReportBothStatus(data, kAnalyzingStructure);
    const TimeRule* timeRule = data->compareContent ? nullptr : &data->timeRule;
    for (unsigned pass = 0; pass < 2; ++pass) {
        // The first pass walks tree 1 against slot 0, the second tree 0 against slot 1.
        const unsigned walked = 1 - pass;
        data->slots[pass].commonBytes = 0;
        DWORD status = CompareStructure(data->slots[walked].tree->root, kRootTreePath, &data->slots[pass], timeRule);
        if (status == ERROR_INTERNAL_ERROR) {
            ReportBothAndEnd(data, kLogFailed, ERROR_ALREADY_EXISTS);
            return 1;
        }
        if (status != ERROR_SUCCESS) return ReportFailure(data, walked, kStructureFailed, 0);
    }
    if (CancelSignalled(data->cancelEvent)) {
        ReportBothAndEnd(data, kCanceled, 0);
        return 0;
    }

    if (data->compareContent && (data->slots[0].catalog || data->slots[1].catalog)) {
        // A catalog holds its files' digests, not their bytes.
        ReportBothStatus(data, kAnalyzingContent);
        DWORD status = CompareByDigests(data, startTick);
        if (status == ERROR_CANCELLED) {
            ReportBothAndEnd(data, kCanceled, 0);
            return 0;
        }
        if (status != ERROR_SUCCESS) {
            const bool logFailed = status == ERROR_INTERNAL_ERROR;
            ReportBothAndEnd(data, logFailed ? kLogFailed : kReadFailed, logFailed ? 0 : status);
            return 1;
        }
    } else if (data->compareContent) {
        ReportBothStatus(data, kAnalyzingContent);
        IoEngine engine;
        ContentBuffers buffers;
        // The walk's buffers count as part of the engine: without them it cannot run.
        if (!buffers.Allocate() || !IoEngineStart(&engine)) {
            SetLocationStatus(&data->slots[0], kEngineFailed, ERROR_NOT_ENOUGH_MEMORY);
            NotifyAnalysis(data, WM_ANALYSIS_FAILED, 0);
            SetLocationStatus(&data->slots[1], kEngineFailed, ERROR_NOT_ENOUGH_MEMORY);
            NotifyAnalysis(data, WM_ANALYSIS_FAILED, 1);
            return 1;
        }
        ContentProgress progress = {data, startTick, startTick, data->slots[0].commonBytes};
        CompareRun run = {data->cancelEvent, data->simultaneous != 0, ReportContentProgress, &progress,
                          &data->cancelRequested};
        unsigned failedLocation = 0;
        const wchar_t* failText = nullptr;
        DWORD failCode = 0;
        ContentEnd end = CompareContents(data, &engine, buffers, &run, &failedLocation, &failText, &failCode);
        // The readers are gone before the end is reported.
        IoEngineStop(&engine);
        if (end == ContentCancelled) {
            ReportBothAndEnd(data, kCanceled, 0);
            return 0;
        }
        if (end == ContentFailed) {
            if (failText == kLogFailed) {
                ReportBothAndEnd(data, kLogFailed, failCode);
            } else {
                ReportFailure(data, failedLocation, failText, failCode);
            }
            return 1;
        }
    }

    LocationSlot* first = &data->slots[0];
    {
        ScopedLock hold(&first->lock);
        first->elapsedMs = GetTickCount() - startTick;
        first->totalBytes = 1;
        first->doneBytes = 1;
    }
    NotifyAnalysis(data, WM_ANALYSIS_PROGRESS, 0);
    SetLocationStatus(&data->slots[0], kCompleted, 0);
    SetLocationStatus(&data->slots[1], kCompleted, 0);
    NotifyAnalysis(data, WM_ANALYSIS_DONE, 0);
    return 0;
}
