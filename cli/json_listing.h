#pragma once
// analyze --json: the items of an analysis as JSON Lines, one object a record.
#include "analysis/background_ops.h"

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

// `text` as a JSON string, quotes included: UTF-8, with quotes, backslashes
// and control characters escaped and a surrogate without its pair as \uXXXX.
void AppendJsonString(std::string* json, const std::wstring& text);
// The time in ISO 8601, UTC, to the 100 ns, as a catalog writes it:
// "2026-12-07T14:18:11.1234567Z".
void AppendJsonTime(std::string* json, const FILETIME& time);

}  // namespace cli
