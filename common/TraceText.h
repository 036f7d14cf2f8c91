// Texts written into the trace and the event log. Values that came with a request (a URL, a header, the
// user's name, a cookie) may hold line breaks and other control characters: written as they stand, a value
// could end its line and write one of its own into the log. The texts a format brings in are escaped; the
// format's own text keeps its line ends.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

// The text with CR as "\r", LF as "\n" and every other control character (below 0x20, and 0x7F) as "\xNN";
// every other byte stands as it is.
std::string EscapeControlCharacters(std::string_view svText);

// As vsnprintf into nSize bytes (at most nSize - 1 characters and the terminating NUL), except that the
// texts of %s and %c conversions have their control characters escaped. Returns the length of the whole
// text, as vsnprintf does.
int FormatTraceText(char* pszBuffer, size_t nSize, const char* pszFormat, va_list args)
    __attribute__((format(printf, 3, 0)));
