#include "settings/LoadGuard.h"

#include "tests/support/TraceCapture.h"

#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>

// Every kind of exception a loader may meet ends at the guard as a failing code and one trace line with
// the loader's name in front; TraceLogError lines carry the system's text after three blanks.
TEST(LoadGuard, EachExceptionBecomesTheLoadersCodeAndOneLine)
{
    const struct
    {
        const char* pszName;
        std::function<HRESULT()> fnLoad;
        HRESULT hrExpected;
        std::string sLinePrefix;
    } cases[] = {
        {"success", [] { return S_FALSE; }, S_FALSE, ""},
        {"raised",
         []() -> HRESULT
         {
             ThrowIfFailed(E_ACCESSDENIED);
             return S_OK;
         },
         E_ACCESSDENIED, "Load of X:\\s.xml HRESULT exception 80070005   "},
        {"COM error", []() -> HRESULT { throw _com_error(E_NOINTERFACE); }, E_NOINTERFACE,
         "Core of X:\\s.xml com exception 80004002   "},
        {"COM error without failure", []() -> HRESULT { throw _com_error(S_FALSE); }, E_FAIL,
         "Core of X:\\s.xml com exception 80004005   "},
        {"allocation", []() -> HRESULT { throw std::bad_alloc(); }, E_OUTOFMEMORY,
         "Load of X:\\s.xml General exception"},
        {"other", []() -> HRESULT { throw std::runtime_error("x"); }, E_FAIL,
         "Load of X:\\s.xml General exception"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.pszName);
        CTraceCapture trace;
        EXPECT_EQ(GuardLoad({"Load of ", "X:\\s.xml", "Core of "}, c.fnLoad), c.hrExpected);
        const auto lines = CTraceCapture::Lines();
        if (c.sLinePrefix.empty())
        {
            EXPECT_TRUE(lines.empty());
            continue;
        }
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_EQ(lines[0].substr(0, c.sLinePrefix.size()), c.sLinePrefix);
    }
}
