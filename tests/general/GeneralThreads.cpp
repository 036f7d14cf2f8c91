// Request threads ask the general settings for languages and strings at once; after Init everything they
// read is fixed, so every thread gets the same answers.
#include "general/DLSWGeneralSettings.h"
#include "platform/WinFile.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace
{
TEST(GeneralSettingsThreads, LanguagesAndStringsFromManyThreads)
{
    CDLSWGeneralSettings settings;
    settings.BuildLanguageTagMap();
    settings.BuildBrowserLanguageList();
    settings.m_PageCharSet.Init();
    ASSERT_TRUE(settings.m_Resource.LoadModule(
        MapPosixPathToWindows(std::string(DLSW_INSTALL_TREE) + "/Resource/DorvRes64.dll")));
    const std::vector<int> vecIDs = {189, 171, 211, 183, 181, 199, 202, 193,
                                     188, 187, 104, 197, 107, 108, 109, 110};
    std::map<int, ci_string> mapUtf8;
    std::map<int, ci_string> mapGreek;
    ASSERT_TRUE(settings.GetResources(vecIDs, mapUtf8, 1, 0x0408, ""));
    ASSERT_TRUE(settings.GetResources(vecIDs, mapGreek, 2, 0x0408, "windows-1253"));

    constexpr int THREADS = 8;
    constexpr int ROUNDS = 200;
    std::vector<int> vecMismatches(THREADS, 0);
    std::vector<std::thread> vecThreads;
    for (int t = 0; t < THREADS; ++t)
    {
        vecThreads.emplace_back(
            [&, t]
            {
                for (int i = 0; i < ROUNDS; ++i)
                {
                    std::map<int, ci_string> mapOne;
                    const bool bGreek = (i + t) % 2 == 0;
                    settings.GetResources(vecIDs, mapOne, bGreek ? 2 : 1, 0x0408,
                                          bGreek ? "windows-1253" : "");
                    ci_string csCode;
                    LANGID wLangID = 0;
                    settings.DetectBrowserLanguage("el-GR,en;q=0.5", csCode, wLangID);
                    if (mapOne != (bGreek ? mapGreek : mapUtf8) || csCode != "el" || wLangID != 0x0408)
                        ++vecMismatches[static_cast<size_t>(t)];
                }
            });
    }
    for (std::thread& thread : vecThreads)
        thread.join();
    EXPECT_EQ(vecMismatches, std::vector<int>(THREADS, 0));
}
} // namespace
