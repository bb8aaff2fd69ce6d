#include "cli/copy_progress.h"

#include "analysis/analysis_progress.h"

#include <cwchar>

namespace cli {

namespace {

// "1.5 MiB": bytes in the largest unit that keeps a whole number before the point.
std::wstring ByteAmount(uint64_t bytes) {
    static const wchar_t* const kUnits[] = {L"bytes", L"KiB", L"MiB", L"GiB", L"TiB"};
    double amount = static_cast<double>(bytes);
    unsigned unit = 0;
    while (amount >= 1024 && unit + 1 < sizeof(kUnits) / sizeof(kUnits[0])) {
        amount /= 1024;
        ++unit;
    }
    wchar_t text[32];
    swprintf(text, 32, unit == 0 ? L"%.0f %ls" : L"%.1f %ls", amount, kUnits[unit]);
    return text;
}

}  // namespace

std::wstring SyncProgressText(const SyncProgressFigures& figures, DWORD elapsedMs) {
    const uint64_t total = figures.bytesTotal ? figures.bytesTotal : figures.filesTotal;
    const uint64_t done = figures.bytesTotal ? figures.bytesDone : figures.filesDone;
    std::wstring text = L"Copied " + std::to_wstring(figures.filesDone) + L" of " +
                        std::to_wstring(figures.filesTotal) + L" files, " + ByteAmount(figures.bytesDone) + L" of " +
                        ByteAmount(figures.bytesTotal) + L", " + std::to_wstring(ProgressPercent(total, done)) + L" %";
    // A rate needs a second of copying and some bytes to stand on.
    if (elapsedMs < 1000 || figures.bytesDone == 0) return text;
    const double perSecond = figures.bytesDone * 1000.0 / elapsedMs;
    text += L", " + ByteAmount(static_cast<uint64_t>(perSecond)) + L"/s";
    if (figures.bytesDone >= figures.bytesTotal) return text;
    wchar_t left[kTimeSpanUnits];
    FormatTimeSpan(static_cast<DWORD>((figures.bytesTotal - figures.bytesDone) / perSecond * 1000), left);
    return text + L", " + left + L" left";
}

}  // namespace cli
