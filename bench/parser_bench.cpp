// The HTML parser on OWA-like pages of about 50 KB, 500 KB and 5 MB, beside libxml2's HTML parser and a
// memchr pass for '<' over the same bytes, plus crafted hostile pages of 500 KB.
#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

#include <benchmark/benchmark.h>
#include <libxml/HTMLparser.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{
std::string Block(size_t i)
{
    const std::string n = std::to_string(i);
    return std::string("<div class=\"row\" id=\"r") + n +
           "\"><table class=\"lst\" cellpadding=\"0\" cellspacing=\"0\"><tr><td class=\"c1\" nowrap>"
           "<span title=\"Subject " +
           n + "\" class=\"s\" onclick=\"f(" + n + ")\">Re: Subject " + n +
           "</span></td><td><a href=\"/owa/?ae=Item&amp;t=IPM.Note&amp;id=RgAAAA" + n +
           "\" target=\"_blank\">Open</a></td><td nowrap>12/10/2026 13:" + n.substr(0, 2) +
           "</td></tr></table><!-- item " + n +
           " --><div class=\"a\"><div><span style=\"color:red\">x</span>"
           "<img src=\"/owa/8.1/themes/base/clear.gif\" alt=\"\"></div></div><script "
           "type=\"text/javascript\">"
           "var a" +
           n + " = " + n + " < 5 ? \"x\" : \"y\";</script></div>\r\n";
}

const std::string& Page(size_t nBytes)
{
    static std::map<size_t, std::string> s_Pages;
    std::string& s = s_Pages[nBytes];
    if (s.empty())
    {
        s = "<!-- OwaPage = ASP.forms_premium_readmessage_aspx -->\r\n<!DOCTYPE HTML PUBLIC \"-//W3C//DTD "
            "HTML 4.01 "
            "Transitional//EN\">\r\n<html><head><title>OWA</title><link rel=\"stylesheet\" "
            "href=\"x.css\"></head>"
            "<body class=\"owa\">";
        for (size_t i = 0; s.size() < nBytes; ++i)
            s += Block(i);
        s += "</body></html>";
    }
    return s;
}

const std::string& Hostile(int nKind)
{
    static std::map<int, std::string> s_Pages;
    std::string& s = s_Pages[nKind];
    if (s.empty())
    {
        const char* const kUnits[] = {"<!-- >", "<%", "</ ", "<"};
        const size_t nTarget = 500 * 1024;
        while (s.size() < nTarget)
            s += kUnits[nKind];
        if (nKind >= 2)
            s += ">";
    }
    return s;
}

// Pages that made element walks or tag lookups cost the square of their size: every element of its own
// name, <head> or <body> repeated without closers, and lookups at every position of short repeated tags.
const std::string& HostileWalkPage(int nKind)
{
    static std::map<int, std::string> s_Pages;
    std::string& s = s_Pages[nKind];
    if (s.empty())
    {
        const char* const kUnits[] = {"", "<head>x", "<body>x", "<b>", "<!-- >"};
        const size_t nTarget = 500 * 1024;
        for (size_t i = 0; s.size() < nTarget; ++i)
        {
            if (nKind == 0)
                s += "<t" + std::to_string(i) + ">x</t" + std::to_string(i) + ">";
            else
                s += kUnits[nKind];
        }
    }
    return s;
}

void WalkAll(benchmark::State& state, const std::string& sPage)
{
    for (auto _ : state)
    {
        CSource source(sPage.data(), 0, sPage.size());
        size_t nSeen = 0;
        std::vector<CElement*> stack(source.getChildElements().begin(), source.getChildElements().end());
        while (!stack.empty())
        {
            CElement* p = stack.back();
            stack.pop_back();
            ++nSeen;
            for (CElement* pChild : p->getChildElements())
                stack.push_back(pChild);
        }
        benchmark::DoNotOptimize(nSeen);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sPage.size()));
}

void TagAtEveryPosition(benchmark::State& state, const std::string& sPage)
{
    for (auto _ : state)
    {
        CSource source(sPage.data(), 0, sPage.size());
        size_t nTags = 0;
        for (Position p = 0; p < sPage.size(); ++p)
            nTags += CTag::getTagAt(&source, p) != nullptr ? 1u : 0u;
        benchmark::DoNotOptimize(nTags);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sPage.size()));
}

void FullParse(benchmark::State& state, const std::string& sPage)
{
    for (auto _ : state)
    {
        CSource source(sPage.data(), 0, sPage.size());
        benchmark::DoNotOptimize(source.fullSequentialParse().size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sPage.size()));
}

