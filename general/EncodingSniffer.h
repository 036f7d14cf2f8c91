// The character set a browser reads a page in, found the way browsers find it: the page's byte-order mark,
// then the charset parameter of the response's Content-Type, then a <meta> declaration among the page's
// first 1024 bytes, then UTF-8, OWA's own default. A name that is no label of a known encoding counts as no
// declaration at all, as browsers skip it.
#pragma once

#include "general/EncodingLabels.h"

#include <string>
#include <string_view>

class CEncodingSniffer
{
public:
    enum class Source
    {
        ByteOrderMark,
        ContentType,
        Meta,
        Default,
    };

    // How many of the page's first bytes the <meta> prescan reads.
    static constexpr size_t PRESCAN_LENGTH = 1024;

    // What reads the character references of a <meta>'s attribute values (text in, text out), or null to
    // read them as written.
    using PFN_DECODE_REFERENCES = std::string (*)(const std::string& sValue);

    // The page's encoding and where it was found.
    static const CEncoding& Sniff(std::string_view svPage, std::string_view svContentType, Source& eSource,
                                  PFN_DECODE_REFERENCES pfnDecodeReferences = nullptr);

    // Each step alone; null when the step finds nothing.
    static const CEncoding* FromByteOrderMark(std::string_view svPage);
    // A Content-Type header's value (or the header with its name), read as a MIME type: the first
    // "charset" parameter, quoted or not, decides.
    static const CEncoding* FromContentType(std::string_view svContentType);
    // The charset parameter's value as the header gives it, before any label lookup; false when the header
    // has none.
    static bool ContentTypeCharSet(std::string_view svContentType, std::string& sValue);
    // The <meta charset> or <meta http-equiv=Content-Type content=...> of the page's first bytes.
    static const CEncoding* Prescan(std::string_view svPage,
                                    PFN_DECODE_REFERENCES pfnDecodeReferences = nullptr);
    // The encoding a meta element's content attribute names ("text/html; charset=shift_jis").
    static const CEncoding* FromMetaContent(std::string_view svContent);

    static const char* SourceName(Source eSource);
};
