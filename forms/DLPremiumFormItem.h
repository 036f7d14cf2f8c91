// The rewriters of the OWA Premium pages that show one item, read or edited: the viewer's context menu,
// scripts and JavaScript variables, every attachment's attributes and links, the item-id hash the
// download links are checked with, and on edit pages the attach-file button by setting.
#pragma once

#include "forms/DLPremiumFormWithAttachments.h"
#include "htmlparser/Position.h"

#include <string>

// Setting item of the attach-file buttons: 0 enabled, 1 disabled, 2 removed.
constexpr int SETTING_ATTACHMENT_BUTTONS_BLOCK_LEVEL = 51;

class CDOMSource;

class CDLPremiumFormItem : public CDLPremiumFormWithAttachments
{
public:
    CDLPremiumFormItem(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    virtual DWORD DisableOrRemoveAttachmentButtonsIfNecessary() = 0;
    virtual bool AppendItemIDHashJavaScriptVariable(bool bIsDirectAttachmentAccessEnabledOnThisForm,
                                                    std::string& sScript) = 0;
    virtual bool CheckIfFormNeedsToBeProcessed() = 0;

    DWORD InsertContextMenu();
    DWORD InsertJavaScriptVariables(bool bIsDirectAttachmentAccessEnabledOnThisForm);

protected:
    // The item-id line of the script block.
    static void AppendItemIDHashLine(const std::string& sItemIDHash, std::string& sScript);
    static void AppendNullItemIDHashLine(std::string& sScript);
};

class CDLPremiumFormReadItem : public CDLPremiumFormItem
{
public:
    CDLPremiumFormReadItem(CSWFormContext* pFormContext, int bMostDerived);

    bool IsReadForm() override { return true; }
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary() override { return ERROR_SUCCESS; }
    bool AppendItemIDHashJavaScriptVariable(bool bIsDirectAttachmentAccessEnabledOnThisForm,
                                            std::string& sScript) override;
    bool CheckIfFormNeedsToBeProcessed() override { return true; }
    DWORD InitItemIDAttIDsFromRequestURL_CalculateItemIDHash();

    std::string m_sItemIDHash;
};

class CDLPremiumFormEditItem : public CDLPremiumFormItem
{
public:
    CDLPremiumFormEditItem(CSWFormContext* pFormContext, int bMostDerived);

    bool IsReadForm() override { return false; }
    DWORD DisableOrRemoveAttachmentButtonsIfNecessary() override;
    bool AppendItemIDHashJavaScriptVariable(bool bIsDirectAttachmentAccessEnabledOnThisForm,
                                            std::string& sScript) override;
    bool CheckIfFormNeedsToBeProcessed() override;
    DWORD InitItemIDFromResponseJavaScript_CalculateItemIDHash();

    bool m_bItemIDHashIsAvailable = false;
    std::string m_sItemIDHash;

private:
    DWORD RemoveAttachmentButton(const CDOMElement& button);
    DWORD DisableAttachmentButton(const CDOMElement& button);
};

// The hash of the item id OWA's own script declares in the page: the text between the marker and the
// next double quote, with its backslashes taken out. 13 when the quote is missing or the id is empty.
DWORD HashQuotedScriptValue(const CDOMSource& dom, Position nMarker, size_t nMarkerLength, Position nEnd,
                            std::string& sHash);
