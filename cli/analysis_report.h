#pragma once
// What the console companion prints about an analysis: the node lines, the
// progress line and the time spans in them.
#include "analysis/analysis_progress.h"
#include "analysis/background_ops.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// FormatTimeSpan as a string.
std::wstring TimeSpan(DWORD milliseconds);

// One line per node of both trees except the roots, "." and "..":
// SIDE<TAB>STATE<TAB>KIND<TAB>PATH, UTF-8, sorted by side, then path.
std::string ListAnalysedNodes(const BackgroundOpsData* data);

// Nodes of a tree except its root, "." and "..".
uint32_t CountNodes(const LocationTree* tree);

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

std::string ToUtf8(const std::wstring& text);

}  // namespace cli
