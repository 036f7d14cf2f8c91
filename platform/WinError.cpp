#include "platform/WinError.h"

#include "platform/WinMemory.h"
#include "platform/WinSync.h"

#include <cerrno>
#include <cstring>

namespace
{
struct ErrorText
{
    DWORD m_dwCode;
    const char* m_pszText;
};

// Win32 codes; an HRESULT of the Win32 facility is looked up by its low word.
const ErrorText g_win32Texts[] = {
    {0, "The operation completed successfully."},
    {1, "Incorrect function."},
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {4, "The system cannot open the file."},
    {5, "Access is denied."},
    {6, "The handle is invalid."},
    {7, "The storage control blocks were destroyed."},
    {8, "Not enough memory resources are available to process this command."},
    {11, "An attempt was made to load a program with an incorrect format."},
    {12, "The access code is invalid."},
    {13, "The data is invalid."},
    {14, "Not enough memory resources are available to complete this operation."},
    {15, "The system cannot find the drive specified."},
    {18, "There are no more files."},
    {21, "The device is not ready."},
    {25, "The drive cannot locate a specific area or track on the disk."},
    {29, "The system cannot write to the specified device."},
    {30, "The system cannot read from the specified device."},
    {31, "A device attached to the system is not functioning."},
    {32, "The process cannot access the file because it is being used by another process."},
    {38, "Reached the end of the file."},
    {50, "The request is not supported."},
    {53, "The network path was not found."},
    {80, "The file exists."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {122, "The data area passed to a system call is too small."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {126, "The specified module could not be found."},
    {127, "The specified procedure could not be found."},
    {131, "An attempt was made to move the file pointer before the beginning of the file."},
    {160, "One or more arguments are not correct."},
    {161, "The specified path is invalid."},
    {183, "Cannot create a file when that file already exists."},
    {203, "The system could not find the environment option that was entered."},
    {206, "The filename or extension is too long."},
    {234, "More data is available."},
    {259, "No more data is available."},
    {267, "The directory name is invalid."},
    {336, "An operation is not supported on a directory."},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2."},
    {487, "Attempt to access invalid address."},
    {998, "Invalid access to memory location."},
    {1004, "Invalid flags."},
    {1006, "The volume for a file has been externally altered so that the opened file is no longer valid."},
    {1008, "An attempt was made to reference a token that does not exist."},
    {1009, "The configuration registry database is corrupt."},
    {1010, "The configuration registry key is invalid."},
    {1011, "The configuration registry key could not be opened."},
    {1012, "The configuration registry key could not be read."},
    {1013, "The configuration registry key could not be written."},
    {1015, "The registry is corrupted."},
    {1114, "A dynamic link library (DLL) initialization routine failed."},
    {1168, "Element not found."},
    {1210, "The format of the specified computer name is invalid."},
    {1317, "The specified account does not exist."},
    {1326, "The user name or password is incorrect."},
    {1332, "No mapping between account names and security IDs was done."},
    {1337, "The security ID structure is invalid."},
    {1355, "The specified domain either does not exist or could not be contacted."},
    {1359, "An internal error occurred."},
    {1400, "Invalid window handle."},
    {1450, "Insufficient system resources exist to complete the requested service."},
    {1455, "The paging file is too small for this operation to complete."},
    {1460, "This operation returned because the timeout period expired."},
    {1500, "The event log file is corrupted."},
    {1501, "No event log file could be opened, so the event logging service did not start."},
    {1502, "The event log file is full."},
    {1722, "The RPC server is unavailable."},
    {1784, "The supplied user buffer is not valid for the requested operation."},
    {1812, "The specified image file did not contain a resource section."},
    {1813, "The specified resource type cannot be found in the image file."},
    {1814, "The specified resource name cannot be found in the image file."},
    {1815, "The specified resource language ID cannot be found in the image file."},
    {8224, "An operations error occurred."},
    {8240, "There is no such object on the server."},
    {8250, "The server is not operational."},
};

// HRESULTs outside the Win32 facility.
const ErrorText g_hresultTexts[] = {
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004003u, "Invalid pointer"},
    {0x80004004u, "Operation aborted"},
    {0x80004005u, "Unspecified error"},
    {0x8000000Au, "The data necessary to complete this operation is not yet available."},
    {0x8000FFFFu, "Catastrophic failure"},
    {0x80020005u, "Type mismatch."},
    {0x80020008u, "Bad variable type."},
    {0x8002000Au, "Out of present range."},
    {0x8002000Bu, "Invalid index."},
    {0x8002000Du, "Memory is locked."},
    {0x80040154u, "Class not registered"},
    {0x800401F0u, "CoInitialize has not been called."},
    {0x800401F3u, "Invalid class string"},
};

const char* Find(const ErrorText* pTable, size_t nCount, DWORD dwCode)
{
    for (size_t i = 0; i < nCount; ++i)
    {
        if (pTable[i].m_dwCode == dwCode)
            return pTable[i].m_pszText;
    }
    return nullptr;
}
} // namespace

const char* FindSystemErrorText(DWORD dwMessageId)
{
    if ((dwMessageId & 0xFFFF0000u) == 0x80070000u)
        dwMessageId &= 0xFFFFu;
    const char* pszText = Find(g_win32Texts, sizeof(g_win32Texts) / sizeof(g_win32Texts[0]), dwMessageId);
    if (pszText == nullptr)
        pszText = Find(g_hresultTexts, sizeof(g_hresultTexts) / sizeof(g_hresultTexts[0]), dwMessageId);
    return pszText;
}

DWORD FormatMessageA(DWORD dwFlags, LPCVOID /*pSource*/, DWORD dwMessageId, DWORD /*dwLanguageId*/,
                     LPSTR pszBuffer, DWORD nSize, va_list* /*pArguments*/)
{
    if ((dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) == 0 || pszBuffer == nullptr)
    {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const char* pszText = FindSystemErrorText(dwMessageId);
    if (pszText == nullptr)
    {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const size_t nTextLen = std::strlen(pszText);
    const size_t nLen = nTextLen + 2; // with "\r\n"
    if ((dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0)
    {
        char* pszAlloc = static_cast<char*>(LocalAlloc(LMEM_FIXED, nLen + 1 > nSize ? nLen + 1 : nSize));
        if (pszAlloc == nullptr)
            return 0;
        std::memcpy(pszAlloc, pszText, nTextLen);
        std::memcpy(pszAlloc + nTextLen, "\r\n", 3);
        *reinterpret_cast<char**>(pszBuffer) = pszAlloc;
        return static_cast<DWORD>(nLen);
    }
    if (nSize < nLen + 1)
    {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(pszBuffer, pszText, nTextLen);
    std::memcpy(pszBuffer + nTextLen, "\r\n", 3);
    return static_cast<DWORD>(nLen);
}

DWORD Win32ErrorFromErrno(int nErrno)
{
    switch (nErrno)
    {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
        return ERROR_DISK_FULL;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case EINVAL:
        return ERROR_INVALID_PARAMETER;
    case EBUSY:
    case ETXTBSY:
        return ERROR_SHARING_VIOLATION;
    case ENOTEMPTY:
        return ERROR_DIRECTORY;
    default:
        return ERROR_GEN_FAILURE;
    }
}

void SetLastErrorFromErrno(int nErrno)
{
    SetLastError(Win32ErrorFromErrno(nErrno));
}
