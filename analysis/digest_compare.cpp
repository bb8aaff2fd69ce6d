#include "analysis/digest_compare.h"

#include "analysis/child_index.h"
#include "analysis/content_pair.h"
#include "analysis/skip_log.h"
#include "analysis/state_marks.h"
#include "analysis/state_walk.h"
#include "model/catalog.h"
#include "model/file_digest.h"
#include "model/file_times.h"
#include "model/memory.h"
#include "model/names.h"
#include "model/pending_stack.h"
#include "model/system_error.h"
#include "model/text.h"

#include <cstring>
#include <initializer_list>

namespace {

struct DigestRun {
    BackgroundOpsData* data;
    FileDigester digester;  // opened when a side is a folder
    wchar_t* path;  // of the file being digested, or the one to log
    ContentProgress progress;
    uint64_t bytesRead;
};

bool IsCompared(const FileNode* node) { return node->state == DiffIdentical || node->state == DiffModified; }

// One side's digest of a file: the catalog's, or the file's own, read now.
// Returns 0, kCatalogHasNoDigest, ERROR_CANCELLED or the code of the read,
// with the file's path left in the run for the log.
DWORD SideDigest(DigestRun* run, unsigned side, const FileNode* file, FileDigest* digest) {
    const LocationSlot* slot = &run->data->slots[side];
    const FileDigest* listed = slot->catalog ? FindCatalogDigest(slot->catalog, file) : nullptr;
    if (listed) {
        *digest = *listed;
        return ERROR_SUCCESS;
    }
    if (!BuildNodePath(slot->rootPath, file, run->path)) {
        CopyText(run->path, kPathUnits, file->name);
        return ERROR_FILENAME_EXCED_RANGE;
    }
    if (slot->catalog) return kCatalogHasNoDigest;
    DWORD status =
        DigestFile(&run->digester, run->path, file->size, &run->data->cancelRequested, digest, &run->bytesRead);
    ReportContentProgress(run->bytesRead, &run->progress);
    return status;
}

DWORD ComparePair(DigestRun* run, FileNode* file0, FileNode* file1) {
    FileNode* const files[2] = {file0, file1};
    if (file0->size != file1->size) {
        MarkModified(file0);
        MarkModified(file1);
        return ERROR_SUCCESS;
    }
    // The catalog's side first: a digest it lacks spares the reading of the other file.
    const unsigned first = run->data->slots[0].catalog ? 0 : 1;
    FileDigest digests[2];
    for (unsigned side : {first, 1 - first}) {
        DWORD status = SideDigest(run, side, files[side], &digests[side]);
        if (status == ERROR_CANCELLED) return status;
        // Both files of a pair whose digest cannot be had are Unknown, and the file logged.
        if (status != ERROR_SUCCESS)
            return MarkPairUnknown(file0, file1, run->path, status, SkipLogAppendLines) ? ERROR_SUCCESS
                                                                                        : ERROR_INTERNAL_ERROR;
    }
    if (memcmp(digests[0].bytes, digests[1].bytes, kDigestBytes) != 0) {
        MarkModified(file0);
        MarkModified(file1);
        if (SameFileTime(file0->lastWriteTime, file1->lastWriteTime, run->data->timeRule))
            ++run->data->slots[0].changedWithoutNewTime;
    }
    return ERROR_SUCCESS;
}

// Compares the file pairs of one folder pair; subfolder pairs go on `pending`.
DWORD CompareDigestsOfFolderPair(DigestRun* run, const FolderPair& pair, PendingStack<FolderPair>* pending) {
    ChildIndex counterparts;
    if (!counterparts.Build(pair.counterpart)) return ERROR_NOT_ENOUGH_MEMORY;
    for (FileNode* child = pair.folder->firstChild; child; child = child->nextSibling) {
        if (!IsCompared(child) || IsDotOrDotDot(child->name)) continue;
        FileNode* counterpart = counterparts.Find(child->name);
        if (!counterpart || !IsCompared(counterpart) || IsFolderNode(child) != IsFolderNode(counterpart)) continue;
        if (IsFolderNode(child)) {
            if (!pending->Push(FolderPair{child, counterpart, 0})) return ERROR_NOT_ENOUGH_MEMORY;
            continue;
        }
        if (run->data->cancelRequested) return ERROR_CANCELLED;
        DWORD status = ComparePair(run, child, counterpart);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

}  // namespace

DWORD CompareByDigests(BackgroundOpsData* data, DWORD startTick) {
    DigestRun run = {data, {}, nullptr, {data, startTick, startTick, data->slots[0].commonBytes}, 0};
    MemBlock<wchar_t> path(kPathUnits);
    run.path = path.Get();
    if (!run.path) return ERROR_NOT_ENOUGH_MEMORY;
    DWORD status = ERROR_SUCCESS;
    if (!data->slots[0].catalog || !data->slots[1].catalog) status = OpenFileDigester(&run.digester);
    PendingStack<FolderPair> pending = {};
    FolderPair pair = {data->slots[0].tree->root, data->slots[1].tree->root, 0};
    if (status == ERROR_SUCCESS) {
        do {
            status = CompareDigestsOfFolderPair(&run, pair, &pending);
        } while (status == ERROR_SUCCESS && pending.Pop(&pair));
    }
    pending.Free();
    CloseFileDigester(&run.digester);
    return status;
}
