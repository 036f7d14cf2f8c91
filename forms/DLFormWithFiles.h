// The base of every rewriter that offers files to the user: what the settings let the user do with a
// file, the texts shown on attachments, the context-menu flags of one file and OWA's build and theme.
#pragma once

#include "common/CiString.h"
#include "forms/DLForm.h"
#include "htmlparser/Position.h"

#include <set>
#include <string>

class CDOMSource;
class CDOMElement;
class CDOMAttribute;

// Which items of the context menu a file gets.
struct DLContextMenuFlags
{
    bool bOpenVisible = false;
    bool bOpenEnabled = false;
    bool bSaveVisible = false;
    bool bSaveEnabled = false;
    bool bTextVisible = false;
    bool bTextEnabled = false;
    bool bRichVisible = false;
    bool bRichEnabled = false;
};

// Setting items these forms read.
constexpr int SETTING_OPEN_ALLOWED = 2;
constexpr int SETTING_SAVE_ALLOWED = 3;
constexpr int SETTING_RICH_ALLOWED = 4;
constexpr int SETTING_BLOCKED_LIST_ENABLED = 22;
constexpr int SETTING_DEFAULT_VISUALISATION = 24;
constexpr int SETTING_BLOCKED_EXTENSIONS = 42;
constexpr int SETTING_DIRECT_FILE_ACCESS_BLOCK_LEVEL = 43;
constexpr int SETTING_SAFE_SSL_OPEN = 47;
constexpr int SETTING_OWA_WEBREADY_ENABLED = 71;
constexpr int SETTING_SAVE_CONFIRMATION = 73;

constexpr int RESOURCE_ATTACHMENT_BLOCKED = 600;
constexpr int RESOURCE_VIEW_ATTACHMENT = 601;

class CDLFormWithFiles : public virtual CDLForm
{
public:
    // bMostDerived: this class builds the virtual CDLForm itself.
    CDLFormWithFiles(CSWFormContext* pFormContext, int bMostDerived);
    ~CDLFormWithFiles() override = default;

    DWORD InitDLBlockedExtensionsSet();
    DWORD InitDLRestrictionSettings();
    DWORD InitDLSafeSSLOpenSetting();
    DWORD GetFileExtensionAndBlockedFlag(const std::string& sFileName, ci_string& csExtension,
                                         bool& bBlocked);
    DWORD GetDLContextMenuFlags(const ci_string& csExtension, int32_t nOWALevel, bool bBlocked,
                                DLContextMenuFlags& flags);
    bool GetOWABuildAndCurrentOWAThemeFromCSSLinkTags(const std::string& sFileName1,
                                                      const std::string& sFileName2, std::string& sBuild,
                                                      std::string& sTheme);

    int32_t m_nDefaultVisualisation = 2;
    std::set<ci_string> m_setDLBlockedExtensions;
    ci_string m_csDLBlockedExtensions;
    bool m_bOpenRestricted = false;
    bool m_bSaveRestricted = false;
    bool m_bRichRestricted = false;
    bool m_bSafeSSLOpen = false;
    bool m_bOWAWebReadyEnabled = false;
    bool m_bSaveConfirmation = false;
    std::string m_sViewAttachmentText;
    std::string m_sAttachmentBlockedText;

protected:
    int SettingID() const;
    // The setting's value, or the default when it cannot be read (the failure line is the caller's).
    bool ReadSetting(int nID, int& nValue);
};

class CDLFormWithAttachments : public CDLFormWithFiles
{
public:
    CDLFormWithAttachments(CSWFormContext* pFormContext, int bMostDerived);
    ~CDLFormWithAttachments() override = default;

    virtual DWORD ProcessAttachmentSPANelement(CDOMElement& span, bool& bIsDirectAttachmentAccessEnabled) = 0;

    DWORD ProcessAttachments(const CDOMElement& element, bool& bIsDirectAttachmentAccessEnabledOnThisForm);
    static DWORD GetAttachmentFilename(const CDOMSource& dom, const CDOMElement& span,
                                       std::string& sFileName);
    static DWORD GetOWAAttachmentLevel(const CDOMAttribute& level, int32_t& nLevel);
    // Where a link the worker wraps around an attachment's content must close: before the WebReady SPAN,
    // which holds a link of its own (a link inside a link is no link a browser keeps), or else at the end
    // of the SPAN's content.
    static Position AttachmentLinkEnd(const CDOMElement& span);
};

// The text a level is logged with.
const char* OWALevelName(int32_t nLevel);
