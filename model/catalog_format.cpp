#include "model/catalog_format.h"

#include <type_traits>

const char kCatalogMagic[] = "quillmar-catalog";
const char kCatalogWithContent[] = "content=sha256";
const char kCatalogWithoutContent[] = "content=none";
const char kCatalogEnd[] = "end";

namespace {

const uint64_t kTicksPerSecond = 10000000;
const int64_t kSecondsPerDay = 86400;
// Days from 1601-01-01, where FILETIME counts from, to 1970-01-01, where the
// calendar arithmetic below counts from.
const int64_t kDaysFrom1601To1970 = 134774;
const char kHexDigits[] = "0123456789abcdef";

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

int HexValue(unsigned digit) {
    if (digit >= '0' && digit <= '9') return static_cast<int>(digit - '0');
    if (digit >= 'a' && digit <= 'f') return static_cast<int>(digit - 'a' + 10);
    if (digit >= 'A' && digit <= 'F') return static_cast<int>(digit - 'A' + 10);
    return -1;
}

// Reads exactly `count` hexadecimal digits, of either case.
template <typename Unit>
bool ReadHex(const Unit* text, size_t count, unsigned* value) {
    unsigned result = 0;
    for (size_t index = 0; index < count; ++index) {
        int digit = HexValue(static_cast<std::make_unsigned_t<Unit>>(text[index]));
        if (digit < 0) return false;
        result = result * 16 + static_cast<unsigned>(digit);
    }
    *value = result;
    return true;
}

// The characters a name carries only escaped: they would end a field or a
// line, pass for the separator or for an escape, or vanish in a text editor.
bool MustEscape(unsigned unit) { return unit < 0x20 || unit == 0x7F || unit == '%' || unit == '\\'; }

bool IsSurrogate(unsigned unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

char* WriteHex(char* out, unsigned value, unsigned digits) {
    static const char kUpper[] = "0123456789ABCDEF";
    for (unsigned index = digits; index > 0; --index) *out++ = kUpper[(value >> (4 * (index - 1))) & 0xF];
    return out;
}

}  // namespace

size_t FormatCatalogTime(uint64_t ticks, char* text) {
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

bool ParseCatalogTime(const char* text, size_t length, uint64_t* ticks) {
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

size_t EscapeCatalogName(const wchar_t* name, size_t length, char* out) {
    char* start = out;
    for (size_t index = 0; index < length; ++index) {
        unsigned unit = name[index];
        const bool pair = unit >= 0xD800 && unit <= 0xDBFF && index + 1 < length && name[index + 1] >= 0xDC00 &&
                          name[index + 1] <= 0xDFFF;
        if (pair) {
            unsigned point = 0x10000 + ((unit - 0xD800) << 10) + (name[++index] - 0xDC00u);
            *out++ = static_cast<char>(0xF0 | (point >> 18));
            *out++ = static_cast<char>(0x80 | ((point >> 12) & 0x3F));
            *out++ = static_cast<char>(0x80 | ((point >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (point & 0x3F));
        } else if (IsSurrogate(unit)) {
            // Half a pair cannot be written as UTF-8 at all.
            *out++ = '%';
            *out++ = 'u';
            out = WriteHex(out, unit, 4);
        } else if (MustEscape(unit)) {
            *out++ = '%';
            out = WriteHex(out, unit, 2);
        } else if (unit < 0x80) {
            *out++ = static_cast<char>(unit);
        } else if (unit < 0x800) {
            *out++ = static_cast<char>(0xC0 | (unit >> 6));
            *out++ = static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            *out++ = static_cast<char>(0xE0 | (unit >> 12));
            *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            *out++ = static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return static_cast<size_t>(out - start);
}

bool UnescapeCatalogName(const wchar_t* text, size_t length, wchar_t* name, size_t* nameLength) {
    size_t written = 0;
    for (size_t index = 0; index < length; ++index) {
        const unsigned unit = text[index];
        if (unit != L'%') {
            if (MustEscape(unit)) return false;
            name[written++] = static_cast<wchar_t>(unit);
            continue;
        }
        unsigned value = 0;
        if (index + 6 <= length && text[index + 1] == L'u' && ReadHex(text + index + 2, 4, &value) &&
            IsSurrogate(value)) {
            index += 5;
        } else if (index + 3 <= length && ReadHex(text + index + 1, 2, &value) && MustEscape(value)) {
            index += 2;
        } else {
            return false;
        }
        name[written++] = static_cast<wchar_t>(value);
    }
    *nameLength = written;
    return true;
}

void FormatDigest(const FileDigest& digest, char* text) {
    for (unsigned index = 0; index < kDigestBytes; ++index) {
        text[2 * index] = kHexDigits[digest.bytes[index] >> 4];
        text[2 * index + 1] = kHexDigits[digest.bytes[index] & 0xF];
    }
}

bool ParseDigest(const char* text, size_t length, FileDigest* digest) {
    if (length != kDigestTextBytes) return false;
    for (unsigned index = 0; index < kDigestBytes; ++index) {
        unsigned value = 0;
        if (!ReadHex(text + 2 * index, 2, &value)) return false;
        digest->bytes[index] = static_cast<BYTE>(value);
    }
    return true;
}
