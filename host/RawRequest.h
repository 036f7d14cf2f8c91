// A request as the host reads it from a file of raw HTTP: the request line and the headers, the URL
// split into path and query, and the query's parameters. The fuzz target links the host library, so it
// exercises the very same code.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct CRawRequest
{
    std::string m_strMethod;
    std::string m_strURL; // as on the request line: path and query
    std::string m_strVersion;
    std::vector<std::pair<std::string, std::string>> m_vecHeaders; // in order, names as sent
};

namespace RawRequest
{

std::string Trim(const std::string& str);
bool EqualsNoCase(const std::string& a, const std::string& b);
bool StartsWithNoCase(const std::string& str, const std::string& strPrefix);

// Parses the request line and the headers up to the first empty line; anything after it is ignored.
// Lines may end in CRLF or LF; a header line that begins with a blank continues the previous one.
bool Parse(const std::string& strText, CRawRequest& request, std::string& strError);

// Why a server would answer the request with 400 before any filter saw it: a NUL, or a CR or LF that ends
// no line, in the request line or a header. Empty when the request may go on.
std::string RefusalReason(const CRawRequest& request);

std::string PathOf(const std::string& strURL);
std::string QueryOf(const std::string& strURL);

// %XX escapes decoded and '+' taken for a blank, as form-encoded queries have it; a broken escape is kept
// as it stands.
std::string DecodeQueryComponent(const std::string& str);

// The parameters of a query string in order; a part without '=' is a parameter with an empty value, an
// empty part is skipped.
std::vector<std::pair<std::string, std::string>> ParseQuery(const std::string& strQuery);

// The kind of request a host would have recognised from the URL: requests under the viewer's virtual
// folder (22 for a show path, 25 for its GetFile.js, 20 otherwise), direct attachment downloads (5), OWA
// event requests (4), OWA page requests (2); 0 for anything else.
unsigned DeriveSubscriptionType(const std::string& strURL, const std::string& strVirtualFolder);

} // namespace RawRequest
