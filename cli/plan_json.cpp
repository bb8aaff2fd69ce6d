#include "cli/plan_json.h"

#include "cli/json_listing.h"
#include "cli/sync_command.h"
#include "sync/sync_results.h"

namespace cli {

namespace {

const char* OperationWord(const SyncOperation& operation) {
    switch (operation.kind) {
    case SyncCopyNew:
    case SyncReplace:
        return "copy";
    case SyncDeleteFile:
        return "delete";
    case SyncMakeFolder:
        return "mkdir";
    case SyncRename:
    case SyncSetTime:
        return SyncOperationKindWord(operation.kind);
    default:
        return "rmdir";
    }
}

void AppendField(std::string* json, const char* name, const std::string& value) {
    *json += ",\"";
    *json += name;
    *json += "\":";
    *json += value;
}

std::string JsonWord(const char* word) { return std::string("\"") + word + "\""; }

std::string JsonNumber(long long value) { return std::to_string(value); }

}  // namespace

std::string OperationJson(const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath,
                          DWORD result, bool dryRun, char terminator) {
    const int target = TargetSideOf(operation);
    const wchar_t* paths[2] = {itemPath, otherPath};
    std::string json = "{\"record\":\"operation\"";
    AppendField(&json, "operation", JsonWord(OperationWord(operation)));
    AppendField(&json, "kind", JsonWord(SyncOperationKindWord(operation.kind)));
    // A rename goes from the target's path to its new one.
    const std::wstring renamed = RenamedPathText(operation, itemPath, otherPath);
    std::string source = "null";
    if (IsCopyOperation(operation) || operation.kind == SyncSetTime || !renamed.empty()) {
        source.clear();
        AppendJsonString(&source, renamed.empty() ? paths[1 - target] : paths[target]);
    }
    AppendField(&json, "source", source);
    std::string path;
    AppendJsonString(&path, renamed.empty() ? std::wstring(paths[target]) : renamed);
    AppendField(&json, "target", path);
    AppendField(&json, "to", JsonWord(target == 0 ? "left" : "right"));
    AppendField(&json, "reason", JsonWord(SyncReasonWord(operation.reason)));
    const bool done = result == ERROR_SUCCESS;
    AppendField(&json, "outcome", JsonWord(done ? (dryRun ? "planned" : "done") : "not-done"));
    if (!done) {
        wchar_t why[kSystemErrorUnits];
        DescribeSyncResult(result, why);
        std::string text;
        AppendJsonString(&text, why);
        AppendField(&json, "why", text);
    }
    json += '}';
    json += terminator;
    return json;
}

std::string SideJson(const TwoWaySide& side) {
    if (side.kind != TwoWayFile && side.kind != TwoWayFolder) return "null";
    std::string json = side.kind == TwoWayFile ? "{\"kind\":\"file\",\"size\":" + JsonNumber(side.size) : "{\"kind\":\"folder\"";
    json += ",\"time\":";
    AppendJsonTime(&json, side.time);
    return json + "}";
}

std::string ConflictJson(const wchar_t* kind, const std::wstring& path, const char* reason,
                         const TwoWaySide (&sides)[2], const char* newer, char terminator) {
    std::string json = "{\"record\":\"conflict\"";
    std::string kindText;
    AppendJsonString(&kindText, kind);
    AppendField(&json, "kind", kindText);
    std::string pathText;
    AppendJsonString(&pathText, path);
    AppendField(&json, "path", pathText);
    AppendField(&json, "reason", JsonWord(reason));
    AppendField(&json, "left", SideJson(sides[0]));
    AppendField(&json, "right", SideJson(sides[1]));
    AppendField(&json, "newer", JsonWord(newer));
    json += '}';
    json += terminator;
    return json;
}

std::string SummaryJson(const SyncSummary& summary, bool dryRun, long long conflicts, long long unknown,
                        char terminator) {
    std::string json = "{\"record\":\"summary\"";
    AppendField(&json, "dry-run", dryRun ? "true" : "false");
    AppendField(&json, "copied", JsonNumber(summary.copied));
    AppendField(&json, "replaced", JsonNumber(summary.replaced));
    AppendField(&json, "deleted", JsonNumber(summary.deleted));
    AppendField(&json, "created", JsonNumber(summary.created));
    AppendField(&json, "removed", JsonNumber(summary.removed));
    AppendField(&json, "not-done", JsonNumber(summary.notDone));
    if (summary.renamed > 0) AppendField(&json, "renamed", JsonNumber(summary.renamed));
    if (summary.timesSet > 0) AppendField(&json, "times-set", JsonNumber(summary.timesSet));
    if (summary.leftoversRemoved > 0) AppendField(&json, "leftovers-removed", JsonNumber(summary.leftoversRemoved));
    if (conflicts >= 0) AppendField(&json, "conflicts", JsonNumber(conflicts));
    if (unknown >= 0) AppendField(&json, "unknown", JsonNumber(unknown));
    json += '}';
    json += terminator;
    return json;
}

}  // namespace cli
