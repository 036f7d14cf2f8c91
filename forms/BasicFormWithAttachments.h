// The attachment list of an OWA Basic page: a view link in front of every attachment, OWA's link turned
// into one that opens the viewer's context menu, the menu itself and the script block of variables the
// viewer's scripts read.
#pragma once

#include "forms/DLFormWithFiles.h"
#include "forms/PageEscape.h"

#include <string>
#include <vector>

class CDOMElement;

class CDLBasicFormWithAttachments : public CDLFormWithAttachments
{
public:
    CDLBasicFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived);

    DWORD ProcessAttachmentSPANelement(CDOMElement& span, bool& bIsDirectAttachmentAccessEnabled) override;
    virtual bool AppendItemIDAndItemIDHashJavaScriptVariable(bool bIsDirectAttachmentAccessEnabledOnThisForm,
                                                             std::string& sScript) = 0;

    // bAllowEmpty: whether a page without an item id is still one this form rewrites.
    DWORD InitItemIDFromHiddenInputTag_CalculateItemIDHash(bool bAllowEmpty);

    DWORD GetAttachmentInfo(const CDOMElement& span, int32_t& nLevel, std::string& sAttID,
                            bool& bEmbeddedItem, bool& bBlockedWithoutID);
    static DWORD GetLastAttachmentIDFromURL(const std::string& sURL, std::string& sAttID);
    static DWORD GetAttachmentIDFromEmbeddedItemOnClickAttr(const std::string& sOnClick, std::string& sAttID);
    static DWORD GetLastAttachmentIDFromWebReadyLinkOnClickAttr(const std::string& sOnClick,
                                                                std::string& sAttID);

    DWORD ModifyNormalAttachmentSPANelement(const CDOMElement& span, const std::string& sAttID,
                                            const std::string& sFileName, int32_t nLevel, bool bBlocked,
                                            bool bMenuFlag, const DLContextMenuFlags& flags);
    DWORD ModifyEmbeddedAttachmentSPANElement(const CDOMElement& span, int32_t nLevel);
    DWORD ModifyOWABlockedAttachmentWithoutAttIDSPANElement(const CDOMElement& span);

    DWORD InsertContextMenu();
    DWORD InsertContextMenuJavaScriptVariables(bool bIsDirectAttachmentAccessEnabledOnThisForm);

    // Appends `var <name><assign>"<value>";` with the value as a script literal of this page.
    void AppendJSStringDeclaration(std::string& sScript, const char* pszName, const std::string& sValue,
                                   const char* pszAssign = "=") const;

    std::string m_sItemID;
    std::string m_sItemIDHash;
    std::vector<std::string> m_vecAttachmentIDs;

protected:
    // An attribute value as the browser reads it: its character references decoded.
    std::string AttributeText(const std::string& sRaw) const;
    // The view link of an attachment the worker or OWA blocks.
    std::string BlockedLinkHtml() const;
    std::string IconURL(const char* pszFileName) const;
};
