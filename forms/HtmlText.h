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
    // Decodes the character references of the markup as the HTML tokenizer reads them: every named
    // reference of HTML (the legacy names such as "&amp" and "&copy" also without their ";"), and numeric
    // ones with or without ";" (NUL, surrogates and values beyond Unicode as U+FFFD, 0x80 to 0x9F as the
    // windows-1252 characters of those bytes). In an attribute value a legacy name without ";" followed
    // by "=" or a letter or digit stays as written. The text comes and goes in the page's bytes: on a page
    // of another set than UTF-8 it is read as characters first, and a decoded character the set cannot
    // hold goes back as its decimal reference.
    static std::string DecodeCharacterReferences(const std::string& sText,
                                                 const CPageEscape& escape = CPageEscape::Utf8(),
                                                 bool bAttribute = true);
    // The same over characters.
    static std::u32string DecodeCharacterReferences(const std::u32string& sText, bool bAttribute = true);
    // Whether a numeric reference reads as the character itself: not so for NUL, surrogates, and the C1
    // controls browsers read as windows-1252 characters.
    static bool HasReference(char32_t u);
    // The UTF-8 sequence of a character.
    static void AppendUtf8(std::string& sOut, char32_t u);
};
