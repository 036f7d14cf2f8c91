// Texts on their way to and from the directory: wide text as the directory readers keep it, UTF-16 as the
// directory interfaces take it, and the escaping that keeps a value a value inside a search filter or a
// distinguished name.
#pragma once

#include "platform/Com.h"

#include <string>

// UTF-16 (as BSTRs and the directory interfaces hold it) to wide text and back. A lone surrogate becomes
// U+FFFD.
std::wstring WideFromUtf16(const char16_t* psz, size_t cch);
std::wstring WideFromBstr(BSTR bstr);
std::u16string Utf16FromWide(const std::wstring& wstr);
// Narrow text is the ANSI code page's.
std::wstring WideFromAnsi(const std::string& str);
std::string AnsiFromWide(const std::wstring& wstr);

// A value for an LDAP search filter: "*", "(", ")", "\" and NUL become "\2a", "\28", "\29", "\5c" and
// "\00", so the value matches itself and nothing else.
std::string EscapeLdapFilterValue(const std::string& strValue);
// A value for an attribute of a distinguished name: ",", "+", """, "\", "<", ">", ";", "=", a leading
// "#" or blank and a trailing blank are preceded by "\"; NUL becomes "\00". "/" becomes "\/", as a
// directory path needs it.
std::string EscapeDNValue(const std::string& strValue);
