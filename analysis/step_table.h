#pragma once
// The order of the two locations' work: the scans of an analysis, and the two
// reads of each cycle of a content comparison.

// One step: start a location's work, or wait for it to end.
struct AnalysisStep {
    unsigned location;
    bool start;
};

// Four steps. Simultaneous: both start, then both are waited for; otherwise
// location 0 starts and is waited for before location 1 starts.
inline const AnalysisStep* AnalysisSteps(bool simultaneous) {
    static const AnalysisStep kSimultaneous[4] = {{0, true}, {1, true}, {0, false}, {1, false}};
    static const AnalysisStep kOneAfterTheOther[4] = {{0, true}, {0, false}, {1, true}, {1, false}};
    return simultaneous ? kSimultaneous : kOneAfterTheOther;
}
