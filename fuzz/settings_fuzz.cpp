// Feeds arbitrary bytes to the loaders of both settings files, "SWSettings.xml" and
// "LinkCriteriaSettings.xml", and asks every kind of lookup of what was read.
#include "common/CiString.h"
#include "platform/WinFile.h"
#include "settings/DLSettings.h"
#include "settings/LinkCriteria.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h>

namespace
{
// The file the inputs are written to, removed when the fuzzer exits.
struct CFuzzFile
{
    CFuzzFile() : m_sPath("/tmp/dlsw_settings_fuzz_" + std::to_string(getpid()) + ".xml") {}
    ~CFuzzFile() { std::remove(m_sPath.c_str()); }
    std::string m_sPath;
};

const std::string& FilePath()
{
    static const CFuzzFile s_file;
    return s_file.m_sPath;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    {
        std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(nSize));
    }
    CDLSettings settings;
    settings.LoadSettings(MapPosixPathToWindows(FilePath()));
    // A second load over the first exercises the take-over of the previous contents.
    settings.LoadSettings(MapPosixPathToWindows(FilePath()));
    for (int nSettingID : {-1, 0, 1, 5})
    {
        for (int nID : {2, 5, 42, 45, 81})
        {
            int nValue = 0;
            std::string sValue;
            settings.GetItemValue(nID, nValue, nSettingID, 0);
            settings.GetItemValue(nID, sValue, nSettingID, 7);
            settings.GetEngineOptionValue(1, nValue, 8, nSettingID);
        }
        int nAction = 2;
        settings.GetHighSpeedAction("pdf", nAction, 0, nSettingID);
    }
    BOOL bMember = FALSE;
    settings.CheckByPassList(bMember);
    CLinkCriteria criteria;
    criteria.LoadLinkCriteria(MapPosixPathToWindows(FilePath()));
    return 0;
}
