#include "model/text.h"

#include <climits>
#include <cwchar>

const char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

namespace {

const uint64_t kTicksPerSecond = 10000000;
const int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01, where FILETIME counts from, to 1970-01-01, where the
// calendar arithmetic below counts from.
const int64_t kDaysFrom1601To1970 = 134774;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar (the
// usual arithmetic of 400-year eras, exact for every FILETIME).
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

void CivilFromDays(int64_t days, int64_t* year, unsigned* month, unsigned* day) {
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const unsigned dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    *day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    *month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    *year = static_cast<int64_t>(yearOfEra) + era * 400 + (*month <= 2);
}

unsigned DaysInMonth(int64_t year, unsigned month) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Writes `value` in exactly `count` decimal digits.
char* WriteDigits(char* out, uint64_t value, unsigned count) {
    for (unsigned index = count; index > 0; --index) {
        out[index - 1] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return out + count;
}

// Reads exactly `count` decimal digits.
bool ReadDigits(const char* text, size_t count, uint64_t* value) {
    uint64_t result = 0;
    for (size_t index = 0; index < count; ++index) {
        if (text[index] < '0' || text[index] > '9') return false;
        result = result * 10 + static_cast<unsigned>(text[index] - '0');
    }
    *value = result;
    return true;
}

template <typename Unit>
bool ReadHex(const Unit* text, size_t count, uint32_t* value) {
    uint32_t result = 0;
    for (size_t index = 0; index < count; ++index) {
        const int digit = HexDigitValue(static_cast<unsigned>(text[index]));
        if (digit < 0) return false;
        result = result * 16 + static_cast<uint32_t>(digit);
    }
    *value = result;
    return true;
}

}  // namespace

void CopyText(wchar_t* target, size_t capacity, const wchar_t* source) {
    if (capacity == 0) return;
    size_t length = wcsnlen(source, capacity - 1);
    wmemcpy(target, source, length);
    target[length] = 0;
}

void AppendText(wchar_t* target, size_t capacity, const wchar_t* source) {
    size_t used = wcsnlen(target, capacity);
    if (used >= capacity) return;
    CopyText(target + used, capacity - used, source);
}

unsigned NextCodePoint(const wchar_t* text, size_t length, size_t* index) {
    const unsigned unit = static_cast<unsigned short>(text[(*index)++]);
    if (!IsHighSurrogate(unit) || *index >= length) return unit;
    const unsigned next = static_cast<unsigned short>(text[*index]);
    if (!IsLowSurrogate(next)) return unit;
    ++*index;
    return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
}

size_t EncodeUtf8(unsigned point, char* out) {
    if (point < 0x80) {
        out[0] = static_cast<char>(point);
        return 1;
    }
    if (point < 0x800) {
        out[0] = static_cast<char>(0xC0 | (point >> 6));
        out[1] = static_cast<char>(0x80 | (point & 0x3F));
        return 2;
    }
    if (point < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (point >> 12));
        out[1] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (point & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (point >> 18));
    out[1] = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (point & 0x3F));
    return 4;
}

namespace {

// The system's conversions count in int and take a capacity of 0 as a request to count.
DWORD CheckConversionSizes(size_t length, const void* out, size_t capacity, int* room) {
    if (length > INT_MAX) return ERROR_INVALID_PARAMETER;
    if (!out) {
        *room = 0;
        return ERROR_SUCCESS;
    }
    if (capacity == 0) return ERROR_INSUFFICIENT_BUFFER;
    *room = static_cast<int>(capacity < INT_MAX ? capacity : INT_MAX);
    return ERROR_SUCCESS;
}

DWORD ConversionError(DWORD fallback) {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

}  // namespace

DWORD Utf8ToWide(const char* text, size_t length, wchar_t* out, size_t capacity, size_t* written) {
    *written = 0;
    if (length == 0) return ERROR_SUCCESS;
    int room = 0;
    DWORD status = CheckConversionSizes(length, out, capacity, &room);
    if (status != ERROR_SUCCESS) return status;
    const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), out, room);
    if (units <= 0) return ConversionError(ERROR_NO_UNICODE_TRANSLATION);
    *written = static_cast<size_t>(units);
    return ERROR_SUCCESS;
}

DWORD WideToUtf8(const wchar_t* text, size_t length, char* out, size_t capacity, size_t* written) {
    *written = 0;
    if (length == 0) return ERROR_SUCCESS;
    int room = 0;
    DWORD status = CheckConversionSizes(length, out, capacity, &room);
    if (status != ERROR_SUCCESS) return status;
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), out, room, nullptr, nullptr);
    if (bytes <= 0) return ConversionError(ERROR_INSUFFICIENT_BUFFER);
    *written = static_cast<size_t>(bytes);
    return ERROR_SUCCESS;
}

