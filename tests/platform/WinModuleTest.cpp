#include "platform/WinModule.h"
#include "platform/MachineConfig.h"
#include "platform/WinFile.h"
#include "platform/WinResource.h"
#include "platform/WinSync.h"
#include "platform/WinVersion.h"
#include "tests/support/TestFiles.h"

#include <dlfcn.h>
#include <filesystem>
#include <fstream>

namespace
{
namespace fs = std::filesystem;

// The platform library's own file, a module every test program has loaded.
fs::path PlatformLibrary()
{
    Dl_info info{};
    dladdr(reinterpret_cast<void*>(&GetModuleLoadCount), &info);
    return fs::canonical(info.dli_fname);
}

class WinModule : public CTempDriveTest
{
};

TEST_F(WinModule, LoadsByWindowsPathAndByNameWithReferenceCounts)
{
    const fs::path library = PlatformLibrary();
    const std::string strWindowsPath = MapPosixPathToWindows(library.string());
    HMODULE hByPath = LoadLibraryA(strWindowsPath.c_str());
    ASSERT_NE(hByPath, nullptr);
    // A module that is loaded already is found by its bare name.
    HMODULE hByName = LoadLibraryA(library.filename().c_str());
    EXPECT_EQ(hByName, hByPath);
    EXPECT_EQ(GetModuleLoadCount(hByPath), 2);
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&GetModuleLoadCount), &info), 0);
    EXPECT_NE(GetProcAddress(hByPath, info.dli_sname), nullptr);
    SetLastError(0);
    EXPECT_EQ(GetProcAddress(hByPath, "NoSuchExport"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_PROC_NOT_FOUND);
    EXPECT_TRUE(FreeLibrary(hByName));
    EXPECT_EQ(GetModuleLoadCount(hByPath), 1);
    EXPECT_TRUE(FreeLibrary(hByPath));
    EXPECT_EQ(GetModuleLoadCount(hByPath), 0);
    // No reference is left to give back.
    EXPECT_FALSE(FreeLibrary(hByPath));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(FreeLibrary(nullptr));
}

TEST_F(WinModule, BareNamesGoThroughTheSearchPathAndDllNamesMapToSo)
{
    // A module copied under another name, found only through the search path.
    fs::create_directories(m_root / "lib");
    fs::copy_file(PlatformLibrary(), m_root / "lib" / "Probe.so");
    EXPECT_EQ(LoadLibraryA("Probe.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    CMachineConfig::Instance().SetLibrarySearchPath({"C:\\lib"});
    EXPECT_EQ(FindModuleFile("Probe.dll"), (m_root / "lib" / "Probe.so").string());
    EXPECT_EQ(FindModuleFile("Probe"), (m_root / "lib" / "Probe.so").string());
    // As on Windows, names are found whatever their case.
    EXPECT_EQ(FindModuleFile("C:\\lib\\PROBE.DLL"), (m_root / "lib" / "Probe.so").string());
    EXPECT_EQ(FindModuleFile("C:\\lib\\Other.dll"), "");
    EXPECT_EQ(FindModuleFile("C:\\lib\\Probe.dll"), (m_root / "lib" / "Probe.so").string());
    // The system directory is searched after the search path.
    CMachineConfig::Instance().SetLibrarySearchPath({});
    CMachineConfig::Instance().SetSystemDirectory("C:\\lib");
    EXPECT_EQ(FindModuleFile("Probe.dll"), (m_root / "lib" / "Probe.so").string());
}

TEST_F(WinModule, FilesThatAreNoModules)
{
    std::ofstream(m_root / "text.so") << "plain text";
    EXPECT_EQ(LoadLibraryA("C:\\text.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(LoadLibraryExA("C:\\text.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_BAD_EXE_FORMAT);
    EXPECT_EQ(LoadLibraryA("C:\\missing.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
    EXPECT_EQ(LoadLibraryA(""), nullptr);
    EXPECT_EQ(LoadLibraryA(nullptr), nullptr);
}

TEST_F(WinModule, DataFileModulesServeResourcesOnly)
{
    fs::copy_file(PlatformLibrary(), m_root / "Data.so");
    HMODULE hData = LoadLibraryExA("C:\\Data.dll", nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hData, nullptr);
    EXPECT_NE(reinterpret_cast<uintptr_t>(hData) & 1u, 0u);
    EXPECT_EQ(GetProcAddress(hData, "malloc"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // The platform has no resources of its own.
    EXPECT_EQ(FindResourceExA(hData, RT_STRING, MAKEINTRESOURCEA(1), 0x1009), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(FindResourceExA(hData, "NAMED", MAKEINTRESOURCEA(1), 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
    EXPECT_EQ(SizeofResource(hData, nullptr), 0u);
    EXPECT_EQ(LoadResource(hData, nullptr), nullptr);
    EXPECT_TRUE(FreeLibrary(hData));
    EXPECT_FALSE(FreeLibrary(hData));
    EXPECT_EQ(FindResourceExA(hData, RT_STRING, MAKEINTRESOURCEA(1), 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    DWORD dwHandle = 7;
    EXPECT_EQ(GetFileVersionInfoSizeA("C:\\Data.dll", &dwHandle), 0u);
    EXPECT_EQ(dwHandle, 0u);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_TYPE_NOT_FOUND);
}

TEST(VerQueryValue, RefusesBlocksThatAreNotVersionBlocks)
{
    const char szNotABlock[64] = "not a version block";
    LPVOID pValue = nullptr;
    UINT uLength = 0;
    EXPECT_FALSE(VerQueryValueA(szNotABlock, "\\", &pValue, &uLength));
    // A block whose length claims less than its own parts.
    unsigned char block[80] = {'D', 'L', 'S', 'W', 'V', 'E', 'R', '1', 20, 0, 0, 0, 1, 0, 0, 0};
    EXPECT_FALSE(VerQueryValueA(block, "\\VarFileInfo\\Translation", &pValue, &uLength));
    EXPECT_FALSE(VerQueryValueA(nullptr, "\\", &pValue, &uLength));
}
} // namespace
