#pragma once
// analyze --json: the items of an analysis as JSON Lines, one object a record;
// verify: the same items as differences between a catalog and its folder.
#include "analysis/background_ops.h"

#include <cstdint>
#include <string>

namespace cli {

// One object per item that ListDifferences lists (every item of both trees
// with `all`), in path order: state, kind, path, left, right and, for a
// modified file, reason. `left` and `right` are null where the item is
// absent, otherwise {"kind":"file","size":N,"time":T} for a file and
// {"kind":"folder","time":T} for a folder, each side's own. With `all`, the
// items of RIGHT that LEFT has no image of (inside a folder that is a file in
// LEFT, say) have records of their own with LEFT null. Each record is ended by
// `terminator`.
std::string ListItemsAsJson(const BackgroundOpsData* data, bool all, char terminator);

// What verify calls an item of the analysis of a catalog (LEFT) against its
// folder (RIGHT): New is missing from the folder, Missing added to it, a
// modified file damaged when its content changed under the same size and time
// (content-same-time), else changed, and Unknown unreadable.
enum VerifyDifference {
    VerifyMissing,
    VerifyAdded,
    VerifyDamaged,
    VerifyChanged,
    VerifyUnreadable,
    kVerifyDifferences,
};
struct VerifyCounts {
    uint32_t of[kVerifyDifferences];
    uint32_t intact;  // files identical to their entries
};
// One record per difference, in path order: DIFFERENCE<TAB>KIND<TAB>PATH, or
// with `json` {"difference":D,"kind":K,"path":P,"catalog":SIDE,"folder":SIDE},
// SIDE as ListItemsAsJson writes `left` and `right`; each ended by
// `terminator`. A folder that only holds differences has none of its own.
std::string ListVerification(const BackgroundOpsData* data, bool json, char terminator, VerifyCounts* counts);

// `text` as a JSON string, quotes included: UTF-8, with quotes, backslashes
// and control characters escaped and a surrogate without its pair as \uXXXX.
void AppendJsonString(std::string* json, const std::wstring& text);
// The time in ISO 8601, UTC, to the 100 ns, as a catalog writes it:
// "2026-12-07T14:18:11.1234567Z".
void AppendJsonTime(std::string* json, const FILETIME& time);

}  // namespace cli
