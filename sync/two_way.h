#pragma once
// Two-way synchronization: each side's entries compared with the record of
// the last run (the baseline), each side's changes taken to the other, and
// changes made on both sides left alone as conflicts.
#include "model/file_digest.h"
#include "model/file_times.h"

#include <cstdint>

enum TwoWayKind : uint8_t { TwoWayNone, TwoWayFile, TwoWayFolder, TwoWayUnknown };
enum TwoWayContents : uint8_t { TwoWayContentsUnread, TwoWaySameContents, TwoWayOtherContents };

// An entry as one side had it: at the last run (the baseline) or now. Its
// digest, in a run by content, stands apart (TwoWayDigests), so that a run
// by size and time keeps none.
struct TwoWaySide {
    uint64_t size;
    FILETIME time;
    DWORD attributes;
    TwoWayKind kind;
    bool hasDigest;
};

// The digests of an entry's four sides, in a run by content.
struct TwoWayDigests {
    FileDigest base[2];
    FileDigest now[2];
};

// Which side's version settles a conflict: none (conflicts stay), LEFT's,
// RIGHT's, or the one written last (a conflict of times within the window stays).
enum TwoWayPrefer : uint8_t { TwoWayPreferNone, TwoWayPreferLeft, TwoWayPreferRight, TwoWayPreferNewer };

// How two files are told apart: by their digests, or by size and time; and
// how a conflict is settled.
struct TwoWayRule {
    TimeRule time;
    bool byContent;
    TwoWayPrefer prefer;
};

enum TwoWayMove : uint8_t {
    TwoWayNothing,  // both sides agree, or neither changed
    TwoWayToRight,  // LEFT's change goes to RIGHT
    TwoWayToLeft,  // RIGHT's change goes to LEFT
    TwoWayConflict,  // both changed: left as it is on both sides
    TwoWayUnknownSide,  // a side could not be read: never acted on
};

enum TwoWayReason : uint8_t {
    TwoWayNoReason,
    TwoWayBothChanged,
    TwoWayChangedDeleted,  // LEFT changed, RIGHT deleted
    TwoWayDeletedChanged,  // LEFT deleted, RIGHT changed
    TwoWayBothCreated,
    TwoWayKindChanged,
};

// "both-changed", "changed-deleted", "deleted-changed", "both-created" or "kind-changed".
const char* TwoWayReasonWord(TwoWayReason reason);

const uint32_t kNoTwoWayParent = UINT32_MAX;

// How an entry's name is spelt, compared to the letter (case included): each
// side's spelling now against the one recorded of that side, and the two
// sides' against each other. Bits; 0 where all agree or a side has nothing.
enum TwoWaySpelling : uint8_t {
    TwoWayLeftRespelt = 1,
    TwoWayRightRespelt = 2,
    TwoWaySidesSpeltApart = 4,
};

// One path of either side or the baseline. The entries of a run stand in an
// array, each folder before what it holds, which follows it together.
struct TwoWayEntry {
    TwoWaySide base[2];  // LEFT and RIGHT at the last run; TwoWayNone for none
    TwoWaySide now[2];
    // A file under the copy engine's temporary name, on one side only and
    // never recorded: what a stopped run left. It is deleted, not copied
    // (the caller marks none on a first run, which deletes nothing).
    bool leftover;
    // In a run by size and time, what the two files' bytes were found to be
    // where their sizes agree and a side changed: the same bytes settle the
    // pair whatever the times say, other bytes keep them apart.
    TwoWayContents contents;
    uint32_t parent;  // the folder's index, or kNoTwoWayParent at the top
    uint32_t end;  // one past its last descendant
    uint8_t spelling;  // TwoWaySpelling bits, filled with the rows
    // Filled by PlanTwoWay:
    TwoWayMove move;
    TwoWayReason reason;
    // A name whose case alone one side changed since the baseline: the other
    // side's entry takes that spelling by a rename (TwoWayToRight or
    // TwoWayToLeft, else TwoWayNothing). Both sides respelt apart keep each
    // its own spelling.
    TwoWayMove rename;
    // Files of the same bytes whose time alone one side changed since the
    // baseline: the other side's file takes that time (a direction, as above).
    TwoWayMove time;
    // The move puts a file where a folder is, or the reverse: the earlier
    // kind goes first, and the new one, with what it holds, in a second step.
    bool kindChange;
    // The move puts something in place only after a kind change above it (or
    // its own) has removed the earlier kind: the index of that entry.
    uint32_t waitsFor;
};

// Whether two sides hold the same entry under the rule: both none, both
// folders, or files of the same content (their digests, null in a run by size
// and time) or size and time. Unknown is never the same.
bool SameTwoWaySide(const TwoWaySide& a, const FileDigest* digestA, const TwoWaySide& b, const FileDigest* digestB,
                    const TwoWayRule& rule);

// Whether the two files' bytes should be compared before the entry is
// decided: in a run by size and time, both sides files of one size, and one
// of them changed since the baseline (or no baseline has them).
bool TwoWayNeedsContents(const TwoWayEntry& entry, const TwoWayRule& rule);

// The move of one entry on its own, from what each side did since the
// baseline, with its rename and its time; `digests` its sides' digests, null
// in a run by size and time. A conflict or an unknown side has neither.
void DecideTwoWay(TwoWayEntry* entry, const TwoWayDigests* digests, const TwoWayRule& rule);

// Decides every entry, then lets folders follow what they hold: an entry
// below an unknown folder is unknown; a folder is removed from a side only
// with all it holds there, else it is a conflict; nothing is put into a
// folder that the side does not have and the run does not make.
// `digests` has one record per entry in a run by content, and is null otherwise.
void PlanTwoWay(TwoWayEntry* entries, const TwoWayDigests* digests, uint32_t count, const TwoWayRule& rule);

// The side a move puts something on (0 LEFT, 1 RIGHT); -1 for no move.
int TwoWayTarget(const TwoWayEntry& entry);
int TwoWayTargetOf(TwoWayMove move);
