// The worker's own per-request context, hung in the host's record from authentication complete to end of
// request: the user's language and the forms-based-authentication cookie the page rewriters pass on.
#pragma once

#include "platform/WinTypes.h"
#include "request/NotificationsHelper.h"

#include <string>

class CDLSWContext
{
public:
    CDLSWContext() = default;
    CDLSWContext(const std::string& strLanguage, WORD wLangID, const std::string& strCookie)
        : m_strLanguage(strLanguage), m_wLangID(wLangID)
    {
        m_bCadataCookie = CNotificationsHelper::ExtractCadataCookie(strCookie, m_strCadataCookie) &&
                                  !m_strCadataCookie.empty()
                              ? TRUE
                              : FALSE;
    }

    std::string m_strLanguage;
    WORD m_wLangID = 0;
    BOOL m_bCadataCookie = FALSE;
    // "cadata=..." with its key, up to the next ';'.
    std::string m_strCadataCookie;
};
