#include "cli/output.h"

#include "cli/console.h"

#include <windows.h>

#include <algorithm>

namespace cli {

namespace {

void WriteBytes(HANDLE stream, const std::string& bytes) {
    size_t written = 0;
    while (written < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - written, 1 << 20));
        DWORD done = 0;
        if (!WriteFile(stream, bytes.data() + written, chunk, &done, nullptr) || done == 0) return;
        written += done;
    }
}

}  // namespace

void WriteOutput(const std::string& bytes) { WriteBytes(GetStdHandle(STD_OUTPUT_HANDLE), bytes); }

void WriteError(const std::wstring& text) { WriteBytes(GetStdHandle(STD_ERROR_HANDLE), ToUtf8(text)); }

}  // namespace cli
