#pragma once
// The Linux side of the file system under Wine, for tests that need entries
// Windows cannot make: names that differ only in case, names with characters
// the Windows path rules reject, folder links, paths beyond the Linux limit.
#include <string>

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
