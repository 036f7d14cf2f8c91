// The general settings as the document-view tests need them: the tests' own resource library, the
// JavaScript prefixes, and OWA's file-access lists of a server that lets private computers open files.
#pragma once

#include "common/SharedConstants.h"
#include "common/StaticMemory.h"
#include "general/DLSWGeneralSettings.h"
#include "platform/WinFile.h"

#include <gtest/gtest.h>

#include <string>

// .txt and .doc allowed by OWA, .exe and .msi blocked, .zip forced to be saved, every other type forced to be
// saved.
inline CDLSWGeneralSettings& DocViewSettings()
{
    CDLSWGeneralSettings& settings = *Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance();
    static const bool s_bLoaded = [&]
    {
        const bool bLoaded = settings.m_Resource.LoadModule(
            MapPosixPathToWindows(std::string(DLSW_FORMS_MODULES) + "/DocViewRes64.dll"));
        settings.m_PageCharSet.Init();
        for (const JSStringDeclaration& row : g_JSStringDeclarations)
            settings.m_mapJSVariables.emplace(row.m_nResourceId, row.m_sPrefix);
        settings.m_csVirtualFolderName = "X-Dorvel";
        COWAADConfig& owa = settings.m_OWAADConfig;
        owa.m_nFileAccessControlOnPrivateComputers = 1;
        owa.m_nFileAccessControlOnPublicComputers = 0;
        owa.m_vecAllowedFileTypes = {".txt", ".doc"};
        owa.m_vecBlockedFileTypes = {".exe", ".msi"};
        owa.m_vecForceSaveFileTypes = {".zip"};
        owa.m_nActionForUnknownFileAndMIMETypes = 1;
        return bLoaded;
    }();
    EXPECT_TRUE(s_bLoaded);
    return settings;
}

// The hash the worker's links carry, computed apart from the worker.
inline std::string LinkHash(const std::string& strText)
{
    uint32_t h = 0;
    for (char c : strText)
        h = h * 33u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(c)));
    return std::to_string(h);
}
