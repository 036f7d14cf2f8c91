#include "tests/forms/ProbeForm.h"

#include "contract/BufferInstruction.h"
#include "contract/DLLContext.h"
#include "forms/DLForm.h"
#include "forms/DOMParserException.h"
#include "forms/DOMSource.h"
#include "forms/DOMStartTag.h"
#include "forms/PageEscape.h"
#include "forms/SWFormContext.h"

#include <cstring>
#include <new>
#include <stdexcept>
#include <string>

namespace
{
class CProbeForm : public CDLForm
{
public:
    explicit CProbeForm(CSWFormContext* pFormContext) : CDLForm(pFormContext) {}

    DWORD Process() override
    {
        CDOMSource& dom = *m_pFormContext->m_spDom;
        CBufferInstructionList* pList = m_pFormContext->m_pcobBufferInstructionList;
        const CDOMElement probe = dom.getElementById("probe");
        const std::string sOutcome =
            probe.isEmpty() ? "rewrite" : probe.getAttribute("data-outcome").getValue();
        const std::string sTitle =
            probe.isEmpty() ? std::string() : probe.getAttribute("data-title").getValue();
        const CDOMElement& head = dom.getHead();
        if (sOutcome == "replace")
        {
            static const char s_szResponse[] =
                "HTTP/1.1 302 Object Moved\r\nLocation: /owa/\r\nContent-Length: 0\r\n\r\n";
            CDLLContext* pContext = m_pFormContext->m_pContext;
            pContext->ReplaceBuffer = new char[sizeof(s_szResponse)];
            std::memcpy(pContext->ReplaceBuffer, s_szResponse, sizeof(s_szResponse));
            pContext->ReplaceBufferLength = sizeof(s_szResponse) - 1;
            pContext->ControlMessage = CM_REPLACE;
            return ERROR_SUCCESS;
        }
        if (sOutcome == "empty")
            return ERROR_SUCCESS;
        if (sOutcome == "throw-dom")
            return static_cast<DWORD>(CDOMElement().getBeginPos());
        // Every other outcome starts with a real edit, so that what follows shows whether it is dropped.
        const std::string sScript = "<script language='javascript'>\r\nvar g_szTitle = \"" +
                                    CPageEscape::Utf8().JSString(sTitle) + "\";\r\n</script>";
        const int nRet = head.getStartTag().insertDataAfter(sScript, pList);
        if (nRet != 0)
            return static_cast<DWORD>(nRet);
        if (sOutcome == "error")
            return ERROR_INVALID_DATA;
        if (sOutcome == "throw-runtime")
            throw std::runtime_error("probe failure");
        if (sOutcome == "throw-oom")
            throw static_cast<int32_t>(E_OUTOFMEMORY);
        if (sOutcome == "overlap")
        {
            dom.deleteData(head.getBeginPos(), 4, pList);
            dom.deleteData(head.getBeginPos() + 2, 4, pList);
            return ERROR_SUCCESS;
        }
        if (sOutcome == "inside-value")
        {
            // Markup put where the page's attribute value holds a look-alike end tag.
            dom.insertData(dom.scanForString("</script>", 0, NPOS), "<b>menu</b>", pList);
            return ERROR_SUCCESS;
        }
        if (!probe.isEmpty())
            return static_cast<DWORD>(
                probe.setAttribute("title", CPageEscape::Utf8().HtmlAttribute(sTitle), pList));
        return ERROR_SUCCESS;
    }
};

} // namespace

CDLForm* MakeProbeForm(FormKind /*eKind*/, CSWFormContext* pFormContext)
{
    return new (std::nothrow) CProbeForm(pFormContext);
}

void InstallProbeForms()
{
    CDLFormFactory::SetFormMaker(&MakeProbeForm);
}

void RemoveProbeForms()
{
    CDLFormFactory::SetFormMaker(nullptr);
}
