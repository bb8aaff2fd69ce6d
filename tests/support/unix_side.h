#pragma once
// The Linux side of the file system under Wine, for tests that need entries
// Windows cannot make: names that differ only in case, names with characters
// the Windows path rules reject, folder links, paths beyond the Linux limit.
#include <string>
#include <vector>

// The Linux path that Wine maps a Windows path to; empty when there is none
// (not under Wine). A folder's path keeps its trailing slash.
std::string UnixPathOf(const std::wstring& windowsPath);

// Runs a script with the Linux shell and waits for it to end (Wine gives no
// handle to wait on, so the script leaves its exit status in a file). Returns
// that status, or -1 when the shell could not be started or did not end in time.
int RunUnixShell(const std::string& script);

// A word quoted for the shell.
std::string ShellQuote(const std::string& text);

// Removes a folder with everything in it from the Linux side, links
// themselves and never their targets; true when it is gone.
bool RemoveUnixTree(const std::wstring& windowsFolder);

// The names of a chain of folders whose last one, below a root whose Linux
// path (with its slash) has `rootLength` bytes, has a Linux path of exactly
// `tailLength` bytes; the folder above the last stays at least 150 bytes shorter.
std::vector<std::string> FolderChainNames(size_t rootLength, size_t tailLength);
// Makes the chain below `windowsRoot`, running `tailScript` inside its last
// folder first. Folders are moved into each other from the bottom up, so the
// chain may go deeper than the longest path Linux can open. `stamp` (as
// touch -t takes it) is given to every file made in the last folder. True
// when the chain was made.
bool MakeFolderChain(const std::wstring& windowsRoot, const std::vector<std::string>& names,
                     const std::string& tailScript, const std::string& stamp = "202001010000");
// The chain's path below its root, Windows style, without a trailing backslash.
std::wstring ChainPath(const std::vector<std::string>& names);
