#pragma once
// Reading what the companion writes on standard error.
#include <string>
#include <vector>

// The paths that a companion's standard error names between "<" and ">" (its logs).
std::vector<std::wstring> NamedLogs(const std::string& err);
std::wstring Wide(const std::string& utf8);
// A log file as UTF-16 text, its byte-order mark included.
std::wstring LogText(const std::wstring& path);
