// The HTML parser on OWA-like pages of about 50 KB, 500 KB and 5 MB, beside libxml2's HTML parser and a
// memchr pass for '<' over the same bytes, plus crafted hostile pages of 500 KB; and every operation the
// rewriters use on crafted page shapes at 200 KB and 800 KB beside the ordinary page of the same size, with
// the parser's steps and its peak memory per page byte (counted by the allocator below) as counters.
#include "PeerScans.h"
#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

#include <benchmark/benchmark.h>
#include <libxml/HTMLparser.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <malloc.h>
#include <map>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

// Bytes held through operator new, and the most held since the last reset: the parser's memory is what a
// source and its objects take beyond what was held before it was made.
std::atomic<size_t> g_nHeld{0};
std::atomic<size_t> g_nPeak{0};

void* CountedAllocate(size_t nSize)
{
    void* p = std::malloc(nSize == 0 ? 1 : nSize);
    if (p == nullptr)
        throw std::bad_alloc();
    const size_t nHeld = g_nHeld += malloc_usable_size(p);
    size_t nPeak = g_nPeak.load();
    while (nHeld > nPeak && !g_nPeak.compare_exchange_weak(nPeak, nHeld))
    {
    }
    return p;
}

void CountedFree(void* p) noexcept
{
    if (p == nullptr)
        return;
    g_nHeld -= malloc_usable_size(p);
    std::free(p);
}

void* CountedAllocateAligned(size_t nSize, std::align_val_t nAlign)
{
    void* p = nullptr;
    if (posix_memalign(&p, std::max(static_cast<size_t>(nAlign), sizeof(void*)), nSize == 0 ? 1 : nSize) != 0)
        throw std::bad_alloc();
    const size_t nHeld = g_nHeld += malloc_usable_size(p);
    size_t nPeak = g_nPeak.load();
    while (nHeld > nPeak && !g_nPeak.compare_exchange_weak(nPeak, nHeld))
    {
    }
    return p;
}

void* operator new(size_t nSize)
{
    return CountedAllocate(nSize);
}
// The parser lays its objects out in aligned chunks.
void* operator new(size_t nSize, std::align_val_t nAlign)
{
    return CountedAllocateAligned(nSize, nAlign);
}
void* operator new[](size_t nSize, std::align_val_t nAlign)
{
    return CountedAllocateAligned(nSize, nAlign);
}
void operator delete(void* p, std::align_val_t) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p, std::align_val_t) noexcept
{
    CountedFree(p);
}
void operator delete(void* p, size_t, std::align_val_t) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p, size_t, std::align_val_t) noexcept
{
    CountedFree(p);
}
void* operator new[](size_t nSize)
{
    return CountedAllocate(nSize);
}
void operator delete(void* p) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p) noexcept
{
    CountedFree(p);
}
void operator delete(void* p, size_t) noexcept
{
    CountedFree(p);
}
void operator delete[](void* p, size_t) noexcept
{
    CountedFree(p);
}

namespace
{
// Memory for the bench's own bookkeeping (which elements a walk has seen, what it has still to visit), taken
// from malloc directly so that the counting above sees the parser's memory alone.
template <class T> struct SUncountedAllocator
{
    using value_type = T;
    SUncountedAllocator() = default;
    template <class U> SUncountedAllocator(const SUncountedAllocator<U>&) noexcept {}
    T* allocate(size_t n)
    {
        void* p = std::malloc(n * sizeof(T));
        if (p == nullptr)
            throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t) noexcept { std::free(p); }
    template <class U> bool operator==(const SUncountedAllocator<U>&) const noexcept { return true; }
};

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
                nSeen += pEnclosing->getBegin() > 0 ? size_t{1} : size_t{0};
        }
        benchmark::DoNotOptimize(nSeen);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sPage.size()));
}

// Page shapes that once made the parser's operations cost the square of the page size, each repeated to the
// size asked; "Ordinary" is the OWA-like page above.
struct SShape
{
    const char* pszName;
    const char* pszUnit; // null: generated below
    const char* pszTail;
};
const SShape kShapes[] = {
    {"Ordinary", nullptr, ""},
    {"NestedUnclosed", "<div><span>", ""},
    {"LoneOpenings", "<", ">"},
    {"ServerOpenings", "<%", ""},
    {"DistinctNames", nullptr, ""},
    {"EndTagSpaces", "</ ", ">"},
    {"EndTagAttributes", "</div title=x", ">"},
    {"UnclosedComments", "<!-- >", ""},
    {"QuotedEndTags", "<div title='</div>'>x", ""},
    {"QuotedSpanEnds", "<span title='</span></span>'>x", ""},
    {"RepeatedSpans", "<span>t", ""},
    {"NestedHtml", "<html><div>", ""},
    {"MarkupDeclarations", "<!a>", ""},
    // The most tags a page can hold: a tag object (and, walked, an element) for every three bytes.
    {"ShortTags", "<b>", ""},
};

const std::string& ShapePage(const SShape& shape, size_t nBytes)
{
    static std::map<std::pair<std::string, size_t>, std::string> s_Pages;
    std::string& s = s_Pages[{shape.pszName, nBytes}];
    if (!s.empty())
        return s;
    if (std::strcmp(shape.pszName, "Ordinary") == 0)
        return s = Page(nBytes);
    for (size_t i = 0; s.size() < nBytes; ++i)
        s += shape.pszUnit != nullptr ? std::string(shape.pszUnit) : "<x" + std::to_string(i) + ">";
    s += shape.pszTail;
    return s;
}

