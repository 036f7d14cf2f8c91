// OWA's error page for a document that must be saved, after the worker handled its download from the
// document view: the page is replaced by a redirect to the link it offers, with the file-id hash added so
// that the download passes the worker's check.
#pragma once

#include "forms/DLForm.h"

#include <string>

class CDLDocumentViewForceSaveErrorForm : public CDLForm
{
public:
    explicit CDLDocumentViewForceSaveErrorForm(CSWFormContext* pFormContext);

    DWORD Process() override;

    // The hash of the link's "URL" parameter, unescaped; false when the link has none or it is empty.
    bool GetFileIDHashValue(const std::string& sHref, std::string& sHash);
    // A complete "302 Object Moved" response to the URL, allocated as an array into the record's buffer.
    bool CreateReplaceBufferForRedirectResponse(const std::string& sURL, char** ppBuffer, DWORD* pdwLength);

    // Why a redirect to the URL cannot be sent to the browser; null when it can. The URL is judged as
    // the browser reads the Location it becomes: a link that names a server must name the request's
    // own host (the Host header's, the port aside).
    static const char* RefusedLink(const std::string& sURL, const std::string& sOwnHost);
    // The link as the redirect's target: a relative link joined to the base path with one "/", a
    // root-relative or absolute web link as it is.
    static std::string JoinBasePath(const std::string& sBasePath, const std::string& sLink);
    // The URL with every byte a header value may not carry percent-encoded.
    static std::string LocationText(const std::string& sURL);
};
