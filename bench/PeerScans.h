// The peers every page benchmark runs beside its own rows on the same bytes: libxml2's HTML parse, and a
// memchr pass for '<' as the floor no HTML reader can go below.
#pragma once

#include <benchmark/benchmark.h>
#include <libxml/HTMLparser.h>

#include <cstring>
#include <string>

inline void LibXml2(benchmark::State& state, const std::string& sPage)
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

inline void MemchrFloor(benchmark::State& state, const std::string& sPage)
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
