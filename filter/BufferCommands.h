// Hands a response's buffer-instruction list to the host.
#pragma once

#include "platform/WinTypes.h"

struct CDLLContext;
struct CCoreServicesTable;
class CBufferInstructionList;

// What the host's entry 2 answers; ERROR_NOT_SUPPORTED when the host offers no such entry, so that
// nothing counts as applied that the host never saw.
DWORD SubmitBufferCommands(CCoreServicesTable* pCoreServices, CDLLContext* pContext,
                           CBufferInstructionList* pList);
