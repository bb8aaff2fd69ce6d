#include "cli/json_listing.h"

#include "analysis/child_index.h"
#include "model/names.h"

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

bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(wchar_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

void AppendCodePoint(std::string* out, unsigned point) {
    if (point < 0x80) {
        *out += static_cast<char>(point);
    } else if (point < 0x800) {
        *out += static_cast<char>(0xC0 | (point >> 6));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        *out += static_cast<char>(0xE0 | (point >> 12));
        *out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (point >> 18));
        *out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (point & 0x3F));
    }
}

void AppendEscapedUnit(std::string* out, wchar_t unit) {
    char escape[8];
    snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(static_cast<unsigned short>(unit)));
    *out += escape;
}

// UTF-16 as UTF-8. For JSON, escaped as a string's content must be, a lone
// surrogate kept as its escape; otherwise a lone surrogate becomes U+FFFD, as
// the system's conversion makes it in the text listing.
void AppendUtf8(std::string* out, const std::wstring& text, bool json) {
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t unit = text[i];
        if (json && (unit == L'"' || unit == L'\\')) {
            *out += '\\';
            *out += static_cast<char>(unit);
        } else if (json && unit < 0x20) {
            AppendEscapedUnit(out, unit);
        } else if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            if (json) {
                AppendEscapedUnit(out, unit);
            } else {
                AppendCodePoint(out, 0xFFFD);
            }
        } else {
            AppendCodePoint(out, static_cast<unsigned short>(unit));
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
    SYSTEMTIME utc;
    if (!FileTimeToSystemTime(&time, &utc)) {
        *json += "null";
        return;
    }
    const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    char text[40];
    snprintf(text, sizeof(text), "\"%04u-%02u-%02uT%02u:%02u:%02u.%07uZ\"", utc.wYear, utc.wMonth, utc.wDay,
             utc.wHour, utc.wMinute, utc.wSecond, static_cast<unsigned>(ticks % 10000000));
    *json += text;
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
