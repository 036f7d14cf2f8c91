// Feeds arbitrary bytes to the service-worker settings loader as "SWSettings.xml" and asks every kind of
// lookup of what was read.
#include "common/CiString.h"
#include "platform/WinFile.h"
#include "settings/DLSettings.h"

#include <cstddef>
#include <cstdint>
#include <fstream>
#include <string>
#include <unistd.h>

namespace
{
const std::string& FilePath()
{
    static const std::string s_sPath = "/tmp/dlsw_settings_fuzz_" + std::to_string(getpid()) + ".xml";
    return s_sPath;
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
    return 0;
}
