// The character-set labels browsers know, and the encodings they name. A page's declared set counts only
// when it is one of these labels (any case, blanks around it ignored): browsers skip any other name and go on
// to the next place a set may be declared.
#pragma once

#include <string_view>

struct CEncoding
{
    // The encoding's name in lower case ("shift_jis", "gbk", "windows-1252").
    const char* m_pszName;
    // ICU's converter that reads its bytes nearest to a browser; empty where ICU has none (the
    // "replacement" encoding, x-user-defined). Big5 is read as Big5-HKSCS, as browsers read it: the Hong
    // Kong pairs are their characters, not the private-use ones of windows-950.
    const char* m_pszIcuName;
};

class CEncodingLabels
{
public:
    // The encoding of a label, or null for a name that is no label.
    static const CEncoding* Find(std::string_view svLabel);
    // The encoding of its own lower-case name, or null.
    static const CEncoding* ByName(std::string_view svName);
    static const CEncoding& Utf8();
    static const CEncoding& Utf16Le();
    static const CEncoding& Utf16Be();
    static const CEncoding& Windows1252();
};
