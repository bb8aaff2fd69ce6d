#include "model/file_times.h"

namespace {

const uint64_t kTicksPerSecond = 10000000;  // FILETIME counts 100-nanosecond ticks

uint64_t Ticks(const FILETIME& time) { return FileTimeTicks(time); }

}  // namespace

TimeRule RuleForFileChecks(const TimeRule& rule) {
    TimeRule checks = rule;
    checks.exact = false;
    return checks;
}

uint32_t WindowSecondsOf(const TimeRule& rule) {
    if (rule.exact) return 0;
    return rule.windowSeconds > kDefaultTimeWindowSeconds ? rule.windowSeconds : kDefaultTimeWindowSeconds;
}

bool SameFileTime(const FILETIME& a, const FILETIME& b, const TimeRule& rule) {
    const uint64_t first = Ticks(a);
    const uint64_t second = Ticks(b);
    const uint64_t apart = first > second ? first - second : second - first;
    const uint64_t window = WindowSecondsOf(rule) * kTicksPerSecond;
    if (apart <= window) return true;
    const uint64_t hour = 3600 * kTicksPerSecond;
    return rule.ignoreHourShift && apart + window >= hour && apart <= hour + window;
}
