// Byte offsets into a response buffer and the helpers every parser class shares.
#pragma once

#include "common/TraceLog.h"

#include <cstdint>

// Offset from the first byte of the response data; all bits set means none or not found.
using Position = uint64_t;
constexpr Position NPOS = ~static_cast<Position>(0);

// The highest position a source may hold: positions kept in the parser's objects take four bytes, since a
// page holds an object for nearly every tag. A longer text is refused by its source.
constexpr Position MAX_SOURCE_POSITION = 0xFFFFFFFEu;

// A position as the parser's objects keep it: four bytes, read back as a Position (NPOS stays NPOS).
class CStoredPosition
{
public:
    constexpr CStoredPosition() = default;
    constexpr CStoredPosition(Position nPos)
        : m_nPos(nPos > MAX_SOURCE_POSITION ? NONE : static_cast<uint32_t>(nPos))
    {
    }
    constexpr operator Position() const { return m_nPos == NONE ? NPOS : m_nPos; }

private:
    static constexpr uint32_t NONE = 0xFFFFFFFFu;
    uint32_t m_nPos = NONE;
};

// Which view of the page's tags a remembered answer belongs to: a source changes it once, when its only full
// parse replaces the on-demand view, so two bytes hold every value it takes.
using CSourceGeneration = uint16_t;

// Log lines print positions through "%d", as signed 32-bit values.
inline int LogPos(Position nPos)
{
    return static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(nPos)));
}

// Whether a log line would be written at all: texts that cost a copy are built only then.
inline bool ParserTraceOn()
{
    return (GetTraceMask() & TRACE_MASK_ON) != 0;
}

// Longest piece of page text copied into one log line or into the name of an unregistered tag: crafted
// pages must not make the parser hold or format text quadratic in their size.
constexpr Position MAX_LOGGED_TEXT = 256;

inline bool IsAsciiLetter(unsigned char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
inline bool IsAsciiDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}
inline bool IsNameStartChar(unsigned char c)
{
    return IsAsciiLetter(c) || c == '_' || c == ':';
}
inline bool IsNameChar(unsigned char c)
{
    return IsAsciiLetter(c) || IsAsciiDigit(c) || c == '.' || c == '-' || c == '_' || c == ':';
}
inline bool IsWhiteSpaceChar(unsigned char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
