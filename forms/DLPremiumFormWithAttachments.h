// The base of every OWA Premium rewriter that lists attachments: each attachment SPAN gets the
// attributes the viewer's context menu is built from, its id hash when the user may download it, and
// the view (or blocked) link in front of OWA's own.
#pragma once

#include "forms/DLFormWithFiles.h"
#include "forms/PageEscape.h"

#include <string>

class CDLPremiumFormWithAttachments : public CDLFormWithAttachments
{
public:
    CDLPremiumFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived);

    DWORD ProcessAttachmentSPANelement(CDOMElement& span,
                                       bool& bIsDirectAccessEnabledForThisAttachment) override;
    virtual bool IsReadForm() = 0;

    // sFileName and sAttID: the name and the id as they stand in the page.
    DWORD ModifyNormalAttachmentSPANElement(CDOMElement& span, const std::string& sFileName,
                                            const ci_string& csExtension, const std::string& sAttID,
                                            bool bBlocked, int32_t nOWALevel,
                                            bool& bIsDirectAccessEnabledForThisAttachment);
    DWORD ModifyEmbeddedAttachmentSPANElement(CDOMElement& span, int32_t nOWALevel);
    // sFileName and sAttID: the name and the id as they stand in the page.
    DWORD AddDLContextMenuAttributesToAttachmentSPANElement(CDOMElement& span, const std::string& sFileName,
                                                            const ci_string& csExtension,
                                                            const std::string& sAttID, bool bEmbedded,
                                                            bool bBlocked, int32_t nOWALevel,
                                                            bool& bIsDirectAccessEnabledForThisAttachment);
};
