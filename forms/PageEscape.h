// Everything a rewriter writes into a page from the request, the page, a file name, a resource text or
// a setting goes through one of these, so that the value stays one token of the place it lands in:
// - a JavaScript string literal, quoted either way, inside a script block or an event-handler attribute;
// - an HTML attribute value, quoted either way;
// - a URL query component (or, keeping "/", a path piece).
// Outputs of the first and third kinds hold no quote, angle bracket, ampersand or line break, so they
// are safe in all three places at once.
#pragma once

#include <string>

class CPageEscape
{
public:
    // How bytes of 0x80 and above are read. A UTF-8 page gets every sequence that is not well-formed
    // UTF-8 replaced by U+FFFD; a page in another character set keeps its bytes as they are.
    enum class Encoding
    {
        Utf8,
        Bytes,
    };

    // Backslash escapes for every quote, backslash, angle bracket, ampersand, control character, and
    // U+2028/U+2029 (line ends to a script); the rest stays as it is.
    static std::string JSString(const std::string& sValue, Encoding eEncoding = Encoding::Utf8);
    // Character references for the ampersand, both quotes, the angle brackets, CR and LF; NUL becomes
    // U+FFFD (or is dropped on a page of another character set).
    static std::string HtmlAttribute(const std::string& sValue, Encoding eEncoding = Encoding::Utf8);
    // Percent-encoding of every byte but letters, digits, "-", "_", "." and "~" and the characters of
    // pszKeep (for example "/" for a path piece).
    static std::string UrlComponent(const std::string& sValue, const char* pszKeep = "");

    // The encoding a page of that character set is escaped in.
    static Encoding EncodingOf(const std::string& sCharSet);

    // The length of the well-formed UTF-8 sequence at nPos, or 0 when the bytes there are not one.
    static size_t Utf8SequenceLength(const std::string& sText, size_t nPos);
};
