#pragma once
// "AnalyzeLog.txt" beside the program: the skipped-items log of an analysis,
// opened the same way by the Analyze dialog and the console companion.
#include <windows.h>

const wchar_t kAnalyzeLogName[] = L"AnalyzeLog.txt";
const wchar_t kAnalyzeLogHeader[] = L"The following files/folders were sikpped during the analyze process:";

// The log's full path (MAX_PATH units): the executable's folder and the log's name.
// False when the executable's path cannot be had within MAX_PATH.
bool AnalyzeLogPath(wchar_t* path);

// Opens the skipped-items log at AnalyzeLogPath with the analysis header.
bool OpenAnalyzeLog();
