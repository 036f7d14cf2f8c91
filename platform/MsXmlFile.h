// The files behind the XML DOM: a document's bytes read from a path, and a document written whole over
// the file a path names (through symbolic links), keeping what it can of the file it replaces.
#pragma once

#include "platform/WinTypes.h"

#include <string>

// What the calling thread's latest save kept of the file it replaced.
struct DlswSaveOwnership
{
    bool m_bReplaced = false; // an existing file was replaced (a new file is written 0600)
    bool m_bKept = true;      // its owner, group and mode were all kept
    unsigned m_nOwner = 0;    // the replaced file's owner, group and mode
    unsigned m_nGroup = 0;
    unsigned m_nModeBefore = 0;
    unsigned m_nModeWritten = 0; // the mode the saved file got
    int m_nErrno = 0;            // why the owner or group could not be given
};

DLSW_API DlswSaveOwnership DlswLastSaveOwnership();
// Test seam: every change of a saved file's owner or group fails with this errno, as in a process that
// may not give them (0: they are tried).
DLSW_API void DlswSetSaveOwnershipFailure(int nErrno);

namespace dlsw_msxml
{
// The whole file at a host path, at most nMaxBytes. On failure the HRESULT and the reason parseError tells.
HRESULT ReadDocumentFile(const std::string& sHostPath, size_t nMaxBytes, std::string& sData,
                         std::string& sReason);
// Writes the bytes beside the file the path names, once its symbolic links are followed, and renames them
// over it: a reader never sees half a file, and a link stays a link.
HRESULT WriteDocumentFile(const std::string& sHostPath, const char* pData, size_t nLength);
} // namespace dlsw_msxml
