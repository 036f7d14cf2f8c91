// An installation of the worker whose settings sets stand for the rows of the authentication tables, one
// link criterion per set, loaded once per test program through the host; and a request of a signed-in
// user run through it.
#pragma once

#include "common/StringHelpers.h"
#include "contract/DLLContext.h"
#include "host/HostFilter.h"
#include "host/RawRequest.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace auth_tree
{
namespace fs = std::filesystem;

// The hash the worker's links carry.
inline std::string Hash(const std::string& strText)
{
    return HashToDecimalString(strText.c_str());
}

inline std::string Item(int nID, const std::string& strValue)
{
    return "<ITEM ID=\"" + std::to_string(nID) + "\" VALUE=\"" + strValue + "\"/>";
}

enum EndToEndSet
{
    SET_ALLOWED = 1,
    SET_IP_ONLY,
    SET_HASHES,
    SET_HASHES_NO_OPEN_NO_SAVE,
    SET_HASHES_NO_OPEN,
    SET_INVALID_LEVEL,
    SET_NO_LEVEL,
    SET_HASHES_BLOCKED_LIST,
    SET_BUTTONS_1,
    SET_BUTTONS_2,
    SET_BUTTONS_3,
    SET_CACHE_MULTIMEDIA,
};

constexpr const char* RANGE = "10.0.0.0;10.0.0.255";
constexpr const char* INSIDE = "10.0.0.5";
constexpr const char* OUTSIDE = "192.168.7.7";
constexpr const char* BYPASS_GROUP = "S-1-5-21-7-7-7-2000";

inline std::string SettingsFile()
{
    const std::vector<std::string> vecSets = {
        Item(43, "1"),
        Item(43, "0") + Item(45, RANGE),
        Item(43, "2") + Item(45, RANGE),
        Item(43, "2") + Item(45, RANGE) + Item(2, "0") + Item(3, "0"),
        Item(43, "2") + Item(45, RANGE) + Item(2, "0"),
        Item(43, "7") + Item(45, RANGE),
        Item(45, RANGE),
        Item(43, "2") + Item(45, RANGE) + Item(22, "1") + Item(42, "exe;PDF;bat"),
        Item(43, "1") + Item(51, "1"),
        Item(43, "1") + Item(51, "2"),
        Item(43, "1") + Item(51, "3"),
        Item(43, "1"),
    };
    std::string strXml = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<SETTINGS><GENERALSETTINGS>" +
                         Item(7, "X-Dorvel") + Item(14, "0") + Item(48, BYPASS_GROUP) + Item(51, "0") +
                         "</GENERALSETTINGS>";
    for (size_t i = 0; i < vecSets.size(); ++i)
    {
        strXml += "<SETTING ID=\"" + std::to_string(i + 1) + "\" DESCR=\"row\">";
        if (i + 1 == SET_CACHE_MULTIMEDIA)
            strXml +=
                "<ENGINES><ENGINE ID=\"7\" DESCR=\"Multimedia\"><GENERAL><MEASURE ID=\"46\" DESCR=\"Cache\" "
                "VALUE=\"1\"/></GENERAL><OPTIONS/></ENGINE></ENGINES>";
        strXml += "<ITEMS>" + vecSets[i] + "</ITEMS></SETTING>";
    }
    return strXml + "</SETTINGS>\n";
}

inline std::string LinkCriteriaFile(size_t nSets)
{
    std::string strXml =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<SERVICEWORKERS><SW ID=\"3\" DESCR=\"OWA\">";
    for (size_t i = 1; i <= nSets; ++i)
        strXml +=
            "<LINK CRITERIA_ID=\"" + std::to_string(i) + "\" SETTINGS_ID=\"" + std::to_string(i) + "\"/>";
    return strXml + "</SW></SERVICEWORKERS>\n";
}

inline void WriteFile(const fs::path& path, const std::string& strText)
{
    std::ofstream(path, std::ios::binary) << strText;
}

// One load of the worker from a tree of its own for the whole program.
class CAuthTreeTest : public ::testing::Test
{
protected:
    static void LoadWorker()
    {
        char szParent[] = "/tmp/dlsw-auth-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(szParent), nullptr);
        s_parent = szParent;
        fs::copy(DLSW_INSTALL_TREE, s_parent / "install", fs::copy_options::recursive);
        fs::copy(fs::path(DLSW_INSTALL_TREE) / ".." / "Common Files", s_parent / "Common Files",
                 fs::copy_options::recursive);
        WriteFile(s_parent / "install" / "Settings" / "SWSettings.xml", SettingsFile());
        WriteFile(s_parent / "Common Files" / "Settings" / "LinkCriteriaSettings.xml",
                  LinkCriteriaFile(SET_CACHE_MULTIMEDIA));
        s_pHost = new CHostFilter();
        std::string strError;
        ASSERT_TRUE(s_pHost->Load((s_parent / "install" / "bin" / "DL_ServiceWorker.so").string(), strError))
            << strError;
        HTTP_FILTER_VERSION version{};
        ASSERT_EQ(s_pHost->GetFilterVersion(version), TRUE);
    }
    static void UnloadWorker()
    {
        if (s_pHost != nullptr)
            s_pHost->Terminate();
        delete s_pHost;
        s_pHost = nullptr;
        std::error_code ec;
        fs::remove_all(s_parent, ec);
    }

    struct CInputs
    {
        DWORD m_dwCriteriaID = SET_ALLOWED;
        DWORD m_dwSubscriptionType = 0; // 0: as the host derives it from the URL
        std::string m_strClient = OUTSIDE;
        std::string m_strUser = "EXAMPLE\\alice";
        std::vector<std::string> m_vecGroups;
        std::vector<std::string> m_vecHeaders; // "Name: value"
        std::string m_strMethod = "GET";
    };

    static CHostResult Run(const std::string& strURL, const CInputs& inputs)
    {
        std::string strRaw = inputs.m_strMethod + " " + strURL +
                             " HTTP/1.1\r\nHost: mail.example.test\r\n"
                             "User-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1)\r\n";
        for (const std::string& strHeader : inputs.m_vecHeaders)
            strRaw += strHeader + "\r\n";
        CHostRequest request;
        std::string strError;
        EXPECT_TRUE(RawRequest::Parse(strRaw + "\r\n", request.m_raw, strError)) << strError;
        request.m_dwCriteriaID = inputs.m_dwCriteriaID;
        request.m_bSubscriptionTypeSet = inputs.m_dwSubscriptionType != 0;
        request.m_dwSubscriptionType = inputs.m_dwSubscriptionType;
        request.m_strClientAddress = inputs.m_strClient;
        request.m_strUser = inputs.m_strUser;
        request.m_vecGroupSids = inputs.m_vecGroups;
        return s_pHost->Process(request);
    }

    static const CNotificationRecord* AuthComplete(const CHostResult& result)
    {
        for (const auto& record : result.m_vecNotifications)
        {
            if (record.m_dwType == SF_NOTIFY_AUTH_COMPLETE)
                return &record;
        }
        return nullptr;
    }

    static std::vector<std::pair<std::string, std::string>> HeadersSet(const CHostResult& result)
    {
        std::vector<std::pair<std::string, std::string>> vecSet;
        for (const auto& change : result.m_vecRequestHeadersSet)
            vecSet.emplace_back(change.m_strName, change.m_strValue);
        return vecSet;
    }

    inline static fs::path s_parent;
    inline static CHostFilter* s_pHost = nullptr;
};

inline const std::string DENIAL_EN =
    "HTTP/1.0 401 OK\r\nContent-Length: 273\r\nContent-Type: text/html\r\n\r\n"
    "<HTML><meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
    "<HEAD><TITLE>Dorvel</TITLE></HEAD>\n<BODY><P align=center><b>Kestrune Dorvel</b><br></P><P align=center>"
    "<FONT FACE=\"Verdana\" SIZE=\"2\"><b>You are not authorized to view this file.</b></P></BODY></HTML>";

} // namespace auth_tree
