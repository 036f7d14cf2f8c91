// Where a text that was cut off stops being text of its own: a browser reads everything from the start of
// a construct left open at the end (a tag, an attribute value, a comment, a declaration, or a script or
// other element whose content is raw text, without its end) as part of that construct.
#pragma once

#include "htmlparser/Position.h"

// The start of the construct [nBegin, nEnd) of the text ends inside, read as a browser's tokenizer reads
// it; NPOS when the text ends in plain text.
Position FindOpenConstruct(const char* pText, Position nBegin, Position nEnd);
