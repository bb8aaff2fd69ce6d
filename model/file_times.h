#pragma once
// When two last-write times count as the same: file systems keep them at
// different resolutions (two seconds on FAT, whole seconds on exFAT and many
// network shares), so a copy's time may differ from its source's by up to
// that much. The analysis and the check of a copy against its source judge
// times by this one rule; a file checked against what was seen of it earlier,
// on its own volume, keeps its time to the tick.
#include <windows.h>

#include <cstdint>

struct TimeRule {
    // Times apart by at most this many seconds are the same; below
    // kDefaultTimeWindowSeconds (a zeroed rule) the default holds.
    uint32_t windowSeconds;
    // Times apart by one hour, give or take the window, are the same too (FAT
    // keeps local time, so a change of daylight-saving time moves them all).
    bool ignoreHourShift;
    // Only equal times are the same, to the tick: for an analysis on file
    // systems that keep times exactly. The window is then not applied.
    bool exact;
};

const uint32_t kDefaultTimeWindowSeconds = 2;

// The window the rule keeps, in seconds: 0 for only equal times, else at least the default.
uint32_t WindowSecondsOf(const TimeRule& rule);

// The rule for checking a copy against its source: a copy's time is its
// source's as the target's file system keeps it, so an exact rule falls back
// to the default window there.
TimeRule RuleForFileChecks(const TimeRule& rule);

bool SameFileTime(const FILETIME& a, const FILETIME& b, const TimeRule& rule);

// A FILETIME as its count of 100-nanosecond ticks, and back.
inline uint64_t FileTimeTicks(const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}
inline FILETIME FileTimeOfTicks(uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
