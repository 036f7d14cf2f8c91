// System texts of error codes and the translation of POSIX errors into Win32 codes.
#pragma once

#include "platform/WinTypes.h"

#include <cstdarg>

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200u
#define FORMAT_MESSAGE_FROM_STRING 0x00000400u
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000u
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000u
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FFu
#define ERROR_MR_MID_NOT_FOUND 317u

// Only FORMAT_MESSAGE_FROM_SYSTEM is served: the text of a Win32 code or an HRESULT from the table of
// codes the worker meets, ending in "\r\n" as the system's texts do. With FORMAT_MESSAGE_ALLOCATE_BUFFER,
// pszBuffer is really a char** that receives a LocalAlloc'ed text. Returns the text's length, 0 (with
// ERROR_MR_MID_NOT_FOUND) for an unknown code, or 0 (ERROR_INSUFFICIENT_BUFFER) when nSize is too small.
DLSW_API DWORD FormatMessageA(DWORD dwFlags, LPCVOID pSource, DWORD dwMessageId, DWORD dwLanguageId,
                              LPSTR pszBuffer, DWORD nSize, va_list* pArguments);

// The system text of a code without the trailing line break, or null when the table has none.
DLSW_API const char* FindSystemErrorText(DWORD dwMessageId);

// The Win32 code closest to a POSIX errno value.
DLSW_API DWORD Win32ErrorFromErrno(int nErrno);

// The last error of the calling thread from a POSIX errno value, the one translation every call that fails
// in a POSIX function goes through.
DLSW_API void SetLastErrorFromErrno(int nErrno);

// A failed HRESULT, thrown. Deliberately no std::exception: it carries a code, not a text, and whoever
// catches everything reports it as the unknown exception it was when the code itself was thrown.
class DLSW_API CHResultError
{
public:
    explicit CHResultError(HRESULT hr) : m_hr(hr) {}
    HRESULT Error() const { return m_hr; }

private:
    HRESULT m_hr;
};

// The one way our code raises a failed HRESULT; a success code passes.
inline void ThrowIfFailed(HRESULT hr)
{
    if (FAILED(hr))
        throw CHResultError(hr);
}