size_t Utf8ByteOrderMarkAt(const char* bytes, size_t length) {
    if (length < kUtf8ByteOrderMarkBytes) return 0;
    for (size_t index = 0; index < kUtf8ByteOrderMarkBytes; ++index) {
        if (bytes[index] != kUtf8ByteOrderMark[index]) return 0;
    }
    return kUtf8ByteOrderMarkBytes;
}

int HexDigitValue(unsigned unit) {
    if (unit >= '0' && unit <= '9') return static_cast<int>(unit - '0');
    if (unit >= 'a' && unit <= 'f') return static_cast<int>(unit - 'a' + 10);
    if (unit >= 'A' && unit <= 'F') return static_cast<int>(unit - 'A' + 10);
    return -1;
}

char* WriteHexDigits(char* out, uint32_t value, unsigned digits, bool upperCase) {
    const char* const table = upperCase ? "0123456789ABCDEF" : "0123456789abcdef";
    for (unsigned index = digits; index > 0; --index) *out++ = table[(value >> (4 * (index - 1))) & 0xF];
    return out;
}

bool ReadHexDigits(const char* text, size_t count, uint32_t* value) { return ReadHex(text, count, value); }

bool ReadHexDigits(const wchar_t* text, size_t count, uint32_t* value) { return ReadHex(text, count, value); }

size_t FormatIsoTime(uint64_t ticks, char* text) {
    const uint64_t seconds = ticks / kTicksPerSecond;
    const unsigned secondOfDay = static_cast<unsigned>(seconds % kSecondsPerDay);
    int64_t year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(static_cast<int64_t>(seconds / kSecondsPerDay) - kDaysFrom1601To1970, &year, &month, &day);
    char* out = WriteDigits(text, static_cast<uint64_t>(year), year >= 10000 ? 5 : 4);
    *out++ = '-';
    out = WriteDigits(out, month, 2);
    *out++ = '-';
    out = WriteDigits(out, day, 2);
    *out++ = 'T';
    out = WriteDigits(out, secondOfDay / 3600, 2);
    *out++ = ':';
    out = WriteDigits(out, secondOfDay / 60 % 60, 2);
    *out++ = ':';
    out = WriteDigits(out, secondOfDay % 60, 2);
    *out++ = '.';
    out = WriteDigits(out, ticks % kTicksPerSecond, 7);
    *out++ = 'Z';
    return static_cast<size_t>(out - text);
}

bool ParseIsoTime(const char* text, size_t length, uint64_t* ticks) {
    // "-MM-DDTHH:MM:SS.fffffffZ" follows a year of four or five digits.
    const size_t kAfterYear = 24;
    if (length != 4 + kAfterYear && length != 5 + kAfterYear) return false;
    const size_t yearDigits = length - kAfterYear;
    const char* rest = text + yearDigits;
    static const char kPattern[] = "-00-00T00:00:00.0000000Z";
    for (size_t index = 0; index < kAfterYear; ++index) {
        const bool digit = rest[index] >= '0' && rest[index] <= '9';
        if (kPattern[index] == '0' ? !digit : rest[index] != kPattern[index]) return false;
    }
    uint64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, fraction = 0;
    if (!ReadDigits(text, yearDigits, &year)) return false;
    ReadDigits(rest + 1, 2, &month);
    ReadDigits(rest + 4, 2, &day);
    ReadDigits(rest + 7, 2, &hour);
    ReadDigits(rest + 10, 2, &minute);
    ReadDigits(rest + 13, 2, &second);
    ReadDigits(rest + 16, 7, &fraction);
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(static_cast<int64_t>(year), month) ||
        hour > 23 || minute > 59 || second > 59)
        return false;
    const uint64_t days =
        static_cast<uint64_t>(DaysFromCivil(static_cast<int64_t>(year), static_cast<unsigned>(month),
                                            static_cast<unsigned>(day)) + kDaysFrom1601To1970);
    const uint64_t seconds = days * kSecondsPerDay + hour * 3600 + minute * 60 + second;
    // The last FILETIME falls in the year 60056.
    if (seconds > (UINT64_MAX - fraction) / kTicksPerSecond) return false;
    *ticks = seconds * kTicksPerSecond + fraction;
    return true;
}
