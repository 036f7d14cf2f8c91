// Builds a page from a repeated structure that the input describes (nesting, names, quotes, unclosed
// constructs) at two sizes, runs the operations the rewriters use on each, and stops when the parser's
// steps grow faster than the page: four times the page may cost at most five times the steps, and no page
// more than a fixed number of steps per byte. Steps, not time, so that a finding does not depend on load.
#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace
{
// Pieces of markup; '#' stands for a number that changes with each repetition (distinct names).
const char* const kPieces[] = {
    "<div>", "</div>",    "<span",      "</span>", ">",       "<",         "</",      " ",
    "'",     "\"",        "=",          "x",       " title=", "<!--",      "-->",     "<%",
    "%>",    "<![cdata[", "]]>",        "<p>",     "<li>",    "<td>",      "<table>", "</table>",
    "<ul>",  "</ul>",     "<a>",        "</a>",    "<b/>",    "<!doctype", "<?",      "?>",
    "[",     "]",         "<!element ", "<x#>",    "</x#>",   "<y#",       " id=i#",  "<head>",
    "<tr>",  "<option>",  "<select>",   "</td>",   "<dt>",    "<html>",    "<body>",  "</html>",
};
constexpr size_t kPieceCount = sizeof(kPieces) / sizeof(kPieces[0]);

std::string Unit(const uint8_t* pData, size_t nSize, size_t nRepetition)
{
    std::string s;
    const std::string sNumber = std::to_string(nRepetition);
    for (size_t i = 0; i < nSize && i < 48; ++i)
    {
        for (const char* p = kPieces[pData[i] % kPieceCount]; *p != '\0'; ++p)
        {
            if (*p == '#')
                s += sNumber;
            else
                s += *p;
        }
    }
    return s;
}

std::string Page(const uint8_t* pData, size_t nSize, size_t nBytes)
{
    std::string s;
    for (size_t i = 0; s.size() < nBytes; ++i)
        s += Unit(pData, nSize, i);
    return s;
}

void WalkEveryElement(CSource& source)
{
    std::vector<CElement*> stack(source.getChildElements().begin(), source.getChildElements().end());
    while (!stack.empty())
    {
        CElement* p = stack.back();
        stack.pop_back();
        if (p->childElementsSet())
            continue;
        for (CElement* pChild : p->getChildElements())
            stack.push_back(pChild);
    }
}

uint64_t Steps(const std::string& sPage)
{
    const auto n = static_cast<Position>(sPage.size());
    uint64_t nSteps = 0;
    {
        CSource source(sPage.data(), 0, n);
        source.fullSequentialParse();
        WalkEveryElement(source);
        nSteps += source.getWork();
    }
    {
        CSource source(sPage.data(), 0, n);
        WalkEveryElement(source);
        nSteps += source.getWork();
    }
    {
        CSource source(sPage.data(), 0, n);
        for (Position i = 32; i-- > 0;)
        {
            const Position p = n * i / 32;
            source.getEnclosingElement(p);
            source.getTagAt(p);
            source.findPreviousStartTag(p);
            if (CStartTag* pTag = source.findNextStartTag(p))
                pTag->getElement();
            for (const char* pszName : {"div", "span", "x1"})
            {
                if (CEndTag* pEnd = source.findNextEndTag(p, ToCi(pszName)))
                    pEnd->getElement();
            }
        }
        source.getElementById("i3");
        source.findNextStartTag(0, "name", "absent", true);
        nSteps += source.getWork();
    }
    return nSteps;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize == 0)
        return 0;
    constexpr size_t kSmall = 2 * 1024;
    constexpr size_t kLarge = 4 * kSmall;
    const std::string sSmall = Page(pData, nSize, kSmall);
    const std::string sLarge = Page(pData, nSize, kLarge);
    const uint64_t nSmall = Steps(sSmall);
    const uint64_t nLarge = Steps(sLarge);
    // A constant allowance covers work that does not grow with the page.
    if (nLarge > 5 * nSmall + 4096 || nLarge > 200 * sLarge.size() + 10000)
    {
        std::fprintf(stderr, "parser steps not linear: %llu steps at %zu bytes, %llu at %zu bytes\n",
                     static_cast<unsigned long long>(nSmall), sSmall.size(),
                     static_cast<unsigned long long>(nLarge), sLarge.size());
        std::abort();
    }
    return 0;
}
