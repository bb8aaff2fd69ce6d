#pragma once
// Rules for the pair of locations that an analysis and a synchronization take.
#include <windows.h>

// The tree path that names a location's root in an analysis: the first
// component of a tree path stands for the root and is never compared.
const wchar_t kRootTreePath[] = L"Root\\";

// True when the two folder paths name the same folder or one lies inside the
// other: compared without regard to case at a backslash, after "." and ".."
// are resolved, and by the folders' identity, whatever leads to them (another
// drive letter, a short name, a link, a drive standing for a folder of another
// drive: substituted, mapped to a folder of a share, or under Wine linked into
// the Linux tree). A path that cannot be resolved counts as overlapping, so
// that no doubtful pair is ever synchronized.
bool LocationsOverlap(const wchar_t* first, const wchar_t* second);
// True when the folder path `inner` names the folder `outer` or lies inside it,
// by the same rules.
bool FolderHolds(const wchar_t* outer, const wchar_t* inner);

// Turns "\\?\C:\..." into "C:\..." and "\\?\UNC\server\share..." into
// "\\server\share..." in place; other forms, such as a volume without a drive
// letter, stay whole, since only the system's own calls know what they name.
void DropExtendedPrefix(wchar_t* path);

// True for a path in the system's raw forms ("\\?\", "\\.\"), which the
// shell's file operations do not take.
bool IsRawDevicePath(const wchar_t* path);
