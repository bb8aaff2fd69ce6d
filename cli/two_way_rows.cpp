#include "cli/two_way_rows.h"

#include "analysis/skip_log.h"
#include "cli/console.h"
#include "model/names.h"
#include "model/scan.h"
#include "sync/temporary_names.h"
#include "model/system_error.h"

#include <algorithm>
#include <cstring>

namespace cli {

namespace {

const wchar_t kKeySeparator = 1;

TwoWaySide SideOfNode(const FileNode* node) {
    TwoWaySide side = {};
    side.kind = node->state == DiffUnknown ? TwoWayUnknown : IsFolderNode(node) ? TwoWayFolder : TwoWayFile;
    side.size = IsFolderNode(node) ? 0 : node->size;
    side.time = node->lastWriteTime;
    side.attributes = node->attributes;
    return side;
}

// Reads the file's digest into `side`; a file that cannot be read is unknown, and logged.
DWORD Digest(FileDigester* digester, const std::wstring& path, const volatile LONG* cancel, TwoWaySide* side) {
    uint64_t read = 0;
    const DWORD status = DigestFile(digester, path.c_str(), side->size, cancel, &side->digest, &read);
    if (status == ERROR_SUCCESS || status == ERROR_CANCELLED) {
        side->hasDigest = status == ERROR_SUCCESS;
        return status;
    }
    side->kind = TwoWayUnknown;
    return LogSkippedPath(SkipLogAppendLines, path.c_str(), status) ? ERROR_SUCCESS : ERROR_INTERNAL_ERROR;
}

bool KeyLess(const SourceEntry& a, const SourceEntry& b) { return a.key < b.key; }

}  // namespace

std::wstring TwoWayKey(const wchar_t* path, size_t length) {
    const wchar_t* fold = NameFoldTable();
    std::wstring key(length, L'\0');
    for (size_t index = 0; index < length; ++index)
        key[index] = path[index] == L'\\' ? kKeySeparator : fold[static_cast<uint16_t>(path[index])];
    return key;
}

TwoWaySide SideOfCatalogEntry(const CatalogEntry* entry) {
    TwoWaySide side = {};
    if (!entry) return side;
    side.kind = entry->kind == CatalogFile     ? TwoWayFile
                : entry->kind == CatalogFolder ? TwoWayFolder
                                               : TwoWayUnknown;
    side.size = entry->size;
    side.time = FileTimeOfTicks(entry->time);
    side.attributes = entry->attributes;
    side.hasDigest = entry->hasDigest;
    side.digest = entry->digest;
    return side;
}

bool CatalogEntryOfSide(const TwoWaySide& side, CatalogEntry* entry) {
    if (side.kind == TwoWayNone) return false;
    const bool folder = side.kind == TwoWayFolder || (side.kind == TwoWayUnknown && IsFolderAttributes(side.attributes));
    *entry = CatalogEntry{side.kind == TwoWayUnknown ? (folder ? CatalogUnknownFolder : CatalogUnknownFile)
                          : folder                   ? CatalogFolder
                                                     : CatalogFile,
                          folder ? 0 : side.size,
                          FileTimeTicks(side.time),
                          side.attributes,
                          side.kind == TwoWayFile && side.hasDigest,
                          side.digest};
    return true;
}

DWORD ListScannedTree(const LocationTree* tree, const std::wstring& root, FileDigester* digester,
                      const volatile LONG* cancel, SourceEntries* entries) {
    struct Frame {
        const FileNode* node;
        std::wstring path;  // relative, a backslash ending it; empty for the root
    };
    std::vector<Frame> pending = {{tree->root, std::wstring()}};
    while (!pending.empty()) {
        const Frame frame = pending.back();
        pending.pop_back();
        for (const FileNode* child = frame.node->firstChild; child; child = child->nextSibling) {
            if (IsDotOrDotDot(child->name)) continue;
            if (cancel && *cancel) return ERROR_CANCELLED;
            SourceEntry entry = {};
            entry.path = frame.path + child->name;
            entry.key = TwoWayKey(entry.path.c_str(), entry.path.size());
            entry.side[0] = SideOfNode(child);
            if (digester && entry.side[0].kind == TwoWayFile) {
                const DWORD status = Digest(digester, root + entry.path, cancel, &entry.side[0]);
                if (status != ERROR_SUCCESS) return status;
            }
            // An unknown folder was not listed: it holds nothing to go by.
            if (entry.side[0].kind == TwoWayFolder) pending.push_back(Frame{child, entry.path + L"\\"});
            entries->push_back(std::move(entry));
        }
    }
    return ERROR_SUCCESS;
}

std::wstring ScanSides(const std::wstring (&roots)[2], const ExclusionList* exclusions, bool content,
                       const volatile LONG* cancel, SourceEntries* sides) {
    FileDigester digester = {};
    if (content) {
        const DWORD opened = OpenFileDigester(&digester);
        if (opened != ERROR_SUCCESS) return L"the digests cannot be made: " + SystemMessage(opened);
    }
    std::wstring problem;
    for (int side = 0; problem.empty() && side < 2; ++side) {
        LocationTree* tree = CreateLocationTree();
        if (!tree) {
            problem = kNoMemoryText;
            break;
        }
        ScanContext context = {nullptr, SkipLogAppendLines, cancel, nullptr, nullptr, exclusions, nullptr};
        DWORD status = ScanLocation(tree, roots[side].c_str(), &context);
        if (status == ERROR_SUCCESS)
            status = ListScannedTree(tree, roots[side], content ? &digester : nullptr, cancel, &sides[side]);
        DestroyLocationTree(tree);
        if (cancel && *cancel) {
            problem = L"Operation canceled by user; nothing was changed";
        } else if (status == ERROR_INTERNAL_ERROR || status == ERROR_LOG_FILE_FULL) {
            problem = L"Error log can not be saved";
        } else if (status != ERROR_SUCCESS) {
            problem = std::wstring(side ? L"RIGHT" : L"LEFT") + L" folder cannot be read: " + SystemMessage(status);
        }
    }
    CloseFileDigester(&digester);
    return problem;
}

void MergeSources(SourceEntries (&sources)[3], bool firstRun, TwoWayRows* rows) {
    for (SourceEntries& source : sources) std::sort(source.begin(), source.end(), KeyLess);
    size_t next[3] = {};
    // The rows the row being added may lie in, outermost first, with their keys.
    std::vector<std::pair<uint32_t, std::wstring>> open;
    for (;;) {
        const std::wstring* key = nullptr;
        for (int source = 0; source < 3; ++source) {
            if (next[source] < sources[source].size() && (!key || sources[source][next[source]].key < *key))
                key = &sources[source][next[source]].key;
        }
        if (!key) break;
        const std::wstring taken = *key;
        TwoWayEntry entry = {};
        std::wstring path;
        // LEFT's name first, then RIGHT's, then the baseline's: the last one read stands.
        for (int source : {0, 2, 1}) {
            // Names that fold together in one folder are each unknown: one row stands for them.
            while (next[source] < sources[source].size() && sources[source][next[source]].key == taken) {
                const SourceEntry& found = sources[source][next[source]++];
                path = found.path;
                if (source == 0) {
                    entry.base[0] = found.side[0];
                    entry.base[1] = found.side[1];
                } else {
                    entry.now[source - 1] = found.side[0];
                }
            }
        }
        const uint32_t index = static_cast<uint32_t>(rows->entries.size());
        while (!open.empty()) {
            const std::wstring& folder = open.back().second;
            if (taken.size() > folder.size() && taken.compare(0, folder.size(), folder) == 0 &&
                taken[folder.size()] == kKeySeparator)
                break;
            rows->entries[open.back().first].end = index;
            open.pop_back();
        }
        const size_t name = path.rfind(L'\\') + 1;
        entry.leftover = !firstRun && IsTemporaryName(path.c_str() + name);
        entry.parent = open.empty() ? kNoTwoWayParent : open.back().first;
        entry.end = index + 1;
        rows->entries.push_back(entry);
        rows->paths.push_back(path);
        open.emplace_back(index, taken);
    }
    for (const auto& folder : open) rows->entries[folder.first].end = static_cast<uint32_t>(rows->entries.size());
}

bool ReadBackSide(const std::wstring& path, FileDigester* digester, TwoWaySide* side) {
    *side = TwoWaySide{};
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    // A link made meanwhile is never recorded as what it points to.
    if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    side->attributes = data.dwFileAttributes;
    side->time = data.ftLastWriteTime;
    if (IsFolderAttributes(data.dwFileAttributes)) {
        side->kind = TwoWayFolder;
        return true;
    }
    side->kind = TwoWayFile;
    side->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    if (!digester) return true;
    uint64_t read = 0;
    side->hasDigest = DigestFile(digester, path.c_str(), side->size, nullptr, &side->digest, &read) == ERROR_SUCCESS;
    return side->hasDigest;
}

}  // namespace cli
