#pragma once
// Runs the console companion, quillmar-cli.exe, which is built beside the tests.
#include "tests/support/temp_folder.h"

#include <string>
#include <vector>

struct CompanionRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

// The folder of the running test program, ending in a backslash.
std::wstring ProgramFolder();
// Runs the companion with each argument quoted; standard output and error go
// through files in `outputFolder`. Fails the test when it cannot start or end.
CompanionRun RunCompanion(const std::vector<std::wstring>& arguments, const TempFolder& outputFolder);
std::string Utf8(const std::wstring& text);
// The whole file, read while others may still write it; empty when it cannot be opened.
std::string ReadWholeFile(const std::wstring& path);
