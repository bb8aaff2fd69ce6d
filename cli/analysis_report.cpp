#include "cli/analysis_report.h"

#include "model/location_paths.h"
#include "model/names.h"

#include <algorithm>
#include <cwchar>

namespace cli {

namespace {

const char* const kStateWords[] = {"Identical", "New", "Missing", "Modified", "Unknown"};

struct NodeLine {
    int side;
    std::string path;
    std::string text;
};

void CollectLines(int side, const FileNode* folder, const std::wstring& prefix, std::vector<NodeLine>* lines) {
    for (const FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (IsDotOrDotDot(child->name)) continue;
        std::wstring path = prefix + child->name;
        NodeLine line{side, ToUtf8(path), std::string()};
        line.text = std::to_string(side) + '\t' + (child->state <= DiffUnknown ? kStateWords[child->state] : "?") +
                    '\t' + (IsFolderNode(child) ? 'D' : 'F') + '\t' + line.path + '\n';
        lines->push_back(std::move(line));
        if (IsFolderNode(child)) CollectLines(side, child, path + L"\\", lines);
    }
}

uint32_t CountBelow(const FileNode* folder) {
    uint32_t count = 0;
    for (const FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (IsDotOrDotDot(child->name)) continue;
        count += 1 + CountBelow(child);
    }
    return count;
}

// Bytes of the pairs below `folder` that ended Unknown and so were never read.
uint64_t UnreadBytes(const FileNode* folder, const std::wstring& treePath, const LocationTree* other) {
    uint64_t bytes = 0;
    for (const FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (IsDotOrDotDot(child->name)) continue;
        std::wstring path = treePath + child->name + L"\\";
        if (IsFolderNode(child)) {
            bytes += UnreadBytes(child, path, other);
        } else if (child->state == DiffUnknown) {
            const FileNode* counterpart = FindNodeByPath(other, path.c_str());
            if (counterpart && !IsFolderNode(counterpart)) bytes += std::min(child->size, counterpart->size);
        }
    }
    return bytes;
}

}  // namespace

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                   nullptr);
    std::string bytes(size > 0 ? size : 0, '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
    return bytes;
}

std::string ListAnalysedNodes(const BackgroundOpsData* data) {
    std::vector<NodeLine> lines;
    for (int side = 0; side < 2; ++side) CollectLines(side, data->slots[side].tree->root, L"", &lines);
    // Byte order of UTF-8 is code point order.
    std::sort(lines.begin(), lines.end(), [](const NodeLine& a, const NodeLine& b) {
        return a.side != b.side ? a.side < b.side : a.path < b.path;
    });
    std::string text;
    for (const NodeLine& line : lines) text += line.text;
    return text;
}

uint32_t CountNodes(const LocationTree* tree) { return tree && tree->root ? CountBelow(tree->root) : 0; }

uint64_t BytesCompared(const BackgroundOpsData* data) {
    if (!data->compareContent) return 0;
    uint64_t amount = data->slots[0].commonBytes;
    uint64_t unread = UnreadBytes(data->slots[0].tree->root, kRootTreePath, data->slots[1].tree);
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
