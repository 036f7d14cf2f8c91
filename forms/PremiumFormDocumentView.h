// The rewriters of OWA Premium's document view: the list of a UNC share's or a SharePoint library's
// documents as first sent, and the list OWA sends back after the user sorted it. Every document gets a view
// (or blocked) cell and the attributes the viewer's context menu reads.
#pragma once

#include "common/CiString.h"
#include "forms/DLFormWithFiles.h"
#include "general/DLSWGeneralSettings.h"

#include <string>

class CDOMElement;
class CDOMStartTag;

// Where a listed document lives.
enum DocumentViewDocumentType : int32_t
{
    DOCUMENT_VIEW_UNC = 0,
    DOCUMENT_VIEW_SHAREPOINT = 1,
};

class CDLPremiumFormDocumentView : public CDLFormWithFiles
{
public:
    CDLPremiumFormDocumentView(CSWFormContext* pFormContext, int bMostDerived);

    DWORD ProcessFileList(const CDOMElement& header, const CDOMElement& list);
    DWORD ProcessFileRowElement(const CDOMElement& row);
    DWORD ProcessDocumentViewDocument(const CDOMStartTag& link, int32_t eType);
    // sFilePath as the page's bytes (its hash is the download's), sFileName as characters in UTF-8.
    DWORD AddDLContextMenuAttributesToFileLinkElement(const CDOMStartTag& link, const std::string& sFilePath,
                                                      const std::string& sFileName,
                                                      const ci_string& csExtension, OWAFileAccessLevel nLevel,
                                                      bool bBlocked, int32_t eType);

    // The view or blocked cell of one document, as it goes after the document's link; the path and the
    // name as characters in UTF-8.
    std::string BuildViewCell(const std::string& sFilePath, const std::string& sFileName, bool bBlocked,
                              int32_t eType) const;
    // A resource text as it may stand in an attribute value or element content of this page.
    std::string PageText(const std::string& sText) const;

protected:
    // The closing lines every Process ends with.
    static void LogProcessEnd(const char* pszClass, const char* pszTemplate, DWORD dwRet);
};

class CDLPremiumFormGETDocumentView : public CDLPremiumFormDocumentView
{
public:
    CDLPremiumFormGETDocumentView(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
    DWORD InsertJavaScriptVariables();
    DWORD InsertDLItemsToContextMenu();
};

class CDLPremiumFormPOSTDocumentViewSort : public CDLPremiumFormDocumentView
{
public:
    CDLPremiumFormPOSTDocumentViewSort(CSWFormContext* pFormContext, int bMostDerived);

    DWORD Process() override;
};

// The log name of a document type: "UNC", "Sharepoint" or "unknown".
const char* DocumentViewDocumentTypeName(int32_t eType);
