#include "sync/two_way.h"

#include <cstring>

namespace {

int Other(int side) { return 1 - side; }

// The move takes a folder away from side `target`: to nothing, or to a file.
bool RemovesFolder(const TwoWayEntry& entry, int target) {
    return entry.now[target].kind == TwoWayFolder && entry.now[Other(target)].kind != TwoWayFolder;
}

// The move makes a folder on side `target`: where there was nothing, or a file.
bool MakesFolder(const TwoWayEntry& entry, int target) {
    return entry.now[Other(target)].kind == TwoWayFolder && entry.now[target].kind != TwoWayFolder;
}

// Once the run is over, side `side` holds nothing at the entry's path.
bool GoneFrom(const TwoWayEntry& entry, int side) {
    return entry.now[side].kind == TwoWayNone ||
           (TwoWayTarget(entry) == side && entry.now[Other(side)].kind == TwoWayNone);
}

void MakeConflict(TwoWayEntry* entry, TwoWayReason reason) {
    entry->move = TwoWayConflict;
    entry->reason = reason;
    entry->kindChange = false;
    entry->waitsFor = kNoTwoWayParent;
    entry->rename = TwoWayNothing;
    entry->time = TwoWayNothing;
}

TwoWayMove Towards(int target) { return target == 1 ? TwoWayToRight : TwoWayToLeft; }

bool Present(const TwoWaySide& side) { return side.kind == TwoWayFile || side.kind == TwoWayFolder; }

// The side that takes the other's new spelling: where one side alone respelt
// a name both sides had at the last run and have now, as the same kind.
TwoWayMove RenameOf(const TwoWayEntry& entry) {
    if (!(entry.spelling & TwoWaySidesSpeltApart) || entry.now[0].kind != entry.now[1].kind) return TwoWayNothing;
    for (int side = 0; side < 2; ++side) {
        if (!Present(entry.now[side]) || !Present(entry.base[side])) return TwoWayNothing;
    }
    const bool left = (entry.spelling & TwoWayLeftRespelt) != 0;
    const bool right = (entry.spelling & TwoWayRightRespelt) != 0;
    if (left == right) return TwoWayNothing;
    return Towards(left ? 1 : 0);
}

// The side whose file takes the other's time: two files that agree, recorded
// as files on both sides, where one side's time alone changed since the last
// run and the other side's did not.
TwoWayMove TimeOf(const TwoWayEntry& entry, const TwoWayRule& rule) {
    bool changed[2];
    for (int side = 0; side < 2; ++side) {
        const TwoWaySide& now = entry.now[side];
        const TwoWaySide& base = entry.base[side];
        if (now.kind != TwoWayFile || base.kind != TwoWayFile) return TwoWayNothing;
        changed[side] = !SameFileTime(now.time, base.time, rule.time);
        if (changed[side] && now.size != base.size) return TwoWayNothing;
    }
    if (changed[0] == changed[1] || SameFileTime(entry.now[0].time, entry.now[1].time, rule.time))
        return TwoWayNothing;
    return Towards(changed[0] ? 1 : 0);
}

// The side whose version settles a conflict of `reason`, or -1 when it stays:
// a deletion wins only where the preferred side is the one that deleted.
int PreferredSide(const TwoWayEntry& entry, TwoWayReason reason, const TwoWayRule& rule) {
    const int deleted = reason == TwoWayDeletedChanged ? 0 : reason == TwoWayChangedDeleted ? 1 : -1;
    switch (rule.prefer) {
    case TwoWayPreferLeft:
    case TwoWayPreferRight: {
        const int preferred = rule.prefer == TwoWayPreferLeft ? 0 : 1;
        return deleted >= 0 && deleted != preferred ? 1 - deleted : preferred;
    }
    case TwoWayPreferNewer:
        if (deleted >= 0) return 1 - deleted;
        if (SameFileTime(entry.now[0].time, entry.now[1].time, rule.time)) return -1;
        return CompareFileTime(&entry.now[0].time, &entry.now[1].time) > 0 ? 0 : 1;
    default:
        return -1;
    }
}

// The reason of a conflict where side `target` lacks what the other changed or made.
TwoWayReason DeletedOn(int target) { return target == 0 ? TwoWayDeletedChanged : TwoWayChangedDeleted; }

// An entry below a folder that could not be read is unknown on that side as well.
void InheritUnknown(TwoWayEntry* entries, TwoWayEntry* entry) {
    if (entry->parent == kNoTwoWayParent) return;
    for (int side = 0; side < 2; ++side) {
        if (entries[entry->parent].now[side].kind == TwoWayUnknown) entry->now[side].kind = TwoWayUnknown;
    }
}

// A folder leaves a side only with all it holds there: whatever stays there
// (changed, made, unknown) keeps it, and the folder is a conflict.
void KeepFoldersThatStayFull(TwoWayEntry* entries, uint32_t index) {
    TwoWayEntry* entry = &entries[index];
    const int target = TwoWayTarget(*entry);
    if (target < 0 || !RemovesFolder(*entry, target)) return;
    for (uint32_t inside = index + 1; inside < entry->end; ++inside) {
        if (GoneFrom(entries[inside], target)) continue;
        MakeConflict(entry, entry->kindChange ? TwoWayKindChanged : DeletedOn(Other(target)));
        return;
    }
}

// What a move puts on a side needs its folder there: one the side keeps, or one the run makes first.
void PlaceInFolders(TwoWayEntry* entries, uint32_t index) {
    TwoWayEntry* entry = &entries[index];
    const int target = TwoWayTarget(*entry);
    if (target < 0) return;
    if (entry->kindChange) entry->waitsFor = index;
    if (entry->parent == kNoTwoWayParent || entry->now[Other(target)].kind == TwoWayNone) return;
    const TwoWayEntry& folder = entries[entry->parent];
    const bool folderMoves = TwoWayTarget(folder) == target;
    if (folder.now[target].kind == TwoWayFolder && !(folderMoves && RemovesFolder(folder, target))) return;
    if (folderMoves && MakesFolder(folder, target)) {
        if (!entry->kindChange) entry->waitsFor = folder.kindChange ? entry->parent : folder.waitsFor;
        return;
    }
    MakeConflict(entry, folder.move == TwoWayConflict ? folder.reason : DeletedOn(target));
}

}  // namespace

