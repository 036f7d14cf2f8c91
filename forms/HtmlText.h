// Text taken out of a page is still markup: its character references stand for the characters the
// browser shows. A value copied from one place of a page into another (a script literal, an attribute)
// is decoded first and escaped for its new place, so that it reaches the viewer's scripts as the user
// sees it and never twice encoded.
#pragma once

#include "forms/PageEscape.h"

#include <string>

class CHtmlText
{
public:
    // Decodes the named references of the markup characters (&amp; &lt; &gt; &quot; &apos; &nbsp;) and
    // every numeric one (&#39; &#x27;). On a UTF-8 page a numeric reference becomes its UTF-8 sequence;
    // on a page of another character set, whose bytes cannot hold every character, only references below
    // 0x80 are decoded. Anything else, an unknown name or a reference without its ";", stays as it is.
    static std::string DecodeCharacterReferences(const std::string& sText,
                                                 const CPageEscape& escape = CPageEscape::Utf8());
    // The same over characters, where every reference has a place.
    static std::u32string DecodeCharacterReferences(const std::u32string& sText);
    // Whether a numeric reference reads as the character itself: not so for NUL, surrogates, and the C1
    // controls browsers read as windows-1252 characters.
    static bool HasReference(char32_t u);
    // The UTF-8 sequence of a character.
    static void AppendUtf8(std::string& sOut, char32_t u);
};
