#include "cli/analysis_report.h"

#include "cli/console.h"
#include "model/location_paths.h"
#include "model/names.h"

#include <algorithm>
#include <cwchar>

namespace cli {

namespace {

const char* const kStateWords[] = {"Identical", "New", "Missing", "Modified", "Unknown"};
const char* const kStateCapitals[] = {"IDENTICAL", "NEW", "MISSING", "MODIFIED", "UNKNOWN"};

struct NodeLine {
    int side;
    std::string path;
    std::string text;
};

// Calls `visit(node, folderPath)` for every node below `root` except "." and
// "..", where folderPath + node->name is the node's relative path, without
// recursion, so that no depth of tree can overflow the stack. Only the visits
// that need a node's path build it: most nodes of a large tree need none.
template <typename Visit>
void ForEachNode(const FileNode* root, Visit visit) {
    struct Pending {
        const FileNode* folder;
        std::wstring prefix;
    };
    std::vector<Pending> pending;
    pending.push_back(Pending{root, std::wstring()});
    while (!pending.empty()) {
        Pending current = std::move(pending.back());
        pending.pop_back();
        for (const FileNode* child = current.folder->firstChild; child; child = child->nextSibling) {
            if (IsDotOrDotDot(child->name)) continue;
            visit(child, current.prefix);
            if (IsFolderNode(child)) pending.push_back(Pending{child, current.prefix + child->name + L"\\"});
        }
    }
}

// Byte order of UTF-8 is code point order.
std::string SortedText(std::vector<NodeLine>* lines) {
    std::sort(lines->begin(), lines->end(), [](const NodeLine& a, const NodeLine& b) {
        return a.side != b.side ? a.side < b.side : a.path < b.path;
    });
    size_t size = 0;
    for (const NodeLine& line : *lines) size += line.text.size();
    std::string text;
    text.reserve(size);
    for (const NodeLine& line : *lines) text += line.text;
    return text;
}

const char* StateWord(const char* const* words, DiffState state) { return state <= DiffUnknown ? words[state] : "?"; }

}  // namespace

std::string ListDifferences(const BackgroundOpsData* data, char terminator) {
    std::vector<NodeLine> lines;
    ForEachNode(data->slots[0].tree->root, [&](const FileNode* node, const std::wstring& folderPath) {
        if (node->state == DiffIdentical) return;
        NodeLine line{0, ToUtf8(folderPath + node->name), std::string()};
        line.text = std::string(StateWord(kStateCapitals, node->state)) + '\t' +
                    (IsFolderNode(node) ? "folder" : "file") + '\t' + line.path + terminator;
        lines.push_back(std::move(line));
    });
    return SortedText(&lines);
}

std::string ListAnalysedNodes(const BackgroundOpsData* data, char terminator) {
    std::vector<NodeLine> lines;
    for (int side = 0; side < 2; ++side) {
        ForEachNode(data->slots[side].tree->root, [&](const FileNode* node, const std::wstring& folderPath) {
            NodeLine line{side, ToUtf8(folderPath + node->name), std::string()};
            line.text = std::to_string(side) + '\t' + StateWord(kStateWords, node->state) + '\t' +
                        (IsFolderNode(node) ? 'D' : 'F') + '\t' + line.path + terminator;
            lines.push_back(std::move(line));
        });
    }
    return SortedText(&lines);
}

StateCounts CountStates(const LocationTree* tree) {
    StateCounts counts = {};
    if (!tree || !tree->root) return counts;
    ForEachNode(tree->root, [&](const FileNode* node, const std::wstring&) {
        if (node->state <= DiffUnknown) ++counts.of[node->state];
    });
    return counts;
}

bool AnyDifference(const StateCounts& counts) {
    for (DiffState state : {DiffNew, DiffMissing, DiffModified, DiffUnknown}) {
        if (counts.of[state] > 0) return true;
    }
    return false;
}

uint64_t BytesCompared(const BackgroundOpsData* data) {
    if (!data->compareContent) return 0;
    uint64_t amount = data->slots[0].commonBytes;
    // The pairs that ended Unknown were never read.
    uint64_t unread = 0;
    const LocationTree* other = data->slots[1].tree;
    ForEachNode(data->slots[0].tree->root, [&](const FileNode* node, const std::wstring& folderPath) {
        if (IsFolderNode(node) || node->state != DiffUnknown) return;
        const std::wstring path = kRootTreePath + folderPath + node->name + L"\\";
        const FileNode* counterpart = FindNodeByPath(other, path.c_str());
        if (counterpart && !IsFolderNode(counterpart)) unread += std::min(node->size, counterpart->size);
    });
    return unread < amount ? amount - unread : 0;
}

std::wstring TimeSpan(DWORD milliseconds) {
    wchar_t text[kTimeSpanUnits];
    FormatTimeSpan(milliseconds, text);
    return text;
}

std::wstring ProgressEstimate::Update(DWORD elapsedMs, uint64_t totalBytes, uint64_t doneBytes) {
    if (doneBytes == totalBytes) return L"Progress 100 %  Elapsed time: " + TimeSpan(elapsedMs);
    std::wstring text = L"Progress " + std::to_wstring(ProgressPercent(totalBytes, doneBytes)) + L" %";
    DWORD remaining = 0;
    if (EstimateRemaining(&m_reference, &m_next, elapsedMs, totalBytes, doneBytes, &remaining))
        text += L"  Elapsed time: " + TimeSpan(elapsedMs) + L" (Remaining: " + TimeSpan(remaining) + L")";
    return text;
}

}  // namespace cli
