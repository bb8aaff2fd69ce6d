#include "model/line_reader.h"

#include "model/memory.h"
#include "model/system_error.h"
#include "model/text.h"

#include <cstring>

DWORD LineReader::Next(const char** line, size_t* length) {
    if (!m_buffer) {
        m_buffer = static_cast<char*>(MemAlloc(kLongestLineBytes));
        if (!m_buffer) return ERROR_NOT_ENOUGH_MEMORY;
    }
    for (;;) {
        const char* start = m_buffer + m_start;
        const char* feed = static_cast<const char*>(memchr(start, '\n', m_end - m_start));
        if (feed) {
            ++m_number;
            *line = start;
            *length = static_cast<size_t>(feed - start);
            if (*length > 0 && start[*length - 1] == '\r') --*length;
            m_start = static_cast<size_t>(feed - m_buffer) + 1;
            return ERROR_SUCCESS;
        }
        if (m_atEnd || m_end - m_start == kLongestLineBytes) {
            if (m_start == m_end) return ERROR_HANDLE_EOF;
            ++m_number;
            m_cut = m_atEnd;
            return ERROR_INVALID_DATA;
        }
        memmove(m_buffer, m_buffer + m_start, m_end - m_start);
        m_end -= m_start;
        m_start = 0;
        DWORD got = 0;
        if (!ReadFile(m_file, m_buffer + m_end, static_cast<DWORD>(kLongestLineBytes - m_end), &got, nullptr))
            return LastErrorOr(ERROR_READ_FAULT);
        // A byte-order mark, which a plain text editor may save the file with, is no part of the header.
        if (m_number == 0 && m_start == 0 && m_end == 0) m_start = Utf8ByteOrderMarkAt(m_buffer, got);
        m_end += got;
        m_atEnd = got == 0;
    }
}
