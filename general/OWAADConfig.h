// Webmail's own settings of this server's virtual directory, as the directory's configuration partition
// keeps them: which file and MIME types it allows, blocks or forces to be saved, whether direct file
// access is on for public and private computers, and further options. Read once at start.
#pragma once

#include "common/CiString.h"
#include "contract/CountedPtr.h"
#include "general/ADProp.h"
#include "platform/Adsi.h"

#include <cstdint>
#include <string>
#include <vector>

class COWAADConfig
{
public:
    COWAADConfig() = default;
    COWAADConfig(const COWAADConfig&) = delete;
    COWAADConfig& operator=(const COWAADConfig&) = delete;

    // One reader per attribute, bound to its member.
    void BuildAttributeReaders();
    // Reads the virtual directory of the server named by m_wstrServerName. The fully qualified name serves
    // no step; an empty domain controller means the default one.
    HRESULT ReadProperties(const std::string& strFullyQualifiedName, const std::string& strDomainController);
    HRESULT GetExchangeOrganizationCN(IADs* pRoot, const std::wstring& wstrConfigurationContext,
                                      std::wstring& wstrOrganization);
    // The provider's text of the last error, for Win32 codes only.
    static std::wstring GetADSIErrorText(HRESULT hr);

    std::wstring m_wstrServerName;
    int32_t m_nVirtualDirectoryType = 0;
    int32_t m_nOWAVersion = 0;
    int32_t m_nUserContextTimeOut = 0;
    int32_t m_nUseISO99519 = 0;
    int32_t m_nUseGB18030 = 0;
    std::vector<ci_string> m_vecTranscodingMimeTypes;
    int32_t m_nTranscodingFlag = 0;
    std::vector<ci_string> m_vecTranscodingFileTypes;
    std::vector<ci_string> m_vecRemoteDocumentsInternalDomainSuffixes;
    std::vector<ci_string> m_vecRemoteDocumentsBlockedServers;
    std::vector<ci_string> m_vecRemoteDocumentsAllowedServers;
    int32_t m_nRemoteDocumentsActionForUnknownServers = -1;
    int32_t m_nRedirectToOptimalOWAServer = 0;
    int32_t m_nOutputCharSet = 0;
    int32_t m_nNotificationInterval = 0;
    ci_string m_csMaxTranscodableDocumentSize;
    int32_t m_nLogonFormat = 0;
    int32_t m_nLogonAndErrorLanguage = 0;
    int32_t m_nGZipLevel = 0;
    std::vector<ci_string> m_vecForceSaveMimeTypes;
    std::vector<ci_string> m_vecForceSaveFileTypes;
    int32_t m_nFilterWebBeacons = 0;
    // Bit 0 set: direct file access is on for that kind of client.
    int32_t m_nFileAccessControlOnPublicComputers = 0;
    int32_t m_nFileAccessControlOnPrivateComputers = 0;
    int32_t m_nExchangeProxyDestination = 0;
    std::string m_strDefaultTheme;
    int32_t m_nDefaultClientLanguage = 0;
    int32_t m_nAuthCleanUpLevel = 0;
    std::vector<ci_string> m_vecBlockedMimeTypes;
    std::vector<ci_string> m_vecAllowedMimeTypes;
    std::vector<ci_string> m_vecBlockedFileTypes;
    std::vector<ci_string> m_vecAllowedFileTypes;
    // What OWA does with a file type on no list; -1 until read.
    int32_t m_nActionForUnknownFileAndMIMETypes = -1;
    int32_t m_nMailboxFolderSet = -1;
    std::vector<CCountedPtr<ADProp>> m_vecAttributeReaders;
    // Set once a read succeeded: the settings are read once per process.
    bool m_bReadCompleted = false;
};
