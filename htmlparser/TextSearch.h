// Case-insensitive byte searches (ASCII letters folded, nothing else) over a raw buffer.
#pragma once

#include "htmlparser/Position.h"

inline unsigned char FoldNoCase(unsigned char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c;
}

// First match starting in [nStart, nStart + nLength) and ending within it, or -1.
Position FindStringNoCase(const char* pText, const char* pszPattern, Position nStart, Position nLength);
// First position in [nStart, nStart + nCount) holding the character, or -1.
Position FindCharNoCase(const char* pText, char c, Position nStart, Position nCount);
// Last position in [nPos - nCount + 1, nPos] (not below 0) holding the character, or -1.
Position FindCharNoCaseBackward(const char* pText, char c, Position nPos, Position nCount);
// Highest match start among nCount positions from nPos down, the match ending at or before nTextEnd.
Position FindStringNoCaseBackward(const char* pText, const char* pszPattern, Position nPos, Position nTextEnd,
                                  Position nCount);
// Whether the pattern stands at nPos and ends at or before nTextEnd.
bool EqualsNoCaseAt(const char* pText, Position nTextEnd, Position nPos, const char* pszPattern);
// Same length and equal folded bytes.
bool EqualsNoCase(const char* psz1, const char* psz2);
