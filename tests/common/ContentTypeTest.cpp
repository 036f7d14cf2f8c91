#include "common/ContentType.h"
#include "common/TraceLog.h"
#include "platform/MachineConfig.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
std::vector<std::string> g_lines;
void CaptureLine(const char* pszLine)
{
    g_lines.emplace_back(pszLine);
}
} // namespace

TEST(ContentType, IdentifyContentTypeFromTheRegistry)
{
    CMachineConfig::Instance().Reset();
    CMachineConfig::Instance().SetRegistryFile(std::string(DLSW_FIXTURES) + "/common/machine.reg");
    ResetTraceLogState();
    SetTraceLogFunction(&CaptureLine);
    SetTraceMask(TRACE_MASK_ON);

    struct Case
    {
        const char* m_pszExtension;
        bool m_bResult;
        const char* m_pszType;  // expected out value ("unchanged" when false)
        const char* m_pszTrace; // expected trace line, empty for none
    };
    const Case cases[] = {
        {".pdf", true, "application/pdf", ""},
        {".docx", true, "application/vnd.openxmlformats-officedocument.wordprocessingml.document", ""},
        {".empty", true, "", ""},
        {".exp", true, "text/x", ""},
        {".none", false, "unchanged",
         "IdentifyContentType error. Can not open  HKEY_CLASSES_ROOT for Content Type error 2   "
         "The system cannot find the file specified.  "},
        {".bin", false, "unchanged",
         "IdentifyContentType error. Can not open  HKEY_CLASSES_ROOT for Content Type error 13   The data is "
         "invalid.  "},
        {".long", false, "unchanged",
         "IdentifyContentType error. Can not open  HKEY_CLASSES_ROOT for Content Type error 234   "
         "More data is available.  "},
        {".zzz", false, "unchanged",
         "IdentifyContentType error. Can not open  HKEY_CLASSES_ROOT for .zzz error 2   "
         "The system cannot find the file specified.  "},
    };
    for (const Case& c : cases)
    {
        g_lines.clear();
        std::string sType = "unchanged";
        EXPECT_EQ(IdentifyContentType(c.m_pszExtension, sType), c.m_bResult) << c.m_pszExtension;
        EXPECT_EQ(sType, c.m_pszType) << c.m_pszExtension;
        if (*c.m_pszTrace == 0)
        {
            EXPECT_TRUE(g_lines.empty()) << c.m_pszExtension;
        }
        else
        {
            ASSERT_EQ(g_lines.size(), 1u) << c.m_pszExtension;
            EXPECT_EQ(g_lines[0], c.m_pszTrace);
        }
    }
    ResetTraceLogState();
    CMachineConfig::Instance().Reset();
}
