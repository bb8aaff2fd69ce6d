#pragma once
// What the console companion prints about an analysis: the node lines, the
// progress line and the time spans in them.
#include "analysis/background_ops.h"

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// "1 h 0 min 0 sec", "1 min 1 sec" or "59 sec", as the Analyze dialog writes them.
std::wstring FormatTimeSpan(DWORD milliseconds);

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
    struct Sample {
        DWORD elapsedMs = 0;
        uint64_t bytes = 0;
    };
    Sample m_reference;
    Sample m_next;
};

std::string ToUtf8(const std::wstring& text);

}  // namespace cli
