#pragma once
// What the scan checks before it lets an entry stand for a file or folder:
// names that the system's path rules would change or reject, names that
// differ only in case within one folder, and links, which lead elsewhere;
// and the identity of a folder, by which two paths to one folder are known.
#include "model/records.h"
#include "model/system_error.h"

// True when a reparse point with this tag leads elsewhere: a name surrogate
// (symbolic links, junctions, mount points), or a tag that is not known to
// stand for an ordinary file or folder (placeholders of cloud and
// hierarchical storage, deduplicated and compressed files) or that the
// system did not report (0).
bool IsLinkReparseTag(DWORD tag);
// The same for what a search found: the reparse attribute with such a tag.
bool IsLinkEntry(const WIN32_FIND_DATAW& found);
// 0 when the file or folder at `path` is reached by its own name; kEntryIsLink
// when the path's last entry is a link, or leads to a place whose name is not
// the path's (a file link that the listing shows as a plain file); 0 also when
// nothing is there. Otherwise the system's code.
DWORD CheckNotLink(const wchar_t* path);

// The same for many paths in few folders: the resolved path of the folder
// last looked at is kept between calls. Allocate with NewLinkCheckCache (null
// when memory runs out, and CheckNotLinkCached then says so).
struct LinkCheckCache;
LinkCheckCache* NewLinkCheckCache();
void FreeLinkCheckCache(LinkCheckCache* cache);
DWORD CheckNotLinkCached(const wchar_t* path, LinkCheckCache* cache);

// 0 when the name reaches the entry it names; ERROR_INVALID_NAME when a path
// built from it would be changed (a trailing space or dot), rejected
// (control characters, * ? " < > | : / \) or would reach a device (CON,
// NUL, COM1 and the like, with or without an extension).
DWORD CheckEntryName(const wchar_t* name);

// Sets flags[i] for every name i of `count` that equals another's ignoring
// case ("." and ".." excluded); `nameAt` gives the names. `flags` holds
// `count` bytes. False when memory runs out.
typedef const wchar_t* (*NameAt)(const void* names, uint32_t index);
bool FindCaseTwins(NameAt nameAt, const void* names, uint32_t count, BYTE* flags);

// The volume and file index of a folder: the same folder has the same
// identity by whatever path or link it is reached.
struct FolderIdentity {
    DWORD volume;
    DWORD indexHigh;
    DWORD indexLow;
};
// Reads the identity of the folder at `path` (a link is followed). 0 or the system's code.
DWORD ReadFolderIdentity(const wchar_t* path, FolderIdentity* identity);
inline bool SameFolder(const FolderIdentity& a, const FolderIdentity& b) {
    return a.volume == b.volume && a.indexHigh == b.indexHigh && a.indexLow == b.indexLow;
}
// Reads the file index alone, the identity's part that tells folders of one
// volume apart: folders whose indexes differ are different folders. Reading
// the volume's serial number as well costs a round trip to the volume's
// driver on some systems, so a check of many folders compares indexes first.
DWORD ReadFolderIndex(const wchar_t* path, ULONGLONG* index);
// The path of the file or folder at `path` with every link on it resolved,
// into `target` (kPathUnits), in the drive-letter or \\server\share form where
// it has one, without a final backslash. 0 or the system's code.
DWORD ReadFinalPath(const wchar_t* path, wchar_t* target);
