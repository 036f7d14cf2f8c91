#include "forms/DOMParserException.h"

#include "common/SharedConstants.h"

CDOMParserUndefinedObjectException::CDOMParserUndefinedObjectException(const std::string& sText)
    : CDOMParserException(g_sDOMUndefinedObject + "[" + sText + "]", -1)
{
}

CDOMParserIllegalArgumentException::CDOMParserIllegalArgumentException(const std::string& sText,
                                                                       Position nPos)
    : CDOMParserException(g_sDOMIllegalArgument + "[" + sText + "]", static_cast<int64_t>(nPos))
{
}
