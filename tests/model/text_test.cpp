// The small rules of text that every layer shares: code points, UTF-8,
// hexadecimal digits, the byte-order mark, the characters no name holds and
// times in ISO 8601.
#include "model/names.h"
#include "model/system_error.h"
#include "model/text.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>

namespace {

// Each unit sequence as its code points, then as UTF-8 the way the catalog
// and the JSON listing write them (a lone half as "?").
TEST(TextHelpers, CodePointsAndUtf8FollowThePairsAndLeaveLoneHalvesAlone) {
    struct Row {
        std::wstring text;
        std::string utf8;
    } rows[] = {
        {L"A", "A"},
        {L"\u00e9", "\xC3\xA9"},
        {L"\u20AC", "\xE2\x82\xAC"},
        {L"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
        {L"\xD83Dx", "?x"},  // a high half without its low half
        {L"x\xDE00", "x?"},
        {L"\xDE00\xD83D", "??"},  // in the wrong order
        {L"\xD83D", "?"},  // cut at the end
    };
    for (const Row& row : rows) {
        std::string written;
        for (size_t index = 0; index < row.text.size();) {
            const unsigned point = NextCodePoint(row.text.data(), row.text.size(), &index);
            char bytes[4];
            if (IsSurrogate(point)) {
                written += '?';
            } else {
                written.append(bytes, EncodeUtf8(point, bytes));
            }
        }
        EXPECT_EQ(written, row.utf8) << row.utf8;
    }
}

// Well-formed text converts both ways alike; bytes that are not UTF-8 are
// refused, and a lone half of a pair is written as U+FFFD.
TEST(TextHelpers, Utf8AndUtf16ConvertOnlyWellFormedTextAndWithinTheirRoom) {
    enum Way { kBothWays, kRefusedUtf8, kEncodedOnly };
    struct Row {
        std::string utf8;
        std::wstring wide;
        Way way;
    } rows[] = {
        {"", L"", kBothWays},
        {"a\\b", L"a\\b", kBothWays},
        {"\xC3\xA9\xE2\x82\xAC", L"\u00e9\u20AC", kBothWays},
        {"\xF0\x9F\x98\x80", L"\xD83D\xDE00", kBothWays},
        {"\xC0\x80", L"", kRefusedUtf8},          // an overlong NUL
        {"\xED\xA0\x80", L"", kRefusedUtf8},      // a surrogate
        {"\xE2\x82", L"", kRefusedUtf8},          // cut short
        {"\xF4\x90\x80\x80", L"", kRefusedUtf8},  // beyond U+10FFFF
        {"\x80", L"", kRefusedUtf8},              // a lone continuation
        {"x\xEF\xBF\xBD", L"x\xD83D", kEncodedOnly},
        {"\xEF\xBF\xBDx", L"\xDE00x", kEncodedOnly},
    };
    for (const Row& row : rows) {
        if (row.way != kEncodedOnly) {
            wchar_t wide[8] = {};
            size_t units = 99;
            EXPECT_EQ(Utf8ToWide(row.utf8.data(), row.utf8.size(), wide, 8, &units),
                      row.way == kRefusedUtf8 ? DWORD(ERROR_NO_UNICODE_TRANSLATION) : DWORD(ERROR_SUCCESS))
                << row.utf8;
            EXPECT_EQ(std::wstring(wide, units), row.wide) << row.utf8;
        }
        if (row.way == kRefusedUtf8) continue;
        char bytes[16] = {};
        size_t count = 99, needed = 99;
        EXPECT_EQ(WideToUtf8(row.wide.data(), row.wide.size(), nullptr, 0, &needed), ERROR_SUCCESS) << row.utf8;
        EXPECT_EQ(WideToUtf8(row.wide.data(), row.wide.size(), bytes, sizeof bytes, &count), ERROR_SUCCESS);
        EXPECT_EQ(std::string(bytes, count), row.utf8);
        EXPECT_EQ(needed, count) << row.utf8;
    }
    // Too little room is refused, not cut; none at all counts nothing.
    const struct {
        size_t capacity;
        DWORD status;
        size_t units;
    } roomRows[] = {{0, ERROR_INSUFFICIENT_BUFFER, 0}, {1, ERROR_INSUFFICIENT_BUFFER, 0}, {2, ERROR_SUCCESS, 2}};
    for (const auto& row : roomRows) {
        wchar_t wide[2];
        char bytes[2];
        size_t written = 99;
        EXPECT_EQ(Utf8ToWide("ab", 2, wide, row.capacity, &written), row.status) << row.capacity;
        EXPECT_EQ(written, row.units) << row.capacity;
        EXPECT_EQ(WideToUtf8(L"ab", 2, bytes, row.capacity, &written), row.status) << row.capacity;
        EXPECT_EQ(written, row.units) << row.capacity;
    }
    size_t needed = 0;
    EXPECT_EQ(Utf8ToWide("\xF0\x9F\x98\x80", 4, nullptr, 0, &needed), ERROR_SUCCESS);
    EXPECT_EQ(needed, 2u);
}

TEST(TextHelpers, HexDigitsOfEitherCaseAreReadAndOfTheAskedCaseWritten) {
    struct Row {
        const char* text;
        bool valid;
        uint32_t value;
    } rows[] = {{"00000010", true, 0x10}, {"FfFfFfFf", true, 0xFFFFFFFF}, {"0000002g", false, 0},
                {"0000 010", false, 0},   {"-0000001", false, 0}};
    for (const Row& row : rows) {
        uint32_t value = 0;
        EXPECT_EQ(ReadHexDigits(row.text, 8, &value), row.valid) << row.text;
        EXPECT_EQ(value, row.valid ? row.value : 0u) << row.text;
    }
    char text[9] = {};
    WriteHexDigits(text, 0xABC0123u, 8, false);
    EXPECT_STREQ(text, "0abc0123");
    WriteHexDigits(text, 0xD83Du, 4, true);
    EXPECT_EQ(std::string(text, 4), "D83D");
}

TEST(TextHelpers, OnlyAWholeByteOrderMarkAtTheStartIsOne) {
    struct Row {
        std::string bytes;
        size_t mark;
    } rows[] = {{"\xEF\xBB\xBFquillmar", 3}, {"\xEF\xBB\xBF", 3}, {"\xEF\xBB", 0}, {"x\xEF\xBB\xBF", 0}, {"", 0}};
    for (const Row& row : rows) EXPECT_EQ(Utf8ByteOrderMarkAt(row.bytes.data(), row.bytes.size()), row.mark);
}

TEST(TextHelpers, NoNameHoldsControlCharactersNorTheNineReservedOnes) {
    for (wchar_t unit : std::wstring(L"\x01\x1F*?\"<>|:/\\")) EXPECT_TRUE(IsForbiddenInName(unit)) << int(unit);
    for (wchar_t unit : std::wstring(L" .-_~%#a\u00e9\xD83D\x7F")) EXPECT_FALSE(IsForbiddenInName(unit)) << int(unit);
}

TEST(TextHelpers, AFailureWithoutItsCodeIsStillAFailure) {
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(LastErrorOr(ERROR_OPEN_FAILED), DWORD(ERROR_ACCESS_DENIED));
    SetLastError(ERROR_SUCCESS);
    EXPECT_EQ(LastErrorOr(ERROR_OPEN_FAILED), DWORD(ERROR_OPEN_FAILED));
}

TEST(TextHelpers, TimesAreWrittenInUtcToTheTickAndReadBackExactly) {
    struct Row {
        uint64_t ticks;
        const char* text;
    } rows[] = {
        {0, "1601-01-01T00:00:00.0000000Z"},
        {125911583980000000ull, "1999-12-31T23:59:58.0000000Z"},
        {133537247991234567ull, "2024-02-29T23:59:59.1234567Z"},
        {UINT64_MAX, "60056-05-28T05:36:10.9551615Z"},
    };
    for (const Row& row : rows) {
        char text[kIsoTimeBytes + 1] = {};
        EXPECT_EQ(std::string(text, FormatIsoTime(row.ticks, text)), row.text);
        uint64_t back = 0;
        EXPECT_TRUE(ParseIsoTime(row.text, strlen(row.text), &back)) << row.text;
        EXPECT_EQ(back, row.ticks) << row.text;
    }
}

TEST(TextHelpers, TimesOutsideTheCalendarOrTheFormAreRefused) {
    const char* rows[] = {
        "2023-02-29T00:00:00.0000000Z",   // not a leap year
        "2024-04-31T00:00:00.0000000Z",   // a thirty-day month
        "2024-13-01T00:00:00.0000000Z",   //
        "2024-01-01T24:00:00.0000000Z",   //
        "2024-01-01T00:60:00.0000000Z",   //
        "1600-12-31T23:59:59.9999999Z",   // before the first FILETIME
        "60056-05-28T05:36:10.9551616Z",  // after the last
        "2024-01-01T00:00:00.000000Z",    // six digits of fraction
        "2024-01-01T00:00:00.0000000",    // no zone
        "2024-01-01 00:00:00.0000000Z",   //
        "+2024-01-01T00:00:00.000000Z",   //
        "",
    };
    for (const char* row : rows) {
        uint64_t ticks = 0;
        EXPECT_FALSE(ParseIsoTime(row, strlen(row), &ticks)) << row;
    }
}

}  // namespace
