#pragma once
// Small rules of text shared by the model and everything above it: copying
// into fixed buffers, UTF-16 surrogates, UTF-8, hexadecimal digits and times
// in ISO 8601.
#include <windows.h>

#include <cstddef>
#include <cstdint>

// Copies `source` into `target` of `capacity` units, cut to fit and always terminated.
void CopyText(wchar_t* target, size_t capacity, const wchar_t* source);
// Appends `source` to the text already in `target`, cut to fit and always terminated.
void AppendText(wchar_t* target, size_t capacity, const wchar_t* source);

inline bool IsHighSurrogate(unsigned unit) { return unit >= 0xD800 && unit < 0xDC00; }
inline bool IsLowSurrogate(unsigned unit) { return unit >= 0xDC00 && unit < 0xE000; }
inline bool IsSurrogate(unsigned unit) { return unit >= 0xD800 && unit < 0xE000; }

// The code point that begins at text[*index] (of `length` units), and moves
// *index past it: a surrogate pair gives its character, a half without its
// other half gives itself.
unsigned NextCodePoint(const wchar_t* text, size_t length, size_t* index);
// Writes `point` (not a surrogate) as UTF-8 into `out` (room for 4 bytes);
// returns the bytes written.
size_t EncodeUtf8(unsigned point, char* out);
// The one conversion between UTF-8 and UTF-16 of the program. Each takes
// `length` units of `text` (no terminator needed, none written) into `out` of
// `capacity` units and sets *written to the units written, or with a null
// `out` to the units needed. ERROR_INSUFFICIENT_BUFFER when they do not fit.
// UTF-8 that is not well formed (an overlong form, a surrogate, a sequence cut
// short, beyond U+10FFFF) is refused with ERROR_NO_UNICODE_TRANSLATION.
DWORD Utf8ToWide(const char* text, size_t length, wchar_t* out, size_t capacity, size_t* written);
// Half a surrogate pair, which UTF-8 cannot hold, becomes U+FFFD; nothing is refused.
DWORD WideToUtf8(const wchar_t* text, size_t length, char* out, size_t capacity, size_t* written);
// What a plain text editor may put before UTF-8 text; skipped where it is read.
extern const char kUtf8ByteOrderMark[];
const size_t kUtf8ByteOrderMarkBytes = 3;
// The bytes of the mark at the start of `bytes`: kUtf8ByteOrderMarkBytes or 0.
size_t Utf8ByteOrderMarkAt(const char* bytes, size_t length);

// The value of one hexadecimal digit of either case; -1 for any other unit.
int HexDigitValue(unsigned unit);
// Writes `value` in exactly `digits` hexadecimal digits; returns the end.
char* WriteHexDigits(char* out, uint32_t value, unsigned digits, bool upperCase);
// Reads exactly `count` hexadecimal digits of either case.
bool ReadHexDigits(const char* text, size_t count, uint32_t* value);
bool ReadHexDigits(const wchar_t* text, size_t count, uint32_t* value);

// The most bytes an ISO time takes: a year of five digits.
const size_t kIsoTimeBytes = 29;
// A FILETIME's count of 100 ns since 1601 as 2024-05-01T12:34:56.1234567Z, in
// UTC, with a year of four or five digits; returns the length.
size_t FormatIsoTime(uint64_t ticks, char* text);
// The reverse, for exactly that form; false for anything else or a day that
// the calendar does not have.
bool ParseIsoTime(const char* text, size_t length, uint64_t* ticks);
