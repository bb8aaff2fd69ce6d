#pragma once
// Reading what the companion writes on standard error.
#include <string>
#include <vector>

// The paths that a companion's standard error names between "<" and ">" (its logs).
std::vector<std::wstring> NamedLogs(const std::string& err);
std::wstring Wide(const std::string& utf8);
// The lines of a companion's output, without their line feeds.
std::vector<std::string> LinesOf(const std::string& text);
// A log file as UTF-16 text, its byte-order mark included.
std::wstring LogText(const std::wstring& path);
