// The two builders every edit of a page comes down to: one insert or one delete at an address of the
// response buffer, appended to the response's instruction list.
#pragma once

#include "platform/WinTypes.h"

class CBufferInstructionList;

// 0, or 13 when the address is 0 or the text or the list is missing. The insert keeps its own copy of the
// text (an empty text included). An instruction that cannot be allocated throws E_OUTOFMEMORY as a 32-bit
// value, as copying its text does.
DWORD InsertHtmlStringAtPosition(ULONGLONG ullPosition, const char* pszText, CBufferInstructionList* pList);
// 0, or 13 when the address is 0 or the list is missing; a delete of nothing is refused by the list (13).
DWORD DeleteHtmlStringAtPosition(ULONGLONG ullPosition, DWORD dwLength, CBufferInstructionList* pList);
