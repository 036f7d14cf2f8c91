// A response page as the host hands it over (its bytes and the host's record of pointers into them), the
// instructions a rewriter recorded, and the page after the host's applier ran them.
#pragma once

#include "contract/BufferInstruction.h"
#include "contract/DLLContext.h"
#include "host/BufferApplier.h"
#include "htmlparser/TextSearch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class CTestPage
{
public:
    // The HTML, HEAD and BODY words are set from the first "<html", "<head", "</head", "<body" and "</body"
    // when bMarkTags, as the host does.
    explicit CTestPage(std::string strBody, bool bMarkTags = true) : m_strBody(std::move(strBody))
    {
        char* pData = m_strBody.data();
        m_apWords[1] = pData;
        m_apWords[2] = m_strBody.empty() ? nullptr : pData + m_strBody.size() - 1;
        m_apWords[4] = pData;
        if (!bMarkTags)
            return;
        Mark(15, "<html");
        Mark(16, "<head");
        Mark(17, "</head");
        Mark(19, "<body");
        Mark(21, "</body");
    }
    CTestPage(const CTestPage&) = delete;
    CTestPage& operator=(const CTestPage&) = delete;

    char** Words() { return m_apWords; }
    char* Data() { return m_strBody.data(); }
    const std::string& Body() const { return m_strBody; }
    void SetWord(size_t nWord, char* p) { m_apWords[nWord] = p; }
    void Mark(size_t nWord, const char* pszTag)
    {
        const Position nPos = FindStringNoCase(m_strBody.data(), pszTag, 0, m_strBody.size());
        m_apWords[nWord] = nPos == NPOS ? nullptr : m_strBody.data() + nPos;
    }

    // The page after the host's applier ran the list; the applier's refusal fails the test.
    std::string Applied(const CBufferInstructionList& list) const
    {
        std::string strBody = m_strBody;
        std::string strError;
        EXPECT_EQ(ApplyBufferInstructions(list, m_strBody.data(), strBody, strError), 0u) << strError;
        return strBody;
    }

    // One line per instruction: "insert 12 text" or "delete 12 5", offsets counted from the data.
    std::vector<std::string> Listed(const CBufferInstructionList& list) const
    {
        std::vector<std::string> vecLines;
        const auto uBase = reinterpret_cast<uintptr_t>(m_strBody.data());
        for (auto* pNode = list.Sentinel()->m_pNext; pNode != list.Sentinel(); pNode = pNode->m_pNext)
        {
            const CBufferInstruction* p = pNode->m_spInstruction.Get();
            const auto nOffset = static_cast<long long>(p->m_ullPosition - uBase);
            if (p->m_dwKind == BI_INSERT)
                vecLines.push_back("insert " + std::to_string(nOffset) + " " + p->m_pszText);
            else
                vecLines.push_back("delete " + std::to_string(nOffset) + " " + std::to_string(p->m_dwLength));
        }
        return vecLines;
    }

private:
    std::string m_strBody;
    char* m_apWords[COMMON_POINTER_WORDS] = {};
};

#include "common/SharedConstants.h"
#include "common/StaticMemory.h"
#include "contract/RequestInfo.h"
#include "forms/SWFormContext.h"
#include "general/DLSWGeneralSettings.h"
#include "platform/WinFile.h"
#include "request/DLSWContext.h"

#include <memory>

// The general settings as the rewriters find them after the worker started: the tests' resource library
// loaded and the JavaScript prefixes in place.
inline CDLSWGeneralSettings& GeneralSettingsWithResources()
{
    CDLSWGeneralSettings& settings = *Mem_Manager::Static_memory<CDLSWGeneralSettings>::Instance();
    static const bool s_bLoaded = [&]
    {
        const bool bLoaded = settings.m_Resource.LoadModule(
            MapPosixPathToWindows(std::string(DLSW_FORMS_MODULES) + "/FormsRes64.dll"));
        settings.m_PageCharSet.Init();
        for (const JSStringDeclaration& row : g_JSStringDeclarations)
            settings.m_mapJSVariables.emplace(row.m_nResourceId, row.m_sPrefix);
        return bLoaded;
    }();
    EXPECT_TRUE(s_bLoaded);
    return settings;
}

// A response as the send-raw-data handler sees it: the page, the host's record with everything a form
// needs (call-back table, request information, URL record, response context, the worker's per-request
// context) and the form context over them.
struct CFormRecord
{
    explicit CFormRecord(const std::string& strPage, const char* pszLanguage = "en") : m_page(strPage)
    {
        m_context.NotificationType = 0x400;
        m_context.CoreServices = &m_coreServices;
        m_context.m_spOutboundContext = CCountedPtr<COutboundContext>(new COutboundContext{});
        m_context.m_spOutboundContext->HttpStatus = 200;
        m_context.m_spOutboundContext->m_pCommonPointers = m_page.Words();
        m_context.m_spRequestInfo = CCountedPtr<CRequestInfo>(new CRequestInfo());
        m_context.m_spExchangeURL = CCountedPtr<CExchangeURL>(new CExchangeURL());
        m_ownContext.m_strLanguage = pszLanguage;
        m_context.m_pMyOwnContext = &m_ownContext;
    }
    CFormRecord(const CFormRecord&) = delete;
    CFormRecord& operator=(const CFormRecord&) = delete;
    ~CFormRecord() { m_context.m_pMyOwnContext = nullptr; }

    // The page's character-set declaration, as the host points at it.
    void DeclareCharSet(const std::string& strText)
    {
        m_strCharSet = strText;
        m_page.SetWord(3, m_strCharSet.data());
        m_page.SetWord(5, reinterpret_cast<char*>(static_cast<uintptr_t>(m_strCharSet.size())));
    }
    CSWFormContext& FormContext()
    {
        if (!m_spFormContext)
            m_spFormContext = std::make_unique<CSWFormContext>(&m_context, &m_list);
        return *m_spFormContext;
    }

    CTestPage m_page;
    std::string m_strCharSet;
    CCoreServicesTable m_coreServices{};
    CDLSWContext m_ownContext;
    CDLLContext m_context{};
    CBufferInstructionList m_list;
    std::unique_ptr<CSWFormContext> m_spFormContext;
};
