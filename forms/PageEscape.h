// Everything a rewriter writes into a page from the request, the page, a file name, a resource text or
// a setting goes through here, so that the value reaches the browser as the value itself after every
// decoding the browser applies at the place it lands in:
// - an HTML attribute value, quoted either way (character references);
// - HTML text between tags (character references);
// - a JavaScript string literal, quoted either way, in a script block or an event-handler attribute
//   (character references, then the script);
// - a JavaScript string literal inside a javascript: URL (character references, percent-decoding, then
//   the script);
// - a URL component.
//
// Values are escaped as characters, never as bytes: a value's bytes are first read in the character set
// of the page they came from (a double-byte set puts quote and backslash bytes inside its characters),
// then every character outside printable ASCII, and every one that means something at that place, is
// written as an escape. The output is plain ASCII: it reads the same in every ASCII-compatible set, so a
// misjudged character set can garble a name but never end its string or its attribute.
#pragma once

#include <memory>
#include <string>
#include <string_view>

struct UConverter;

class CPageEscape
{
public:
    enum class Context
    {
        HtmlAttribute,
        HtmlText,
        ScriptString,
        JavaScriptUrlString,
        UrlComponent,
    };

    // Values in the named character set (an IANA or ICU name; the names browsers read as a wider set,
    // such as "us-ascii" and "iso-8859-1" for windows-1252, are read as the browser reads them). A set ICU
    // does not know reads every byte of 0x80 and above as U+FFFD.
    explicit CPageEscape(const std::string& sCharSet);
    ~CPageEscape();
    CPageEscape(const CPageEscape&) = delete;
    CPageEscape& operator=(const CPageEscape&) = delete;

    // Values in UTF-8: what the worker writes of its own (paths, settings, UTF-8 resource texts). Shared
    // by every thread: it holds no converter.
    static const CPageEscape& Utf8();

    // The value's characters escaped for the context.
    std::string Escape(Context eContext, std::string_view sValue) const;
    // The same for characters already read.
    std::string Escape(Context eContext, const std::u32string& sValue) const;
    // The same for text as it stands in the page's markup: its character references are read first, as
    // the browser reads them, so that the value arrives as the user sees it and never twice encoded.
    std::string EscapeMarkup(Context eContext, std::string_view sMarkup) const;

    std::string HtmlAttribute(std::string_view sValue) const
    {
        return Escape(Context::HtmlAttribute, sValue);
    }
    std::string HtmlText(std::string_view sValue) const { return Escape(Context::HtmlText, sValue); }
    std::string JSString(std::string_view sValue) const { return Escape(Context::ScriptString, sValue); }
    std::string JavaScriptUrlString(std::string_view sValue) const
    {
        return Escape(Context::JavaScriptUrlString, sValue);
    }

    // Percent-encoding of every byte but letters, digits, "-", "_", "." and "~" and the characters of
    // pszKeep (for example "/" for a path piece). A URL carries bytes, not characters: the value's own
    // bytes are what the server gave and what it must get back, and they are the bytes a browser sends
    // for the same characters in the query of a page of that set, so they are encoded as they stand,
    // whatever the set.
    static std::string UrlComponent(std::string_view sValue, const char* pszKeep = "");

    // The characters of the value as the browser reads them in this set: U+FFFD for each sequence that
    // is not a character of it.
    std::u32string Decode(std::string_view sValue) const;
    // Characters back in this set's bytes, each one the set cannot hold as its decimal reference ("&#945;").
    std::string Encode(const std::u32string& sValue) const;

    // The set values are read in, as the browser reads the name it was given.
    const std::string& CharSet() const { return m_sCharSet; }
    bool IsUtf8() const { return m_bUtf8; }
    // Whether a page in this set may be edited: the set is read here, and every ASCII byte of it is that
    // character wherever it stands, so that what the rewriters insert and delete is what the browser reads.
    bool IsEditable() const { return m_bAsciiCompatible; }
    // Whether the set is read through a converter of its own (false for UTF-8 and for sets not read here).
    bool HasConverter() const { return m_pConverter != nullptr; }
    // Whether the set's converter keeps no state between characters and takes one byte at least for each:
    // false for ISO-2022-*, HZ, UTF-7, UTF-16 and their kind.
    bool IsStateless() const { return m_bStateless; }

private:
    struct CloseConverter
    {
        void operator()(UConverter* pConverter) const;
    };

    // Whether a value of ASCII bytes only is those characters, as in UTF-8 and every set a page may be in
    // but the stateful ones.
    bool IsPlainAscii(std::string_view sValue) const;

    // One run of bytes read through the converter, appended to sOut.
    void DecodeRun(std::string_view sValue, std::u32string& sOut) const;
    void DecodeIcuRun(std::string_view sValue, std::u32string& sOut) const;

    std::string m_sCharSet;
    bool m_bUtf8 = true;
    bool m_bAsciiCompatible = true;
    bool m_bBig5 = false;
    bool m_bStateless = true;
    // Null for UTF-8 and for a set ICU does not know. A converter keeps state while it converts: an
    // escaper of another set belongs to the one form (and thread) that made it.
    std::unique_ptr<UConverter, CloseConverter> m_pConverter;
};
