// The last word on a rewriter's edits before the host gets them: each insert and delete must land where the
// browser's tokenizer reads the page as the rewriter meant, whoever found its position (the parser, a
// rewriter's own arithmetic, or the host's words).
#pragma once

#include <string>

class CSource;
class CBufferInstructionList;

class CEditCheck
{
public:
    // True when every edit of the list lands between the page's tokens, or, for an attribute edit, at an
    // attribute boundary of a real start tag, or, for a value edit, inside a real tag's attribute value
    // with nothing that would end the value, or, for a script edit, inside a script's text with nothing that
    // would end the script or start a tag. Otherwise false, with the first edit that does not in sReason.
    static bool Check(const CSource& source, const CBufferInstructionList& list, std::string& sReason);
};
