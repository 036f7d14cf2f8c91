// Feeds arbitrary bytes as an engine-option INI file: the profile reader answers every kind of question
// of it, and the loader packs it onto an option array that already holds rows.
#include "platform/WinError.h"
#include "platform/WinFile.h"
#include "platform/WinProfile.h"
#include "settings/LoadInitINI.h"

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
    CFuzzFile() : m_sPath("/tmp/dlsw_ini_fuzz_" + std::to_string(getpid()) + ".ini") {}
    ~CFuzzFile() { std::remove(m_sPath.c_str()); }
    std::string m_sPath;
};

const std::string& FilePath()
{
    static const CFuzzFile s_file;
    return s_file.m_sPath;
}

COptionArrayPtr InputArray()
{
    const SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    SAFEARRAY* psa = SafeArrayCreate(VT_VARIANT, 2, bounds);
    const LONG id[2] = {0, 0};
    const LONG value[2] = {1, 0};
    const _variant_t vID(static_cast<LONG>(12));
    const _variant_t vValue("1");
    SafeArrayPutElement(psa, id, &vID);
    SafeArrayPutElement(psa, value, &vValue);
    SafeArrayLock(psa);
    auto* pHolder = new COptionArray();
    pHolder->m_psa = psa;
    return COptionArrayPtr(pHolder);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    {
        std::ofstream out(FilePath(), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(pData), static_cast<std::streamsize>(nSize));
    }
    const std::string sPath = MapPosixPathToWindows(FilePath());

    char szSmall[7];
    char szLarge[2048];
    GetPrivateProfileStringA(nullptr, nullptr, "d", szLarge, sizeof(szLarge), sPath.c_str());
    GetPrivateProfileStringA(nullptr, nullptr, "d", szSmall, sizeof(szSmall), sPath.c_str());
    GetPrivateProfileStringA("KVStyle", nullptr, "d", szSmall, sizeof(szSmall), sPath.c_str());
    GetPrivateProfileStringA("Style1", "Flags", "default", szSmall, sizeof(szSmall), sPath.c_str());

    CLoadInitINI loader;
    loader.SetPath(sPath.c_str());
    COptionArrayPtr spOptions = InputArray();
    std::vector<CExtraOption> vecExtras(1);
    vecExtras[0].m_nOptionID = 226;
    vecExtras[0].m_vValue = _variant_t(static_cast<LONG>(-1));
    try
    {
        loader.Load(*spOptions, vecExtras);
        // Again, on the array just built.
        loader.Load(*spOptions, vecExtras);
    }
    catch (const CHResultError&)
    {
        // A refused array is the driver's to trace; here only crashes and leaks count.
    }
    return 0;
}