const char* TwoWayReasonWord(TwoWayReason reason) {
    switch (reason) {
    case TwoWayBothChanged:
        return "both-changed";
    case TwoWayChangedDeleted:
        return "changed-deleted";
    case TwoWayDeletedChanged:
        return "deleted-changed";
    case TwoWayBothCreated:
        return "both-created";
    case TwoWayKindChanged:
        return "kind-changed";
    default:
        return "";
    }
}

int TwoWayTarget(const TwoWayEntry& entry) { return TwoWayTargetOf(entry.move); }

int TwoWayTargetOf(TwoWayMove move) { return move == TwoWayToRight ? 1 : move == TwoWayToLeft ? 0 : -1; }

bool SameTwoWaySide(const TwoWaySide& a, const FileDigest* digestA, const TwoWaySide& b, const FileDigest* digestB,
                    const TwoWayRule& rule) {
    if (a.kind != b.kind || a.kind == TwoWayUnknown) return false;
    if (a.kind != TwoWayFile) return true;
    if (a.size != b.size) return false;
    if (rule.byContent)
        return a.hasDigest && b.hasDigest && digestA && digestB &&
               memcmp(digestA->bytes, digestB->bytes, kDigestBytes) == 0;
    return SameFileTime(a.time, b.time, rule.time);
}

bool TwoWayNeedsContents(const TwoWayEntry& entry, const TwoWayRule& rule) {
    const TwoWaySide& left = entry.now[0];
    const TwoWaySide& right = entry.now[1];
    if (rule.byContent || left.kind != TwoWayFile || right.kind != TwoWayFile || left.size != right.size) return false;
    return !SameTwoWaySide(left, nullptr, entry.base[0], nullptr, rule) ||
           !SameTwoWaySide(right, nullptr, entry.base[1], nullptr, rule);
}

