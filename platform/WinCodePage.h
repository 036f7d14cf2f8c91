// Code-page conversion over ICU. Code pages are Windows' numbers; the ANSI code page of this machine is
// 1252. A code page ICU has no converter for fails with ERROR_INVALID_PARAMETER.
#pragma once

#include "platform/WinTypes.h"

#include <memory>
#include <string>
#include <string_view>

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

DLSW_API UINT GetACP();
// Whether a code page can be converted here.
DLSW_API BOOL IsValidCodePage(UINT uCodePage);

// A cchMultiByte or cchWideChar of -1 takes the text up to and with its terminating NUL. A zero-sized output
// asks for the size needed; an output too small fails with ERROR_INSUFFICIENT_BUFFER. Characters the
// target cannot hold become the default character ("?" unless given); *lpUsedDefaultChar tells whether
// one was needed. Invalid input becomes U+FFFD when converting to UTF-16.
DLSW_API int MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                                 LPWSTR lpWideCharStr, int cchWideChar);
DLSW_API int WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                                 LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                                 LPBOOL lpUsedDefaultChar);

// One character set's converter, found by a Windows code page or by a character-set name as ICU's alias
// table knows it ("windows-1252", "latin1", "Shift_JIS"...). Not shared between threads: a converter keeps
// state between the pieces of one text.
class DLSW_API CCharSetConverter
{
public:
    // Null for a code page ICU has no converter for.
    static std::unique_ptr<CCharSetConverter> ForCodePage(UINT uCodePage);
    // Null for a name ICU does not know, or knows without the data to convert. Only names made of letters,
    // digits and "-_.:+" are looked up: a name can then neither add ICU's converter options nor point at a
    // converter file.
    static std::unique_ptr<CCharSetConverter> ForName(std::string_view svName);

    ~CCharSetConverter();
    CCharSetConverter(const CCharSetConverter&) = delete;
    CCharSetConverter& operator=(const CCharSetConverter&) = delete;

    // ICU's name of the set ("UTF-8", "ibm-5348_P100-1997"...).
    const char* GetName() const;
    // The text in this set, left in the set's initial state (a shifted HZ text is closed with "~}"). False
    // when a character is not in the set: nothing stands in for it.
    bool Encode(std::u16string_view svText, std::string& strOut);
    // The bytes read in this set. False when a byte sequence is not a character of it.
    bool Decode(std::string_view svBytes, std::u16string& strOut);

private:
    struct CImpl;
    explicit CCharSetConverter(std::unique_ptr<CImpl> spImpl);
    std::unique_ptr<CImpl> m_spImpl;
};
