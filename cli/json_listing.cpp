#include "cli/json_listing.h"

#include "analysis/child_index.h"
#include "analysis/state_walk.h"
#include "model/file_times.h"
#include "model/location_tree.h"
#include "model/names.h"
#include "model/pending_stack.h"
#include "model/text.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>
#include <vector>

namespace cli {

namespace {

const char* const kStateNames[] = {"identical", "new", "missing", "modified", "unknown"};

struct JsonLine {
    std::string key;  // the path in UTF-8, as the text listing sorts it
    std::string text;
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

const char* KindWord(const FileNode* node) { return IsFolderNode(node) ? "folder" : "file"; }

// {"kind":"file","size":N,"time":T} for a file, {"kind":"folder","time":T} for
// a folder, whose size says nothing.
void AppendSide(std::string* json, const FileNode* node) {
    if (!node) {
        *json += "null";
        return;
    }
    *json += "{\"kind\":\"";
    *json += KindWord(node);
    *json += "\",";
    if (!IsFolderNode(node)) *json += "\"size\":" + std::to_string(node->size) + ',';
    *json += "\"time\":";
    AppendJsonTime(json, node->lastWriteTime);
    *json += '}';
}

// How the analysis compared: what a modified file's reason can tell.
struct ReasonRule {
    bool content;
    bool againstCatalog;  // a side is a catalog, whose digests stand for the files as they were
    TimeRule times;
};

// Why a modified file differs: the comparison's own test, told from the two
// sides. Against a catalog, content that changed under the same size and time
// is the sign of damage rather than of an edit.
const char* ModifiedReason(const FileNode* left, const FileNode* right, const ReasonRule& rule) {
    if (rule.content && rule.againstCatalog && left->size == right->size &&
        SameFileTime(left->lastWriteTime, right->lastWriteTime, rule.times))
        return "content-same-time";
    if (rule.content) return "content";
    if (left->size != right->size) return "size";
    return CompareFileTime(&left->lastWriteTime, &right->lastWriteTime) > 0 ? "newer-left" : "newer-right";
}

// The path of `node` relative to the roots, built in `path` (kPathUnits), and
// its sort key in `key`: the path in UTF-8, as the text listing sorts it.
std::wstring RelativePath(const FileNode* node, wchar_t* path, std::string* key) {
    if (!BuildNodePath(L"", node, path)) CopyText(path, kPathUnits, node->name);
    const std::wstring relative = path;
    AppendUtf8(key, relative, false);
    return relative;
}

// The record of an item in `state` whose nodes are `left` and `right` (null
// where it is absent), named by `node`: the text listing's kind and path.
// `path` (kPathUnits) is room for the path.
std::string Record(DiffState state, const FileNode* node, const FileNode* left, const FileNode* right,
                   const ReasonRule& rule, char terminator, wchar_t* path, std::string* key) {
    const std::wstring relative = RelativePath(node, path, key);
    std::string json = "{\"state\":\"";
    json += state <= DiffUnknown ? kStateNames[state] : "?";
    json += "\",\"kind\":\"";
    json += KindWord(node);
    json += "\",\"path\":";
    AppendJsonString(&json, relative);
    json += ",\"left\":";
    AppendSide(&json, left);
    json += ",\"right\":";
    AppendSide(&json, right);
    if (state == DiffModified && left && right && !IsFolderNode(left) && !IsFolderNode(right)) {
        json += ",\"reason\":\"";
        json += ModifiedReason(left, right, rule);
        json += '"';
    }
    json += '}';
    json += terminator;
    return json;
}

const char* const kDifferenceWords[] = {"missing", "added", "damaged", "changed", "unreadable"};

// What an item of the analysis of a catalog (LEFT) against its folder is to a
// backup's user; kVerifyDifferences for none (an identical item, a folder that
// holds differences).
VerifyDifference DifferenceOf(DiffState state, const FileNode* left, const FileNode* right, const ReasonRule& rule) {
    switch (state) {
    case DiffNew:
        return VerifyMissing;
    case DiffMissing:
        return VerifyAdded;
    case DiffUnknown:
        return VerifyUnreadable;
    case DiffModified:
        if (!left || !right || IsFolderNode(left) || IsFolderNode(right)) return kVerifyDifferences;
        return strcmp(ModifiedReason(left, right, rule), "content-same-time") == 0 ? VerifyDamaged : VerifyChanged;
    default:
        return kVerifyDifferences;
    }
}

// verify's record: DIFFERENCE<TAB>KIND<TAB>PATH, or its JSON object with the
// catalog's side and the folder's.
std::string DifferenceRecord(VerifyDifference difference, const FileNode* node, const FileNode* left,
                             const FileNode* right, bool json, char terminator, wchar_t* path, std::string* key) {
    const std::wstring relative = RelativePath(node, path, key);
    std::string text;
    if (!json) {
        text = std::string(kDifferenceWords[difference]) + '\t' + KindWord(node) + '\t' + *key + terminator;
        return text;
    }
    text = "{\"difference\":\"";
    text += kDifferenceWords[difference];
    text += "\",\"kind\":\"";
    text += KindWord(node);
    text += "\",\"path\":";
    AppendJsonString(&text, relative);
    text += ",\"catalog\":";
    AppendSide(&text, left);
    text += ",\"folder\":";
    AppendSide(&text, right);
    text += '}';
    text += terminator;
    return text;
}

// The node of `folder` that stands for `child` of the other tree's folder:
// the one of its very name where the folder holds names equal but for case,
// so that each of two case twins is paired with its own namesake.
FileNode* CounterpartOf(const FileNode* child, const ChildIndex& index, const FileNode* folder) {
    FileNode* match = index.Find(child->name);
    if (!match || wcscmp(match->name, child->name) == 0) return match;
    for (FileNode* other = folder->firstChild; other; other = other->nextSibling) {
        if (wcscmp(other->name, child->name) == 0) return other;
    }
    // The match is the namesake of a twin of the child's own folder, not the child's.
    for (const FileNode* sibling = child->parent->firstChild; sibling; sibling = sibling->nextSibling) {
        if (sibling != child && wcscmp(sibling->name, match->name) == 0) return nullptr;
    }
    return match;
}

// The records of one pair of folders, and the pairs below it. A folder of the
// second tree with no folder in the first (a folder against a file, say) is
// walked alone, its items listed with LEFT absent, as the full text listing
// lists them.
// With `differences`, the walk lists verify's records instead, and counts them.
class JsonWalk {
public:
    JsonWalk(const BackgroundOpsData* data, bool all, char terminator, VerifyCounts* differences = nullptr,
             bool json = true)
        : m_all(all),
          m_rule{data->compareContent != 0, data->slots[0].catalog || data->slots[1].catalog, data->timeRule},
          m_terminator(terminator),
          m_differences(differences),
          m_json(json) {}
    ~JsonWalk() {
        m_pairs.Free();
        m_alone.Free();
    }
    void Run(FileNode* left, FileNode* right) {
        FolderPair pair = {left, right, 0};
        do {
            Pair(pair);
        } while (m_pairs.Pop(&pair));
        FileNode* alone = nullptr;
        while (m_alone.Pop(&alone)) Alone(alone);
    }
    std::vector<JsonLine> lines;

private:
    void Add(DiffState state, const FileNode* node, const FileNode* left, const FileNode* right) {
        JsonLine line;
        if (m_differences) {
            const VerifyDifference difference = DifferenceOf(state, left, right, m_rule);
            if (difference == kVerifyDifferences) return;
            ++m_differences->of[difference];
            line.text = DifferenceRecord(difference, node, left, right, m_json, m_terminator, m_path.data(),
                                         &line.key);
        } else {
            line.text = Record(state, node, left, right, m_rule, m_terminator, m_path.data(), &line.key);
        }
        lines.push_back(std::move(line));
    }
    template <typename T>
    static void Push(PendingStack<T>* stack, const T& item) {
        if (!stack->Push(item)) throw std::bad_alloc();
    }
    void Pair(const FolderPair& pair);
    void Alone(FileNode* folder);