void AccessMix(benchmark::State& state, const std::string& sPage)
{
    // What a rewriter does: find elements by id, walk their children, find the elements around positions.
    size_t nBlocks = 0;
    for (size_t p = sPage.find("id=\"r"); p != std::string::npos; p = sPage.find("id=\"r", p + 1))
        ++nBlocks;
    std::vector<std::string> ids;
    for (size_t i = 0; i < 20; ++i)
    {
        std::string sId(1, 'r');
        sId += std::to_string(i * nBlocks / 20);
        ids.push_back(sId);
    }
    for (auto _ : state)
    {
        CSource source(sPage.data(), 0, sPage.size());
        size_t nSeen = 0;
        for (const std::string& sId : ids)
        {
            CElement* pElement = source.getElementById(sId);
            if (pElement == nullptr)
                continue;
            std::vector<CElement*> stack{pElement};
            while (!stack.empty())
            {
                CElement* p = stack.back();
                stack.pop_back();
                ++nSeen;
                for (CElement* pChild : p->getChildElements())
                    stack.push_back(pChild);
            }
            if (CElement* pEnclosing = source.getEnclosingElement(pElement->getContentBegin() + 40))
                nSeen += pEnclosing->m_nBegin > 0 ? 1 : 0;
        }
        benchmark::DoNotOptimize(nSeen);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sPage.size()));
}

void LibXml2(benchmark::State& state, const std::string& sPage)
{
    for (auto _ : state)
    {
        htmlDocPtr pDoc =
            htmlReadMemory(sPage.data(), static_cast<int>(sPage.size()), nullptr, "UTF-8",
                           HTML_PARSE_RECOVER | HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING | HTML_PARSE_NONET);
        benchmark::DoNotOptimize(pDoc);
        xmlFreeDoc(pDoc);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sPage.size()));
}

void MemchrFloor(benchmark::State& state, const std::string& sPage)
{
    for (auto _ : state)
    {
        size_t n = 0;
        const char* p = sPage.data();
        const char* pEnd = p + sPage.size();
        while ((p = static_cast<const char*>(std::memchr(p, '<', static_cast<size_t>(pEnd - p)))) != nullptr)
        {
            ++n;
            ++p;
        }
        benchmark::DoNotOptimize(n);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sPage.size()));
}

void RegisterAll()
{
    const struct
    {
        const char* pszName;
        size_t nBytes;
    } sizes[] = {{"50KB", 50 * 1024}, {"500KB", 500 * 1024}, {"5MB", 5 * 1024 * 1024}};
    for (const auto& size : sizes)
    {
        const std::string& sPage = Page(size.nBytes);
        const std::string sSuffix = std::string("/") + size.pszName;
        benchmark::RegisterBenchmark(("FullParse" + sSuffix).c_str(), FullParse, sPage)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("AccessMix" + sSuffix).c_str(), AccessMix, sPage)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("LibXml2Html" + sSuffix).c_str(), LibXml2, sPage)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("MemchrFloor" + sSuffix).c_str(), MemchrFloor, sPage)
            ->Unit(benchmark::kMicrosecond);
    }
    const std::string& sOrdinary = Page(500 * 1024);
    benchmark::RegisterBenchmark("WalkAll/500KB/Ordinary", WalkAll, sOrdinary)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("TagAtEveryPosition/500KB/Ordinary", TagAtEveryPosition, sOrdinary)
        ->Unit(benchmark::kMillisecond);
    const char* const kWalkPages[] = {"DistinctNames", "RepeatedHead", "RepeatedBody", "RepeatedB",
                                      "UnclosedComments"};
    for (int k = 0; k < 3; ++k)
        benchmark::RegisterBenchmark((std::string("HostileWalkAll/500KB/") + kWalkPages[k]).c_str(), WalkAll,
                                     HostileWalkPage(k))
            ->Unit(benchmark::kMillisecond);
    for (int k = 3; k < 5; ++k)
        benchmark::RegisterBenchmark(
            (std::string("HostileTagAtEveryPosition/500KB/") + kWalkPages[k]).c_str(), TagAtEveryPosition,
            HostileWalkPage(k))
            ->Unit(benchmark::kMillisecond);
    const char* const kHostile[] = {"UnclosedComments", "ServerOpenings", "EndTagSpaces", "LoneOpenings"};
    for (int k = 0; k < 4; ++k)
    {
        const std::string& sPage = Hostile(k);
        const std::string sSuffix = std::string("/500KB/") + kHostile[k];
        benchmark::RegisterBenchmark(("HostileFullParse" + sSuffix).c_str(), FullParse, sPage)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark(("HostileMemchr" + sSuffix).c_str(), MemchrFloor, sPage)
            ->Unit(benchmark::kMicrosecond);
    }
}
} // namespace

int main(int argc, char** argv)
{
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
