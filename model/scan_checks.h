#pragma once
// What the scan checks before it lets an entry stand for a file or folder:
// names that the system's path rules would change or reject, names that
// differ only in case within one folder, and the identity of a folder, by
// which a link leading back onto its own path is recognised.
#include "model/records.h"

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
// The path of the folder at `path` with every link on it resolved, into
// `target` (kPathUnits), in the drive-letter or \\server\share form where it
// has one. 0 or the system's code.
DWORD ReadFinalFolderPath(const wchar_t* path, wchar_t* target);
