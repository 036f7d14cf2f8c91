// Feeds arbitrary bytes to the HTML parser: a full parse, and on-demand lookups at arbitrary positions on a
// second source over the same bytes (the text is not zero-terminated, as a response body is not).
#include "htmlparser/Element.h"
#include "htmlparser/Source.h"
#include "htmlparser/Tag.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    // An exact-size copy, so that the sanitizer sees any read past the end.
    std::vector<char> text(pData, pData + nSize);
    const char* pText = text.empty() ? nullptr : text.data();
    const Position nEnd = static_cast<Position>(nSize);
    {
        CSource source(pText, 0, nEnd);
        const std::vector<CTag*>& tags = source.fullSequentialParse();
        for (CTag* pTag : tags)
        {
            if (pTag->isStartTag())
                pTag->getElement();
        }
        source.getChildElements();
    }
    {
        CSource source(pText, 0, nEnd);
        for (size_t i = 0; i + 1 < nSize && i < 64; i += 2)
        {
            const Position nPos = (static_cast<Position>(pData[i]) << 8 | pData[i + 1]) % (nEnd + 2);
            source.getTagAt(nPos);
            if (CStartTag* pStart = source.findPreviousStartTag(nPos))
                pStart->getElement();
            if (CStartTag* pNext = source.findNextStartTag(nPos))
            {
                if (CElement* pElement = pNext->getElement())
                    pElement->getChildElements();
            }
            source.findNextEndTag(nPos, ToCi("div"));
            source.getEnclosingElement(nPos);
        }
        source.getElementById("a");
        source.fullSequentialParse();
        source.getChildElements();
    }
    return 0;
}
