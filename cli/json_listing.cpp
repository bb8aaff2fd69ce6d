#include "cli/json_listing.h"

#include "analysis/child_index.h"
#include "model/names.h"
#include "model/text.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace cli {

namespace {

const char* const kStateNames[] = {"identical", "new", "missing", "modified", "unknown"};

struct JsonLine {
    std::string key;  // the path in UTF-8, as the text listing sorts it
    std::string text;
};

// A folder of the first tree with its folder in the second, if there is one.
struct FolderPair {
    const FileNode* left;
    FileNode* right;
    std::wstring prefix;  // the folder's relative path with its backslash; empty for the roots
};

void AppendEscapedUnit(std::string* out, unsigned unit) {
    char escape[6] = {'\\', 'u'};
    WriteHexDigits(escape + 2, unit, 4, false);
    out->append(escape, 6);
}

// UTF-16 as UTF-8. For JSON, escaped as a string's content must be, a lone
// surrogate kept as its escape; otherwise a lone surrogate becomes U+FFFD, as
// the system's conversion makes it in the text listing.
void AppendUtf8(std::string* out, const std::wstring& text, bool json) {
    for (size_t index = 0; index < text.size();) {
        const unsigned point = NextCodePoint(text.data(), text.size(), &index);
        if (json && (point == L'"' || point == L'\\')) {
            *out += '\\';
            *out += static_cast<char>(point);
        } else if (json && (point < 0x20 || IsSurrogate(point))) {
            AppendEscapedUnit(out, point);
        } else {
            char bytes[4];
            out->append(bytes, EncodeUtf8(IsSurrogate(point) ? 0xFFFD : point, bytes));
        }
    }
}

// {"size":N,"time":T} for a file, {"time":T} for a folder, whose size says nothing.
void AppendSide(std::string* json, const FileNode* node) {
    if (!node) {
        *json += "null";
        return;
    }
    *json += '{';
    if (!IsFolderNode(node)) *json += "\"size\":" + std::to_string(node->size) + ',';
    *json += "\"time\":";
    AppendJsonTime(json, node->lastWriteTime);
    *json += '}';
}

// Why a modified file differs: the comparison's own test, told from the two sides.
const char* ModifiedReason(const FileNode* left, const FileNode* right, bool compareContent) {
    if (compareContent) return "content";
    if (left->size != right->size) return "size";
    return CompareFileTime(&left->lastWriteTime, &right->lastWriteTime) > 0 ? "newer-left" : "newer-right";
}

// The record of `node`, seen from LEFT; `counterpart` is its node in the second tree, if any.
std::string Record(const FileNode* node, const FileNode* counterpart, const std::wstring& path, bool compareContent,
                   char terminator) {
    const DiffState state = node->state;
    // The first tree holds an image of each item only in RIGHT, and the second one of each only in LEFT.
    const FileNode* left = state == DiffMissing ? nullptr : node;
    const FileNode* right = state == DiffNew ? nullptr : state == DiffMissing && !counterpart ? node : counterpart;
    std::string json = "{\"state\":\"";
    json += state <= DiffUnknown ? kStateNames[state] : "?";
    json += IsFolderNode(node) ? "\",\"kind\":\"folder\",\"path\":" : "\",\"kind\":\"file\",\"path\":";
    AppendJsonString(&json, path);
    json += ",\"left\":";
    AppendSide(&json, left);
    json += ",\"right\":";
    AppendSide(&json, right);
    if (state == DiffModified && !IsFolderNode(node) && left && right) {
        json += ",\"reason\":\"";
        json += ModifiedReason(left, right, compareContent);
        json += '"';
    }
    json += '}';
    json += terminator;
    return json;
}

}  // namespace

void AppendJsonString(std::string* json, const std::wstring& text) {
    *json += '"';
    AppendUtf8(json, text, true);
    *json += '"';
}

void AppendJsonTime(std::string* json, const FILETIME& time) {
    char text[kIsoTimeBytes + 2];
    text[0] = '"';
    const size_t length = FormatIsoTime((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime,
                                        text + 1);
    text[length + 1] = '"';
    json->append(text, length + 2);
}

// Walks both trees together, without recursion, so that the other side of
// each item is found through its folder's index rather than a path lookup.
std::string ListItemsAsJson(const BackgroundOpsData* data, bool all, char terminator) {
    std::vector<JsonLine> lines;
    std::vector<FolderPair> pending;
    pending.push_back(FolderPair{data->slots[0].tree->root, data->slots[1].tree->root, std::wstring()});
    while (!pending.empty()) {
        FolderPair current = std::move(pending.back());
        pending.pop_back();
        // Without memory for an index, lookups walk the folder's list instead.
        ChildIndex others;
        if (current.right) others.Build(current.right);
        for (const FileNode* child = current.left->firstChild; child; child = child->nextSibling) {
            if (IsDotOrDotDot(child->name)) continue;
            const bool listed = all || child->state != DiffIdentical;
            if (!listed && !IsFolderNode(child)) continue;
            FileNode* counterpart = current.right ? others.Find(child->name) : nullptr;
            const std::wstring path = current.prefix + child->name;
            if (listed) {
                JsonLine line;
                AppendUtf8(&line.key, path, false);
                line.text = Record(child, counterpart, path, data->compareContent != 0, terminator);
                lines.push_back(std::move(line));
            }
            if (IsFolderNode(child)) {
                FileNode* folder = counterpart && IsFolderNode(counterpart) ? counterpart : nullptr;
                pending.push_back(FolderPair{child, folder, path + L"\\"});
            }
        }
    }
    std::sort(lines.begin(), lines.end(), [](const JsonLine& a, const JsonLine& b) { return a.key < b.key; });
    std::string text;
    for (const JsonLine& line : lines) text += line.text;
    return text;
}

}  // namespace cli
