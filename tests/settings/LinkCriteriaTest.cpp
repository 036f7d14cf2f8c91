#include "settings/LinkCriteria.h"

#include "SettingsTestUtil.h"

#include <gtest/gtest.h>

using settings_test::CTempFolder;
using settings_test::CTraceCapture;
using settings_test::Fixture;

namespace
{
std::map<int, std::map<int, int>> Links(const CLinkCriteria& criteria)
{
    std::map<int, std::map<int, int>> result;
    for (const auto& [nID, spRecord] : criteria.GetServiceWorkers())
        result[nID] = spRecord->m_mapLinks;
    return result;
}
} // namespace

TEST(LinkCriteria, ReadsWorkersAndLinks)
{
    CLinkCriteria criteria;
    ASSERT_EQ(criteria.LoadLinkCriteria(Fixture("linkcriteria.xml")), S_OK);
    // SW 3 given twice: links merged, the later DESCR wins; a LINK without SETTINGS_ID maps to set 0;
    // the SW without ID is skipped with its link.
    const std::map<int, std::map<int, int>> expected = {
        {3, {{10, 1}, {11, 4}, {12, 0}, {13, 3}}},
        {4, {{10, 7}}},
    };
    EXPECT_EQ(Links(criteria), expected);
    EXPECT_EQ(criteria.GetServiceWorkers().at(3)->m_sDescr, "Service worker, merged");
}

TEST(LinkCriteria, FailuresKeepTheMapAndASavedFileReadsBackTheSame)
{
    CTempFolder folder;
    folder.Write("LinkCriteriaSettings.xml", settings_test::ReadFixtureText("linkcriteria.xml"));
    CLinkCriteria criteria;
    const std::string sPath = folder.WindowsOf("LinkCriteriaSettings.xml");
    ASSERT_EQ(criteria.LoadLinkCriteria(sPath), S_OK);
    const auto before = Links(criteria);

    CTraceCapture trace;
    folder.Write("LinkCriteriaSettings.xml", "<SERVICEWORKERS><SW ID=\"3\">");
    EXPECT_LT(criteria.LoadLinkCriteria(sPath), 0);
    EXPECT_TRUE(trace.Contains("LoadLinkCriteria HRESULT exception"));
    EXPECT_EQ(Links(criteria), before);
    EXPECT_EQ(criteria.LoadLinkCriteria(folder.WindowsOf("none.xml")),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(
        trace.Count("Load LoadLinkCriteria can not find file " + folder.WindowsOf("none.xml") + " error 2"),
        1u);
    EXPECT_EQ(Links(criteria), before);

    ASSERT_EQ(criteria.Save(), S_OK);
    CLinkCriteria reread;
    ASSERT_EQ(reread.LoadLinkCriteria(sPath), S_OK);
    EXPECT_EQ(Links(reread), before);
    EXPECT_EQ(reread.GetServiceWorkers().at(4)->m_sDescr, "Other worker");
    const std::string sText = ReadFileText(folder.PosixOf("LinkCriteriaSettings.xml"));
    EXPECT_EQ(
        sText.rfind("<SERVICEWORKERS><SW ID=\"3\" DESCR=\"Service worker, merged\"><LINK CRITERIA_ID=\"10\" "
                    "SETTINGS_ID=\"1\"/>",
                    0),
        0u);

    folder.Write("LinkCriteriaSettings.xml", "<OTHER/>");
    ASSERT_EQ(criteria.LoadLinkCriteria(sPath), S_OK);
    EXPECT_TRUE(criteria.GetServiceWorkers().empty());
}
