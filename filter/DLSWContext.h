// The worker's own per-request context, hung in the host's record from authentication complete to end of
// request.
#pragma once

#include "platform/WinTypes.h"

#include <string>

class CDLSWContext
{
public:
    std::string m_strLanguage;
    WORD m_wLangID = 0;
    BOOL m_bCadataCookie = FALSE;
    std::string m_strCadataCookie;
};
