// Many threads parse different pages at once from a cold start: every parser singleton is first asked for
// concurrently. Runs under ThreadSanitizer too (label concurrency).
#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

#include <gtest/gtest.h>

#include <latch>
#include <string>
#include <thread>
#include <vector>

namespace
{
std::string Page(int n)
{
    std::string s = "<!doctype html><html><head><title>t" + std::to_string(n) + "</title></head><body>";
    for (int i = 0; i <= n; ++i)
        s +=
            "<div id=d" + std::to_string(i) + "><p>a<p>b<!-- c --><% s %><table><tr><td>1<td>2</table></div>";
    return s + "</body></html>";
}
} // namespace

struct SResult
{
    size_t nChildren = 0;
    size_t nTags = 0;
    size_t nTopLevel = 0;
};

SResult ParseAll(const std::string& sPage, int n)
{
    SResult result;
    CSource lazy(sPage.data(), 0, sPage.size());
    if (CElement* pDiv = lazy.getElementById("d" + std::to_string(n)))
        result.nChildren = pDiv->getChildElements().size();
    CSource parsed(sPage.data(), 0, sPage.size());
    result.nTags = parsed.fullSequentialParse().size();
    result.nTopLevel = parsed.getChildElements().size();
    return result;
}

TEST(ParserColdStart, ManyThreadsParseDifferentPages)
{
    constexpr int kThreads = 16;
    std::latch start(kThreads);
    std::vector<SResult> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
    {
        threads.emplace_back(
            [t, &start, &results]
            {
                const std::string sPage = Page(t);
                start.arrive_and_wait();
                results[static_cast<size_t>(t)] = ParseAll(sPage, t);
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    // The same pages parsed again on one thread, now that every table exists, give the same answers.
    for (int t = 0; t < kThreads; ++t)
    {
        const SResult expected = ParseAll(Page(t), t);
        const SResult& got = results[static_cast<size_t>(t)];
        EXPECT_EQ(got.nChildren, 3u) << t;
        EXPECT_EQ(got.nChildren, expected.nChildren) << t;
        EXPECT_EQ(got.nTags, 9u + 11u * static_cast<size_t>(t + 1)) << t;
        EXPECT_EQ(got.nTags, expected.nTags) << t;
        EXPECT_EQ(got.nTopLevel, 2u) << t;
    }
}
