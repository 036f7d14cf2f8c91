// Builds a page from a repeated structure that the input describes (nesting, names, quotes, unclosed
// constructs) at two sizes, runs the operations the rewriters use on each, and stops when the parser's
// steps grow faster than what it reads and answers: per byte of page and per element listed as a child,
// four times the page may cost at most a quarter more, and never more than a fixed number of steps. (An
// element may list every later element of a page as its child, so a walk's answers alone can grow with the
// square of the page; that part is the answers' size, not the parser's work.) Steps, not time, so that a
// finding does not depend on load.
#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

namespace
{
// Pieces of markup; '#' stands for a number that changes with each repetition (distinct names).
const char* const kPieces[] = {
    "<div>",  "</div>", "<span",     "</span>", ">",       "<",        "</",       " ",          "'",
    "\"",     "=",      "x",         " title=", "<!--",    "-->",      "<%",       "%>",         "<![cdata[",
    "]]>",    "<p>",    "<li>",      "<td>",    "<table>", "</table>", "<ul>",     "</ul>",      "<a>",
    "</a>",   "<b/>",   "<!doctype", "<?",      "?>",      "[",        "]",        "<!element ", "<x#>",
    "</x#>",  "<y#",    " id=i#",    "<head>",  "<tr>",    "<option>", "<select>", "</td>",      "<dt>",
    "<html>", "<body>", "</html>",   "<!x#",
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

// Asks every element for its children once (the first ask lists a whole subtree); returns how many
// children the lists hold in all.
uint64_t WalkEveryElement(CSource& source)
{
    std::vector<CElement*> stack(source.getChildElements().begin(), source.getChildElements().end());
    std::unordered_set<const CElement*> seen;
    uint64_t nListed = stack.size();
    while (!stack.empty())
    {
        CElement* p = stack.back();
        stack.pop_back();
        if (!seen.insert(p).second)
            continue;
        const CElementList& children = p->getChildElements();
        nListed += children.size();
        stack.insert(stack.end(), children.begin(), children.end());
    }
    return nListed;
}

struct SCost
{
    uint64_t nSteps = 0;
    uint64_t nSize = 0; // page bytes read by each operation plus children listed
};

SCost Steps(const std::string& sPage)
{
    const auto n = static_cast<Position>(sPage.size());
    SCost cost;
    uint64_t& nSteps = cost.nSteps;
    cost.nSize = 3 * sPage.size();
    {
        CSource source(sPage.data(), 0, n);
        source.fullSequentialParse();
        cost.nSize += WalkEveryElement(source);
        nSteps += source.getWork();
    }
    {
        CSource source(sPage.data(), 0, n);
        cost.nSize += WalkEveryElement(source);
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
    return cost;
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
    const SCost small = Steps(sSmall);
    const SCost large = Steps(sLarge);
    const double dSmall = static_cast<double>(small.nSteps) / static_cast<double>(small.nSize);
    const double dLarge = static_cast<double>(large.nSteps) / static_cast<double>(large.nSize);
    // A constant allowance covers work that does not grow with the page.
    if (dLarge > 1.25 * dSmall + 1.0 || dLarge > 100.0)
    {
        std::fprintf(stderr,
                     "parser steps not linear: %llu steps for %llu bytes and children at %zu bytes, %llu for "
                     "%llu at %zu bytes\n",
                     static_cast<unsigned long long>(small.nSteps),
                     static_cast<unsigned long long>(small.nSize), sSmall.size(),
                     static_cast<unsigned long long>(large.nSteps),
                     static_cast<unsigned long long>(large.nSize), sLarge.size());
        std::abort();
    }
    return 0;
}
