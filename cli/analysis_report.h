#pragma once
// What the console companion prints about an analysis: the listings, the
// counts of the summary, the progress line and the time spans in them.
#include "analysis/analysis_progress.h"
#include "analysis/background_ops.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// FormatTimeSpan as a string.
std::wstring TimeSpan(DWORD milliseconds);

// One record per node of the first tree, which holds every item of both
// locations, that is not Identical: STATE<TAB>KIND<TAB>PATH, STATE in capitals,
// KIND "file" or "folder", PATH relative to the roots; UTF-8, each record
// ended by `terminator`, sorted by path.
std::string ListDifferences(const BackgroundOpsData* data, char terminator);

// One record per node of both trees except the roots, "." and "..":
// SIDE<TAB>STATE<TAB>KIND<TAB>PATH, UTF-8, sorted by side, then path.
std::string ListAnalysedNodes(const BackgroundOpsData* data, char terminator);

// How many nodes of a tree (root, "." and ".." aside) are in each state.
struct StateCounts {
    uint32_t of[DiffUnknown + 1];
};
StateCounts CountStates(const LocationTree* tree);
// True when some node is in another state than Identical.
bool AnyDifference(const StateCounts& counts);

// Bytes the content phase read from both files: the amount to compare less
// the pairs that could not be opened.
uint64_t BytesCompared(const BackgroundOpsData* data);

// The remaining-time estimate of the Analyze dialog: the remaining bytes over
// the rate measured since a reference point that moves every 30 seconds.
class ProgressEstimate {
public:
    // "Progress P %" with, after 15 seconds, the elapsed and remaining time.
    std::wstring Update(DWORD elapsedMs, uint64_t totalBytes, uint64_t doneBytes);

private:
    ProgressSample m_reference = {};
    ProgressSample m_next = {};
};

}  // namespace cli
