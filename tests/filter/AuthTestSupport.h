// What the authentication tests stand a request on: an installation whose settings files a test writes,
// the user the thread impersonates and OWA's file-access settings; the request itself is CAuthRequest.
#pragma once

#include "contract/DLLContext.h"
#include "contract/RequestInfo.h"
#include "platform/WinSecurity.h"
#include "platform/WinSync.h"
#include "request/DLSWContext.h"
#include "request/GeneralSettingsAccess.h"
#include "tests/support/AuthRequest.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TraceCapture.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Settings files for the general settings' holder: general items and one settings set per test row, each
// reached through the link criterion of the same id.
class CAuthSettingsTest : public CTempDriveTest
{
protected:
    CAuthSettingsTest() : CTempDriveTest("dlsw-auth") {}

    // pszGeneral and the sets are XML fragments of <ITEM> elements.
    void LoadSettings(const std::string& strGeneralItems, const std::vector<std::string>& vecSetItems = {})
    {
        std::string strSW =
            "<?xml version=\"1.0\"?><SETTINGS><GENERALSETTINGS>" + strGeneralItems + "</GENERALSETTINGS>";
        std::string strLinks = "<?xml version=\"1.0\"?><SERVICEWORKERS><SW ID=\"3\" DESCR=\"w\">";
        for (size_t i = 0; i < vecSetItems.size(); ++i)
        {
            const std::string strID = std::to_string(i + 1);
            strSW += "<SETTING ID=\"" + strID + "\"><ITEMS>" + vecSetItems[i] + "</ITEMS></SETTING>";
            strLinks += "<LINK CRITERIA_ID=\"" + strID + "\" SETTINGS_ID=\"" + strID + "\"/>";
        }
        strSW += "</SETTINGS>";
        strLinks += "</SW></SERVICEWORKERS>";
        Write("Product/Settings/SWSettings.xml", strSW);
        Write("Common Files/Settings/LinkCriteriaSettings.xml", strLinks);
        std::string strFolder = "C:\\Product\\Settings\\";
        ASSERT_EQ(GeneralSettings()->m_Settings.LoadSettings(strFolder), S_OK);
    }

    void Write(const std::string& strRelative, const std::string& strText)
    {
        const std::filesystem::path path = m_root / strRelative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << strText;
    }
};

inline std::string Item(int nID, const std::string& strValue)
{
    return "<ITEM ID=\"" + std::to_string(nID) + "\" VALUE=\"" + strValue + "\"/>";
}

// The calling thread impersonates a user for the life of the object.
class CThreadUser
{
public:
    CThreadUser(const std::string& strAccount, const std::string& strDomain,
                const std::string& strSid = "S-1-5-21-7-7-7-1001",
                const std::vector<std::string>& vecGroups = {})
    {
        DlswSetThreadUser(strAccount, strDomain, strSid, vecGroups);
    }
    ~CThreadUser() { RevertToSelf(); }
    CThreadUser(const CThreadUser&) = delete;
    CThreadUser& operator=(const CThreadUser&) = delete;
};

// OWA's file-access settings as the directory would give them, for the life of the object: direct file
// access on for private computers only, .pdf allowed, .exe blocked, .doc force-save, other types by the
// action given (0 allowed, 2 blocked, -1 force-save).
class COWASettings
{
public:
    explicit COWASettings(int32_t nActionForUnknown = 0)
    {
        COWAADConfig& config = GeneralSettings()->m_OWAADConfig;
        config.m_nFileAccessControlOnPrivateComputers = 1;
        config.m_nFileAccessControlOnPublicComputers = 0;
        config.m_vecAllowedFileTypes = {".pdf"};
        config.m_vecBlockedFileTypes = {".exe"};
        config.m_vecForceSaveFileTypes = {".doc"};
        config.m_nActionForUnknownFileAndMIMETypes = nActionForUnknown;
    }
    ~COWASettings()
    {
        COWAADConfig& config = GeneralSettings()->m_OWAADConfig;
        config.m_nFileAccessControlOnPrivateComputers = 0;
        config.m_nFileAccessControlOnPublicComputers = 0;
        config.m_vecAllowedFileTypes.clear();
        config.m_vecBlockedFileTypes.clear();
        config.m_vecForceSaveFileTypes.clear();
        config.m_nActionForUnknownFileAndMIMETypes = -1;
    }
    COWASettings(const COWASettings&) = delete;
    COWASettings& operator=(const COWASettings&) = delete;
};
