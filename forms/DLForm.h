// The base of every page rewriter: it checks that everything a rewriter touches is there, takes the
// user's language and the page's character set, and turns string-resource ids into the JavaScript
// declarations of the injected script block.
#pragma once

#include "common/CiString.h"
#include "forms/PageEscape.h"
#include "forms/SWForm.h"
#include "platform/WinTypes.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CSWFormContext;
class CDLSWGeneralSettings;
class CDOMSource;
class CDOMElement;

class CDLForm : public CSWForm
{
public:
    explicit CDLForm(CSWFormContext* pFormContext);
    ~CDLForm() override;

    // Nothing in the system calls it.
    DWORD Execute() override;
    // Rewrites the page into the context's buffer list: 0 on success.
    virtual DWORD Process() = 0;

    // One declaration per id, in the list's order: the id's prefix, its localized text as a JavaScript
    // string literal, and the closing quote with ";" and CR LF. False at the first id that has no text or
    // no prefix; the lines before it stay in the output.
    bool Append_InitJSResourceVariables(const std::vector<int>& vecIDs, std::string& sOut);
    static bool ResourceID2String(const std::map<int, ci_string>& mapStrings, int nID, std::string& sOut);

    // "Y" or "N", as the constructors' closing lines print the flag.
    const char* ValidText() const { return m_bIsInstanceValid ? "Y" : "N"; }
    // The resource mode of this page: UTF-8 on a Premium page, the page's character set otherwise.
    int ResourceMode() const;
    // The escaping of values read in the page's character set: the page's own text, the request's values.
    const CPageEscape& PageEscape() const;
    // The escaping of resource texts, which come in the set of ResourceMode.
    const CPageEscape& ResourceEscape() const;

    bool m_bIsInstanceValid = true;
    ci_string m_csLanguage;
    WORD m_wLangID = 0;
    std::string m_sCharSet;
    CSWFormContext* m_pFormContext = nullptr;

    // The page check of the rewriters' constructors: HTML, then BODY, then HEAD must be there; the first
    // that is not clears m_bIsInstanceValid. Runs only while the instance is valid.
    void CheckPageElements(const char* pszClass);
    // The opening and closing lines of the rewriters' constructors.
    static void LogConstructorStart(const char* pszClass, const char* pszStarts);
    void LogConstructorEnd(const char* pszClass, bool bDotAfterReturned) const;
    // Whether a button goes together with its parent: only when the parent is a wrapper inside the body
    // that holds the button and nothing else. A toolbar, a form, a table or the body itself stays, and the
    // button is removed alone, so that its neighbours are kept.
    static bool IsOwnWrapper(const CDOMSource& dom, const CDOMElement& parent, const CDOMElement& button);

protected:
    CDLSWGeneralSettings* m_pGeneralSettings = nullptr;

private:
    // The page's character set as the browser takes it: the response's Content-Type, else the page's own
    // <meta> declaration, else "utf-8".
    std::string PageCharSet(const CSWFormContext& formContext) const;

    std::unique_ptr<CPageEscape> m_pPageEscape;
};
