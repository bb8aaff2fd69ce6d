#pragma once
// commit, update and sync with --json: each operation of the plan as a JSON
// Lines record, each conflict as one, and a summary record at the end.
#include "sync/synchronize_worker.h"
#include "sync/two_way.h"

#include <string>

namespace cli {

// {"record":"operation","operation":"copy","kind":"replace","source":S,"target":T,
//  "to":"right","reason":"modified","outcome":"done"}: source null for all but
// copies; outcome "done", "planned" (a dry run's) or "not-done" with "why", the
// reason's text. Ended by `terminator`.
std::string OperationJson(const SyncOperation& operation, const wchar_t* itemPath, const wchar_t* otherPath,
                          DWORD result, bool dryRun, char terminator);
// {"record":"conflict","kind":"file","path":P,"reason":"both-changed",
//  "left":{"kind":"file","size":N,"time":T},"right":null,"newer":"left"}:
// each side as it is now, null where it has nothing; newer "left", "right" or "same".
std::string ConflictJson(const wchar_t* kind, const std::wstring& path, const char* reason,
                         const TwoWaySide (&sides)[2], const char* newer, char terminator);
// {"record":"summary","dry-run":false,"copied":N,"replaced":N,"deleted":N,"created":N,
//  "removed":N,"not-done":N}, with "conflicts" and "unknown" where given (not negative).
std::string SummaryJson(const SyncSummary& summary, bool dryRun, long long conflicts, long long unknown,
                        char terminator);

}  // namespace cli