    std::vector<wchar_t> m_path = std::vector<wchar_t>(kPathUnits);
    PendingStack<FolderPair> m_pairs = {};
    PendingStack<FileNode*> m_alone = {};
    bool m_all;
    ReasonRule m_rule;
    char m_terminator;
    VerifyCounts* m_differences;
    bool m_json;
};

void JsonWalk::Pair(const FolderPair& pair) {
    // Without memory for an index, lookups walk the folder's list instead.
    ChildIndex others;
    if (pair.counterpart) others.Build(pair.counterpart);
    for (FileNode* child = pair.folder->firstChild; child; child = child->nextSibling) {
        if (IsDotOrDotDot(child->name)) continue;
        const DiffState state = child->state;
        const bool listed = m_all || state != DiffIdentical;
        if (!listed && !IsFolderNode(child)) {
            if (m_differences) ++m_differences->intact;
            continue;
        }
        FileNode* counterpart = pair.counterpart ? CounterpartOf(child, others, pair.counterpart) : nullptr;
        if (listed) {
            // The first tree holds an image of each item only in RIGHT, and the second one of each only in LEFT.
            const FileNode* left = state == DiffMissing ? nullptr : child;
            const FileNode* right = state == DiffNew                     ? nullptr
                                    : state == DiffMissing && !counterpart ? child
                                                                           : counterpart;
            Add(state, child, left, right);
        }
        const bool otherIsFolder = counterpart && IsFolderNode(counterpart);
        if (IsFolderNode(child)) {
            Push(&m_pairs, FolderPair{child, otherIsFolder ? counterpart : nullptr, 0});
        } else if (m_all && otherIsFolder) {
            Push(&m_alone, counterpart);
        }
    }
    if (!m_all || !pair.counterpart) return;
    // Items of the second tree with no image in the first: those the analysis could not stand for.
    ChildIndex own;
    own.Build(pair.folder);
    for (FileNode* other = pair.counterpart->firstChild; other; other = other->nextSibling) {
        if (IsDotOrDotDot(other->name) || CounterpartOf(other, own, pair.folder)) continue;
        Add(other->state, other, nullptr, other);
        if (IsFolderNode(other)) Push(&m_alone, other);
    }
}

void JsonWalk::Alone(FileNode* folder) {
    for (FileNode* child = folder->firstChild; child; child = child->nextSibling) {
        if (IsDotOrDotDot(child->name)) continue;
        Add(child->state, child, nullptr, child);
        if (IsFolderNode(child)) Push(&m_alone, child);
    }
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
    const size_t length = FormatIsoTime(FileTimeTicks(time), text + 1);
    text[length + 1] = '"';
    json->append(text, length + 2);
}

namespace {

// Walks both trees together, without recursion, so that the other side of
// each item is found through its folder's index rather than a path lookup.
std::string SortedRecords(JsonWalk* walk, const BackgroundOpsData* data) {
    walk->Run(data->slots[0].tree->root, data->slots[1].tree->root);
    std::vector<JsonLine>& lines = walk->lines;
    std::sort(lines.begin(), lines.end(), [](const JsonLine& a, const JsonLine& b) { return a.key < b.key; });
    std::string text;
    for (const JsonLine& line : lines) text += line.text;
    return text;
}

}  // namespace

std::string ListItemsAsJson(const BackgroundOpsData* data, bool all, char terminator) {
    JsonWalk walk(data, all, terminator);
    return SortedRecords(&walk, data);
}

std::string ListVerification(const BackgroundOpsData* data, bool json, char terminator, VerifyCounts* counts) {
    *counts = VerifyCounts{};
    JsonWalk walk(data, false, terminator, counts, json);
    return SortedRecords(&walk, data);
}

}  // namespace cli
