// The character sets of pages that are not sent as UTF-8, and the conversion of localized strings into
// them.
#pragma once

#include "common/CiString.h"
#include "platform/WinTypes.h"

#include <map>
#include <string>

class CPageCharSet
{
public:
    CPageCharSet() = default;
    virtual ~CPageCharSet() = default;
    CPageCharSet(const CPageCharSet&) = delete;
    CPageCharSet& operator=(const CPageCharSet&) = delete;

    // Fills the name-to-code-page table; names present already are kept, so a second run adds nothing.
    virtual void Init();

    // The name after "charset=" (any case) up to the next carriage return or the end of the text. True
    // when a name was found.
    static bool DetectCharSet(const char* pszText, DWORD dwLength, ci_string& csCharSet);
    // Whether strings can be translated for a page of that character set: "utf-8", "utf-16", a name of the
    // table whose code page converts here, or a name or alias ICU knows.
    bool IsKnown(const ci_string& csCharSet) const;
    // The text in the named character set: UTF-8 HTML-escaped for UTF-8, the thread's ANSI code page for
    // "utf-16", the table's code page for a name of the table, else the set ICU knows by that name; not
    // HTML-escaped. A character the page cannot hold, would read back as another, or would write with a
    // byte below 0x80 (a second byte of a double-byte set, a shifting set's sequence) is written as a
    // decimal character reference ("&#945;"), the form the rewriters decode resource texts from: the text
    // then never holds a byte that passes for a quote or a backslash. False, with the out text untouched,
    // for a set that is not known.
    bool TranslateString(const std::u16string& strText, const ci_string& csCharSet, ci_string& csOut) const;
    // The table's code page of a name; false when the name is not in the table.
    bool GetCodePage(const ci_string& csCharSet, UINT& uCodePage) const;

    std::map<ci_string, DWORD> m_mapCharSets;
};
