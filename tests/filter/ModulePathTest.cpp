#include "platform/WinModule.h"
#include "platform/WinSync.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{
// The platform library is loaded into every test program, which makes it a module to look up.
TEST(ModulePath, LoadedModuleByNameAndByAddress)
{
    HMODULE hByName = GetModuleHandleA("LIBDLSW_PLATFORM.SO");
    ASSERT_NE(hByName, nullptr);
    EXPECT_EQ(GetModuleHandleA("Z:\\any\\dir\\libdlsw_platform.so"), hByName) << "only the file name decides";

    HMODULE hByAddress = nullptr;
    ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                       GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                   reinterpret_cast<LPCSTR>(&GetModuleHandleA), &hByAddress));
    EXPECT_EQ(hByAddress, hByName);

    char szPath[MAX_PATH + 1] = {};
    const DWORD dwLen = GetModuleFileNameA(hByName, szPath, sizeof(szPath));
    ASSERT_GT(dwLen, 0u);
    const std::string strPath(szPath, dwLen);
    EXPECT_EQ(strPath.find('/'), std::string::npos) << strPath;
    EXPECT_EQ(strPath.substr(strPath.size() - 20), "\\libdlsw_platform.so");
    EXPECT_EQ(strPath[1], ':');
}

TEST(ModulePath, AbsentModuleAndShortBuffer)
{
    SetLastError(0);
    EXPECT_EQ(GetModuleHandleA("DL_ServiceWorker.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);

    char szShort[8];
    std::memset(szShort, 'x', sizeof(szShort));
    EXPECT_EQ(GetModuleFileNameA(GetModuleHandleA("libdlsw_platform.so"), szShort, sizeof(szShort)), 8u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(szShort[7], '\0');
    EXPECT_EQ(std::string(szShort).size(), 7u);

    HMODULE hModule = reinterpret_cast<HMODULE>(1);
    EXPECT_FALSE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                        GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                    nullptr, &hModule));
    EXPECT_EQ(hModule, nullptr);
}

TEST(ModulePath, DllNamesStandForSharedObjects)
{
    EXPECT_EQ(ModuleNameToFileName("DL_ServiceWorker.dll"), "DL_ServiceWorker.so");
    EXPECT_EQ(ModuleNameToFileName("DorvRes64.DLL"), "DorvRes64.so");
    EXPECT_EQ(ModuleNameToFileName("libx.so"), "libx.so");
    EXPECT_EQ(ModuleNameToFileName(".dll"), ".so");
    EXPECT_EQ(ModuleNameToFileName("dll"), "dll");
}
} // namespace
