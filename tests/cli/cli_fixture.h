#pragma once
// Two fresh folders, LEFT and RIGHT, for runs of the real quillmar-cli.exe.
#include "tests/cli/companion_output.h"
#include "tests/support/companion.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

const uint64_t kTime = 132000000000000000ull;

class CliTest : public testing::Test {
protected:
    // A run's logs stay for the user to read; a test removes the ones it was told of.
    void TearDown() override {
        for (const std::wstring& log : m_logs) DeleteFileW(log.c_str());
    }

    // Each run writes into files of its own, which no earlier run may still hold.
    CompanionRun Run(const std::vector<std::wstring>& arguments) {
        TempFolder output;
        CompanionRun run = RunCompanion(arguments, output);
        for (const std::wstring& log : NamedLogs(run.err)) m_logs.push_back(log);
        return run;
    }

    std::wstring File(const std::wstring& relative, const std::string& content = "x", uint64_t time = kTime) {
        size_t slash = relative.rfind(L'\\');
        if (slash != std::wstring::npos) m_folder.MakeFolder(relative.substr(0, slash));
        std::wstring path = m_folder.MakeFile(relative, content);
        EXPECT_TRUE(SetLastWriteTime(path, time));
        return path;
    }

    // A file of `size` bytes that takes no room on disk, long enough to read that a run can be caught in it.
    std::wstring SparseFile(const std::wstring& relative, uint64_t size);

    TempFolder m_output;
    TempFolder m_folder;
    std::wstring m_left = m_folder.MakeFolder(L"left");
    std::wstring m_right = m_folder.MakeFolder(L"right");
    std::vector<std::wstring> m_logs;
};
