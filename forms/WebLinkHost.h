// The server a browser goes to when it follows a link from a page of an http or https server. The link
// is read by the rules browsers share for those schemes, which are looser than the text of a link
// suggests: tabs and line breaks vanish, a backslash is a slash, the user name runs up to the last "@",
// and the host is percent-decoded, mapped and lower-cased before it is compared.
#pragma once

#include <string>
#include <string_view>

class CWebLinkHost
{
public:
    enum class EKind
    {
        // A path, query or fragment: the browser stays on the server of the page.
        OwnServer,
        // The link names a server: the host is given, serialised as a browser serialises it.
        Host,
        // A scheme other than http or https.
        NotWeb,
        // The browser could not follow it, or names no host a browser would accept.
        Unreadable,
    };

    // How the link is followed from a page of a web server. Where the page's own scheme would decide
    // whether "http:name/..." is a path or a server, the link is read as naming the server "name".
    static EKind Read(std::string_view svLink, std::string& sHost);

    // The host of a "host[:port]" text (a request's Host header), serialised; false when a browser
    // would not take it as a host, or the port is not one.
    static bool ReadHostAndPort(std::string_view svHostAndPort, std::string& sHost);

    // A host as a browser reads it for a web scheme: an IPv6 literal in brackets, an IPv4 address in
    // any of its number forms, or a domain percent-decoded and mapped to ASCII (IDNA, UTS 46). The
    // result is the host's serialised form; false when the text is no host.
    static bool ReadHost(std::string_view svHost, std::string& sHost);
};
