// The progress line of a synchronization's copies, as a console shows it.
#include "cli/copy_progress.h"

#include <gtest/gtest.h>

namespace {

TEST(CopyProgressText, SaysWhatIsDoneOfAllAndHowLongIsLeft) {
    const uint64_t kMiB = 1 << 20;
    const struct {
        SyncProgressFigures figures;  // files total, bytes total, files done, bytes done
        DWORD elapsedMs;
        const wchar_t* text;
    } kRows[] = {
        // No rate before a second of copying, nor before a byte.
        {{8000, 16000 * 1024, 0, 0}, 200, L"Copied 0 of 8000 files, 0 bytes of 15.6 MiB, 0 %"},
        {{8000, 16000 * 1024, 10, 0}, 5000, L"Copied 10 of 8000 files, 0 bytes of 15.6 MiB, 0 %"},
        {{4, 100 * kMiB, 1, 25 * kMiB}, 5000,
         L"Copied 1 of 4 files, 25.0 MiB of 100.0 MiB, 25 %, 5.0 MiB/s, 15 sec left"},
        {{4, 100 * kMiB, 4, 100 * kMiB}, 20000, L"Copied 4 of 4 files, 100.0 MiB of 100.0 MiB, 100 %, 5.0 MiB/s"},
        // Empty files only: the files tell the percentage.
        {{10, 0, 5, 0}, 3000, L"Copied 5 of 10 files, 0 bytes of 0 bytes, 50 %"},
        {{1, 3ull << 40, 0, 3ull << 30}, 1000,
         L"Copied 0 of 1 files, 3.0 GiB of 3.0 TiB, 0 %, 3.0 GiB/s, 17 min 3 sec left"},
    };
    for (const auto& row : kRows) {
        EXPECT_EQ(cli::SyncProgressText(row.figures, row.elapsedMs), row.text);
    }
}

}  // namespace
