// One user's properties from the directory: the user is found by a subtree search below the domain's
// default naming context, and each property read is kept for later requests to the same object.
#pragma once

#include "common/CiString.h"
#include "contract/CountedPtr.h"
#include "general/ADProp.h"
#include "platform/Adsi.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class CADUserConfig
{
public:
    // Which attribute the user clause matches.
    enum FilterKind : uint32_t
    {
        FILTER_ACCOUNT_NAME = 0,
        FILTER_PRINCIPAL_NAME = 1,
        FILTER_NAME = 2,
        FILTER_MAIL_ADDRESS = 3,
    };
    // Longest search filter, terminating zero included; longer filters are cut.
    static constexpr size_t FILTER_BUFFER_CHARS = 520;

    CADUserConfig();
    virtual ~CADUserConfig() = default;
    CADUserConfig(const CADUserConfig&) = delete;
    CADUserConfig& operator=(const CADUserConfig&) = delete;

    // The value is escaped for the filter; an unknown kind counts as the account name.
    void SetFilter(const ci_string& csValue, uint32_t nFilterKind);
    HRESULT GetProperty(const std::string& strName, std::string& strValue);
    HRESULT ReadProperties(const std::string& strName, CCountedPtr<ADProp>& spProp);
    HRESULT ReadDefaultNamingContext();
    // Appends the values of every column of every row found to wstrValue, joined by ";".
    HRESULT FindUsers(IDirectorySearch* pSearch, const std::wstring& wstrUserFilter,
                      const std::vector<std::wstring>& vecAttributeNames, DWORD dwNumNames,
                      std::wstring& wstrValue);

    std::wstring m_wstrDefaultNamingContext;
    ci_string m_csUserFilter;
    std::map<std::string, CCountedPtr<ADProp>> m_mapPropertyCache;
    std::wstring m_wstrObjectFilter;
};
