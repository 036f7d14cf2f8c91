// The root of every page rewriter: the operations that add the viewer's scripts and style sheets to a
// page and send OWA's own script references through a caching prefix.
#pragma once

#include "platform/WinTypes.h"

#include <string>

class CSWFormContext;
class CSWFormScriptPath;
class CCachedScriptDecorator;

enum ScriptLinkKind : DWORD
{
    SCRIPT_LINK_SCRIPT = 0,
    SCRIPT_LINK_STYLESHEET = 1,
};

class CSWForm
{
public:
    CSWForm() = default;
    CSWForm(const CSWForm&) = delete;
    CSWForm& operator=(const CSWForm&) = delete;
    virtual ~CSWForm() = default;

    virtual DWORD Execute() = 0;
    // Writes the whole caching prefix in front of the file name inside the src of the first SCRIPT of the
    // HEAD (or, with bInHead clear, of the whole page) that names the file.
    virtual DWORD PrefixLinkedScripts(CSWFormContext* pFormContext, const std::string& sFileName,
                                      const CCachedScriptDecorator* pDecorator, bool bInHead);
    virtual DWORD PrefixLinkedScripts(CSWFormContext* pFormContext, const std::string& sFileName,
                                      bool bInHead);
    virtual DWORD AddExternalScript(CSWFormContext* pFormContext, const std::string& sFileName, DWORD dwKind,
                                    const CSWFormScriptPath& scriptPath, bool bUseCached);
    // Appends a SCRIPT or style-sheet LINK at the end of the HEAD's content.
    virtual DWORD InsertScriptLink(CSWFormContext* pFormContext, const std::string& sScriptPath,
                                   DWORD dwKind);
    // A new decorator from the request's caching prefix, or null; the caller owns it.
    virtual CCachedScriptDecorator* GetCachedScriptManager(CSWFormContext* pFormContext);

private:
    DWORD InsertScriptLinkImpl(CSWFormContext* pFormContext, const std::string& sScriptPath, DWORD dwKind);
};
