#include "htmlparser/OpenConstruct.h"

#include "contract/TokenScan.h"

Position FindOpenConstruct(const char* pText, Position nBegin, Position nEnd)
{
    if (pText == nullptr || nBegin >= nEnd)
        return NPOS;
    // The same forward pass the parser's searches and the edit checks read the page with.
    CTokenScan scan;
    scan.Scan(pText, nBegin, nEnd);
    return scan.GetOpenConstructBegin();
}
