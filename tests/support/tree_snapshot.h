#pragma once
// Every file and folder below a folder with each file's bytes, so that a test
// can show that an operation changed nothing it was not asked to change.
#include <map>
#include <string>

// Relative path (folders end in a backslash) to content (empty for folders).
using TreeSnapshot = std::map<std::wstring, std::string>;

// Walks `folder` (ending in a backslash) without recursion, so deep trees fit.
// A file that cannot be read is recorded with the content "<unreadable>".
TreeSnapshot SnapshotTree(const std::wstring& folder);

// What differs between two snapshots, one line per path; empty when equal.
std::string DescribeChanges(const TreeSnapshot& before, const TreeSnapshot& after);
