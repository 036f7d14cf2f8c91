// Requests at authentication complete: raw requests as a host reads them, classified, then decided with
// settings that look at hashes, addresses and blocked extensions. The first byte picks the host's
// subscription type, the second the settings set; the rest is the request.
#include "common/TraceLog.h"
#include "filter/Notifications.h"
#include "host/RawRequest.h"
#include "platform/MachineConfig.h"
#include "platform/WinSecurity.h"
#include "request/GeneralSettingsAccess.h"
#include "request/Util.h"
#include "tests/support/AuthRequest.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace
{
void DropLine(const char*) {}

// The settings tree the target runs on, removed when the run ends.
std::filesystem::path g_root;

void RemoveRoot()
{
    std::error_code ec;
    std::filesystem::remove_all(g_root, ec);
}

void Install()
{
    namespace fs = std::filesystem;
    char szRoot[] = "/tmp/dlsw-auth-fuzz-XXXXXX";
    if (mkdtemp(szRoot) == nullptr)
        std::abort();
    const fs::path root = szRoot;
    g_root = root;
    std::atexit(RemoveRoot);
    CMachineConfig::Instance().SetDriveRoot('C', root.string());
    const auto Write = [&](const char* pszRelative, const std::string& strText)
    {
        fs::create_directories((root / pszRelative).parent_path());
        std::ofstream(root / pszRelative, std::ios::binary) << strText;
    };
    const auto Item = [](int nID, const char* pszValue)
    { return "<ITEM ID=\"" + std::to_string(nID) + "\" DESCR=\"\" VALUE=\"" + pszValue + "\"/>"; };
    std::string strSets;
    const std::string astrSets[] = {
        Item(43, "2") + Item(45, "10.0.0.0;10.0.0.255") + Item(22, "1") + Item(42, "exe;;bat"),
        Item(43, "0") + Item(45, "127.0.0.1;127.0.0.1"),
        Item(43, "1") + Item(51, "1"),
        Item(43, "2") + Item(2, "0") + Item(3, "0"),
    };
    std::string strLinks;
    for (int i = 0; i < 4; ++i)
    {
        const std::string strID = std::to_string(i + 1);
        strSets += "<SETTING ID=\"" + strID + "\" DESCR=\"\"><ITEMS>" + astrSets[i] + "</ITEMS></SETTING>";
        strLinks += "<LINK CRITERIA_ID=\"" + strID + "\" SETTINGS_ID=\"" + strID + "\"/>";
    }
    Write("Product/Settings/SWSettings.xml", "<SETTINGS><GENERALSETTINGS>" + Item(7, "X-Dorvel") +
                                                 "</GENERALSETTINGS>" + strSets + "</SETTINGS>");
    Write("Common Files/Settings/LinkCriteriaSettings.xml",
          "<SERVICEWORKERS><SW ID=\"3\" DESCR=\"\">" + strLinks + "</SW></SERVICEWORKERS>");
    std::string strFolder = "C:\\Product\\Settings\\";
    if (GeneralSettings()->m_Settings.LoadSettings(strFolder) != S_OK)
        std::abort();
    GeneralSettings()->m_csVirtualFolderName = "X-Dorvel";
}

bool HasUnsafeURLByte(const std::string& strURL)
{
    for (char c : strURL)
    {
        const auto uc = static_cast<unsigned char>(c);
        if (uc <= 0x20 || uc >= 0x7F || c == '#')
            return true;
    }
    return false;
}
// How many parameters of the URL's query any reader could take for the name: unescaped, '+' as a blank,
// up to a NUL, without surrounding blanks, without regard to case.
size_t CountNamed(const std::string& strURL, const std::string& strLowerName)
{
    const size_t nQuery = strURL.find('?');
    if (nQuery == std::string::npos)
        return 0;
    const auto Hex = [](char c) -> int
    {
        if (c >= '0' && c <= '9')
            return c - '0';
        if ((c | 0x20) >= 'a' && (c | 0x20) <= 'f')
            return (c | 0x20) - 'a' + 10;
        return -1;
    };
    size_t nCount = 0;
    size_t nPos = nQuery + 1;
    while (nPos <= strURL.size())
    {
        size_t nEnd = strURL.find('&', nPos);
        if (nEnd == std::string::npos)
            nEnd = strURL.size();
        const std::string strRaw = strURL.substr(nPos, std::min(strURL.find('=', nPos), nEnd) - nPos);
        nPos = nEnd + 1;
        std::string strName;
        for (size_t i = 0; i < strRaw.size(); ++i)
        {
            if (strRaw[i] == '%' && i + 2 < strRaw.size() && Hex(strRaw[i + 1]) >= 0 &&
                Hex(strRaw[i + 2]) >= 0)
            {
                strName += static_cast<char>(Hex(strRaw[i + 1]) * 16 + Hex(strRaw[i + 2]));
                i += 2;
            }
            else
                strName += strRaw[i] == '+'
                               ? ' '
                               : static_cast<char>(std::tolower(static_cast<unsigned char>(strRaw[i])));
        }
        strName.erase(std::min(strName.find('\0'), strName.size()));
        const size_t nFirst = strName.find_first_not_of(" \t");
        strName = nFirst == std::string::npos
                      ? std::string()
                      : strName.substr(nFirst, strName.find_last_not_of(" \t") + 1 - nFirst);
        for (char& c : strName)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (strName == strLowerName)
            ++nCount;
    }
    return nCount;
}

// A viewer request that goes on carries an access level and a multimedia-cache decision only as the
// worker wrote them, and a view request one file at most.
void CheckViewerRequest(const CAuthRequest& request)
{
    const CDLLContext& context = request.m_context;
    if (!IsVirtualFolderSubscription(context.SubscriptionType) || context.ControlMessage == CM_COMPLETED)
        return;
    std::string strPath;
    std::string strQuery;
    context.m_spRequestInfo->GetServerVariable("URL", strPath);
    context.m_spRequestInfo->GetServerVariable("QUERY_STRING", strQuery);
    std::string strPassedOn = strQuery.empty() ? strPath : strPath + "?" + strQuery;
    for (const auto& header : request.m_vecHeadersSet)
    {
        if (header.first == "URL")
            strPassedOn = header.second;
    }
    const size_t nWorkers = context.ControlMessage == CM_HANDLED_REDIRECTED ? 1 : 0;
    if (CountNamed(strPassedOn, "owaal") > nWorkers || CountNamed(strPassedOn, "cmc245") > nWorkers)
        std::abort();
    if (context.SubscriptionType == 20 &&
        CountNamed(strPassedOn, "fn") + CountNamed(strPassedOn, "wr340u1") > 1)
        std::abort();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static const bool s_bReady = []
    {
        // Tracing on, so the formatting of every line with request text in it runs too.
        SetTraceFunction(&DropLine);
        SetTraceMask(TRACE_MASK_ON);
        Install();
        DlswSetThreadUser("alice", "EXAMPLE", "S-1-5-21-7-7-7-1001", {});
        return true;
    }();
    (void)s_bReady;
    if (nSize < 2)
        return 0;
    const DWORD dwSubscriptionType = pData[0] % 32;
    const DWORD dwCriteriaID = 1u + pData[1] % 4u;
    const std::string strText(reinterpret_cast<const char*>(pData + 2), nSize - 2);
    CRawRequest raw;
    std::string strError;
    if (!RawRequest::Parse(strText, raw, strError))
    {
        raw.m_strMethod = "GET";
        raw.m_strURL = strText;
    }

    CAuthRequest request(raw.m_strURL, 0, dwSubscriptionType);
    request.m_context.NotificationType = SF_NOTIFY_PREPROC_HEADERS;
    request.m_context.CriteriaID = dwCriteriaID;
    request.RequestInfo().SetServerVariable("HTTP_URL", raw.m_strURL);
    request.RequestInfo().SetServerVariable("HTTP_METHOD", raw.m_strMethod);
    request.RequestInfo().SetServerVariable("HTTP_USER_AGENT", "");
    for (const auto& header : raw.m_vecHeaders)
        request.SetHeaderValue(header.first, header.second);
    CNotifications notifications;
    notifications.NotifyPreProcHeaders(request.Record());
    if (request.m_context.ControlMessage == CM_IGNORE || request.m_context.ControlMessage == CM_COMPLETED)
    {
        CheckViewerRequest(request);
        return 0;
    }
    request.m_context.NotificationType = SF_NOTIFY_AUTH_COMPLETE;
    const DWORD dwRet = notifications.NotifyAuthComplete(request.Record());
    const DWORD dwMessage = request.m_context.ControlMessage;
    const bool bDirect = (request.m_context.RequestFlags &
                          (RF_DIRECT_ATTACHMENT_ACCESS | RF_DOCUMENT_VIEW_DIRECT_FILE_ACCESS)) != 0;
    // A download the worker could not decide never reaches OWA.
    if (bDirect && dwRet != 0 && dwMessage != CM_COMPLETED)
        std::abort();
    // Nor does an upload dialog.
    if ((request.m_context.RequestFlags & RF_ATTACH_FILE_DIALOG_OR_MANAGER) != 0 && dwRet != 0 &&
        dwMessage != CM_COMPLETED)
        std::abort();
    CheckViewerRequest(request);
    // A request the host stops calling for keeps nothing of the worker's.
    if ((dwMessage == CM_IGNORE || dwMessage == CM_COMPLETED) && request.m_context.m_pMyOwnContext != nullptr)
        std::abort();
    // Redirects to the viewer carry nothing that could end or split the URL.
    for (const auto& header : request.m_vecHeadersSet)
    {
        if (header.first == "URL" && (request.m_context.RequestFlags & RF_FAKE_DORVEL_VIRTUAL_FOLDER) != 0 &&
            HasUnsafeURLByte(header.second))
            std::abort();
    }
    return 0;
}
