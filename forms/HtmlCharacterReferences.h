// Attribute values as a browser reads them: the page's character references decoded, so that a path or a
// link taken from an attribute is the text the user's browser sees, not its markup.
#pragma once

#include <string>

// Decodes "&amp;", "&lt;", "&gt;", "&quot;", "&apos;", "&nbsp;" and decimal and hexadecimal references (with
// or without their ";"); a numeric reference to NUL, a surrogate or beyond U+10FFFF becomes U+FFFD; any
// other "&" stays as it is. Numeric references become UTF-8.
std::string DecodeHtmlCharacterReferences(const std::string& sText);
