// Applies a worker's buffer-instruction list to a response body. Positions are addresses in the body as
// the host delivered it. A list with an edit outside the body, overlapping deletes, or an insert inside a
// deleted range is refused and the body left as it was.
#pragma once

#include "platform/WinTypes.h"

#include <string>
#include <string_view>

class CBufferInstructionList;

// 0 and the edited body, or ERROR_INVALID_DATA with strError saying why and the body unchanged.
DWORD ApplyBufferInstructions(const CBufferInstructionList& list, const char* pBase, std::string& strBody,
                              std::string& strError);
// The same, writing the edited body to strEdited and leaving the body as it came untouched; strEdited is
// left as it was when the list is refused.
DWORD ApplyBufferInstructions(const CBufferInstructionList& list, const char* pBase, std::string_view body,
                              std::string& strEdited, std::string& strError);
