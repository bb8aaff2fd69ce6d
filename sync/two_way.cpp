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

int TwoWayTarget(const TwoWayEntry& entry) {
    return entry.move == TwoWayToRight ? 1 : entry.move == TwoWayToLeft ? 0 : -1;
}

bool SameTwoWaySide(const TwoWaySide& a, const TwoWaySide& b, const TwoWayRule& rule) {
    if (a.kind != b.kind || a.kind == TwoWayUnknown) return false;
    if (a.kind != TwoWayFile) return true;
    if (a.size != b.size) return false;
    if (rule.byContent)
        return a.hasDigest && b.hasDigest && memcmp(a.digest.bytes, b.digest.bytes, kDigestBytes) == 0;
    return SameFileTime(a.time, b.time, rule.time);
}

void DecideTwoWay(TwoWayEntry* entry, const TwoWayRule& rule) {
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
    // is not the same on both sides then heals.
    if (SameTwoWaySide(left, right, rule)) return;
    const bool leftChanged = !SameTwoWaySide(left, entry->base[0], rule);
    const bool rightChanged = !SameTwoWaySide(right, entry->base[1], rule);
    if (leftChanged != rightChanged) {
        entry->move = leftChanged ? TwoWayToRight : TwoWayToLeft;
        entry->kindChange = left.kind != TwoWayNone && right.kind != TwoWayNone && left.kind != right.kind;
        return;
    }
    // Neither changed, or both to the same: the sides agree.
    if (!leftChanged || SameTwoWaySide(left, right, rule)) return;
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
    MakeConflict(entry, reason);
}

void PlanTwoWay(TwoWayEntry* entries, uint32_t count, const TwoWayRule& rule) {
    for (uint32_t index = 0; index < count; ++index) {
        InheritUnknown(entries, &entries[index]);
        DecideTwoWay(&entries[index], rule);
    }
    // Innermost first, so that a folder kept full keeps the folders around it.
    for (uint32_t index = count; index-- > 0;) KeepFoldersThatStayFull(entries, index);
    for (uint32_t index = 0; index < count; ++index) PlaceInFolders(entries, index);
}