namespace {

// The move alone: what DecideTwoWay decides but the rename and the time.
void DecideMove(TwoWayEntry* entry, const TwoWayDigests* digests, const TwoWayRule& rule) {
    const TwoWaySide& left = entry->now[0];
    const TwoWaySide& right = entry->now[1];
    entry->move = TwoWayNothing;
    entry->reason = TwoWayNoReason;
    entry->kindChange = false;
    entry->waitsFor = kNoTwoWayParent;
    if (left.kind == TwoWayUnknown || right.kind == TwoWayUnknown) {
        entry->move = TwoWayUnknownSide;
        return;
    }
    const bool unrecorded = entry->base[0].kind == TwoWayNone && entry->base[1].kind == TwoWayNone;
    const bool leftoverOnOneSide = (left.kind == TwoWayFile && right.kind == TwoWayNone) ||
                                   (left.kind == TwoWayNone && right.kind == TwoWayFile);
    if (entry->leftover && unrecorded && leftoverOnOneSide) {
        entry->move = left.kind != TwoWayNone ? TwoWayToLeft : TwoWayToRight;
        return;
    }
    // Sides that agree need nothing, whatever the record says: a record that
    // is not the same on both sides then heals. Files of the same bytes agree
    // whatever their times; files of other bytes never do.
    const FileDigest* now[2] = {digests ? &digests->now[0] : nullptr, digests ? &digests->now[1] : nullptr};
    const FileDigest* base[2] = {digests ? &digests->base[0] : nullptr, digests ? &digests->base[1] : nullptr};
    if (entry->contents == TwoWaySameContents) return;
    if (SameTwoWaySide(left, now[0], right, now[1], rule) && entry->contents != TwoWayOtherContents) return;
    const bool leftChanged = !SameTwoWaySide(left, now[0], entry->base[0], base[0], rule);
    const bool rightChanged = !SameTwoWaySide(right, now[1], entry->base[1], base[1], rule);
    if (leftChanged != rightChanged) {
        entry->move = leftChanged ? TwoWayToRight : TwoWayToLeft;
        entry->kindChange = left.kind != TwoWayNone && right.kind != TwoWayNone && left.kind != right.kind;
        return;
    }
    // Neither changed, or both to the same: the sides agree.
    if (!leftChanged) return;
    TwoWayReason reason = TwoWayBothChanged;
    if (unrecorded) {
        reason = TwoWayBothCreated;
    } else if (left.kind == TwoWayNone) {
        reason = TwoWayDeletedChanged;
    } else if (right.kind == TwoWayNone) {
        reason = TwoWayChangedDeleted;
    } else if (left.kind != entry->base[0].kind || right.kind != entry->base[1].kind) {
        reason = TwoWayKindChanged;
    }
    const int winner = PreferredSide(*entry, reason, rule);
    if (winner >= 0) {
        // The preferred version goes to the other side, whose own goes aside as a replaced file does.
        entry->move = winner == 0 ? TwoWayToRight : TwoWayToLeft;
        entry->kindChange = left.kind != TwoWayNone && right.kind != TwoWayNone && left.kind != right.kind;
        return;
    }
    MakeConflict(entry, reason);
}

}  // namespace

void DecideTwoWay(TwoWayEntry* entry, const TwoWayDigests* digests, const TwoWayRule& rule) {
    DecideMove(entry, digests, rule);
    entry->rename = TwoWayNothing;
    entry->time = TwoWayNothing;
    if (entry->move == TwoWayConflict || entry->move == TwoWayUnknownSide) return;
    entry->rename = RenameOf(*entry);
    // Files that agree but for one side's new time: that time goes across.
    if (entry->move == TwoWayNothing) entry->time = TimeOf(*entry, rule);
}

void PlanTwoWay(TwoWayEntry* entries, const TwoWayDigests* digests, uint32_t count, const TwoWayRule& rule) {
    for (uint32_t index = 0; index < count; ++index) {
        InheritUnknown(entries, &entries[index]);
        DecideTwoWay(&entries[index], digests ? &digests[index] : nullptr, rule);
    }
    // Innermost first, so that a folder kept full keeps the folders around it.
    for (uint32_t index = count; index-- > 0;) KeepFoldersThatStayFull(entries, index);
    for (uint32_t index = 0; index < count; ++index) PlaceInFolders(entries, index);
}