// Each operation runs on a new source; the counters give the parser's steps and its peak memory per page
// byte, which do not depend on the machine's speed.
using COperation = void (*)(CSource& source, const std::string& sPage);

Position At(const std::string& sPage, size_t i)
{
    return static_cast<Position>(sPage.size() * i / 1000);
}

void WalkOnce(CSource& source)
{
    // Each element once: on some shapes one element is listed under several parents.
    std::unordered_set<CElement*, std::hash<CElement*>, std::equal_to<CElement*>,
                       SUncountedAllocator<CElement*>>
        seen;
    const CElementList& top = source.getChildElements();
    std::vector<CElement*, SUncountedAllocator<CElement*>> stack(top.begin(), top.end());
    while (!stack.empty())
    {
        CElement* p = stack.back();
        stack.pop_back();
        if (!seen.insert(p).second)
            continue;
        for (CElement* pChild : p->getChildElements())
            stack.push_back(pChild);
    }
    benchmark::DoNotOptimize(seen.size());
}

void OpFullParse(CSource& source, const std::string&)
{
    benchmark::DoNotOptimize(source.fullSequentialParse().size());
}
void OpTagAt(CSource& source, const std::string& sPage)
{
    for (size_t i = 0; i < 1000; ++i)
        benchmark::DoNotOptimize(source.getTagAt(At(sPage, i)));
}
void OpPreviousNext(CSource& source, const std::string& sPage)
{
    for (size_t i = 0; i < 1000; ++i)
    {
        benchmark::DoNotOptimize(source.findPreviousStartTag(At(sPage, i)));
        benchmark::DoNotOptimize(source.findNextStartTag(At(sPage, 999 - i)));
    }
}
void OpFind(CSource& source, const std::string&)
{
    benchmark::DoNotOptimize(source.getElementById("r7"));
    benchmark::DoNotOptimize(source.getElementById("absent"));
    benchmark::DoNotOptimize(source.findNextStartTag(0, ToCi("absent")));
    benchmark::DoNotOptimize(source.findNextStartTag(0, "name", "absent", true));
}
void OpWalk(CSource& source, const std::string&)
{
    WalkOnce(source);
}
void OpWalkParsed(CSource& source, const std::string&)
{
    source.fullSequentialParse();
    WalkOnce(source);
}
void OpEnclosing(CSource& source, const std::string& sPage)
{
    for (size_t i = 0; i < 1000; ++i)
        benchmark::DoNotOptimize(source.getEnclosingElement(At(sPage, i)));
}
void OpEnclosingParsed(CSource& source, const std::string& sPage)
{
    source.fullSequentialParse();
    OpEnclosing(source, sPage);
}
void OpPairing(CSource& source, const std::string& sPage)
{
    // From the end backwards: each pairing meets the ones after it already done.
    for (size_t i = 1000; i-- > 0;)
    {
        if (CStartTag* pTag = source.findNextStartTag(At(sPage, i)))
            benchmark::DoNotOptimize(pTag->getElement());
        if (CEndTag* pEnd = source.findNextEndTag(At(sPage, i), ToCi("div")))
            benchmark::DoNotOptimize(pEnd->getElement());
    }
}

void RunShape(benchmark::State& state, COperation operation, const std::string& sPage)
{
    double dSteps = 0;
    double dPeak = 0;
    for (auto _ : state)
    {
        const size_t nBefore = g_nHeld.load();
        g_nPeak = nBefore;
        {
            CSource source(sPage.data(), 0, sPage.size());
            operation(source, sPage);
            dSteps = static_cast<double>(source.getWork());
        }
        dPeak = static_cast<double>(g_nPeak.load() - nBefore);
    }
    const auto dBytes = static_cast<double>(sPage.size());
    state.counters["steps_per_B"] = dSteps / dBytes;
    state.counters["peak_mem_per_B"] = dPeak / dBytes;
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sPage.size()));
}

void RegisterShapes()
{
    const struct
    {
        const char* pszName;
        COperation operation;
    } operations[] = {
        {"FullParse", OpFullParse},
        {"TagAt1000", OpTagAt},
        {"PrevNext1000", OpPreviousNext},
        {"FindByIdNameAttribute", OpFind},
        {"ChildWalk", OpWalk},
        {"ChildWalkAfterParse", OpWalkParsed},
        {"Enclosing1000", OpEnclosing},
        {"Enclosing1000AfterParse", OpEnclosingParsed},
        {"Pairing1000", OpPairing},
    };
    for (const auto& operation : operations)
    {
        for (const SShape& shape : kShapes)
        {
            for (size_t nKB : {size_t{200}, size_t{800}})
            {
                const std::string sName = std::string("Shape/") + operation.pszName + "/" + shape.pszName +
                                          "/" + std::to_string(nKB) + "KB";
                benchmark::RegisterBenchmark(sName.c_str(), RunShape, operation.operation,
                                             ShapePage(shape, nKB * 1024))
                    ->Unit(benchmark::kMillisecond)
                    ->MinTime(0.2);
            }
        }
    }
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
    // The parser runs inside the host, which keeps what its heap grew to between requests
    // (host/HostFilter.cpp): measured here with the C library's defaults, every large block of a page of
    // hundreds of kilobytes comes fresh from the kernel and is faulted in page by page on each run, which on
    // this kind of machine costs more than the parser's own work and grows faster than the page.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
    RegisterAll();
    RegisterShapes();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    xmlCleanupParser();
    return 0;
}
