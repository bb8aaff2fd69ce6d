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

// The same in two steps, so that a test can act while it runs; with
// `ownConsole`, in a console of its own that Ctrl+C can be pressed in.
struct RunningCompanion {
    PROCESS_INFORMATION process = {};
    std::wstring outPath;
    std::wstring errPath;
};
RunningCompanion StartCompanion(const std::vector<std::wstring>& arguments, const TempFolder& outputFolder,
                                bool ownConsole);
CompanionRun FinishCompanion(RunningCompanion* running);
// Presses Ctrl+C in the companion's console, through send_ctrl_c.exe; its exit status.
DWORD PressCtrlC(DWORD processId);
std::string Utf8(const std::wstring& text);
// The whole file, read while others may still write it; empty when it cannot be opened.
std::string ReadWholeFile(const std::wstring& path);
