// Markup-like text put into an attribute value, a comment or a raw-text element of a sample page, near the
// places the rewriters edit, and the page sent through the loaded worker and the host. Whatever the worker
// edits, the rewritten page must read as the original with the worker's markup added: every token the
// browser's tokenizer starts in the original still starts one in the rewrite, no '<' of the original that
// starts none starts one there (the page's own text and attributes never turn into markup), and each insert
// that begins with markup begins a token. The tokenizer's forward scan is the judge.
//
// Input: byte 0 picks the page, byte 1 how the text is wrapped, byte 2 the token it goes in front of; the
// rest is the text.
#include "contract/BufferInstruction.h"
#include "contract/TokenScan.h"
#include "host/HostFilter.h"
#include "host/RawRequest.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace
{
struct SPage
{
    const char* pszPage;
    const char* pszRequestFile;
};
const SPage kPages[] = {
    {"basic-read-item.html", "19-basic-read-page.http"},
    {"premium-read-item.html", "15-premium-read-page.http"},
    {"premium-read-item-hostile-names.html", "15-premium-read-page.http"},
    {"basic-edit-item.html", "20-basic-edit-page.http"},
    {"premium-edit-item.html", "16-premium-edit-page.http"},
    {"premium-document-view.html", "21-premium-document-view.http"},
    {"premium-attach-file-dialog.html", "17-premium-attach-file-dialog.http"},
};
constexpr size_t PAGE_COUNT = sizeof(kPages) / sizeof(kPages[0]);

CHostFilter* g_pHost = nullptr;
CRawRequest g_aRequests[PAGE_COUNT];
std::string g_astrPages[PAGE_COUNT];

std::string ReadFile(const std::string& strPath)
{
    std::ifstream in(strPath, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void Load()
{
    g_pHost = new CHostFilter();
    std::string strError;
    HTTP_FILTER_VERSION version{};
    if (!g_pHost->Load(DLSW_INSTALL_TREE "/bin/DL_ServiceWorker.so", strError) ||
        !g_pHost->GetFilterVersion(version))
    {
        std::fprintf(stderr, "edit_place_fuzz: the worker did not start: %s\n", strError.c_str());
        std::abort();
    }
    for (size_t i = 0; i < PAGE_COUNT; ++i)
    {
        g_astrPages[i] = ReadFile(std::string(DLSW_SOURCE_DIR "/samples/pages/") + kPages[i].pszPage);
        const std::string strRequest =
            ReadFile(std::string(DLSW_SOURCE_DIR "/samples/requests/") + kPages[i].pszRequestFile);
        if (g_astrPages[i].empty() || !RawRequest::Parse(strRequest, g_aRequests[i], strError))
        {
            std::fprintf(stderr, "edit_place_fuzz: %s: %s\n", kPages[i].pszPage, strError.c_str());
            std::abort();
        }
    }
}

// The text wrapped so that it stays inside one construct of the kind bKind picks, as a mail's sender could
// write it.
std::string Wrap(uint8_t bKind, std::string strText)
{
    const auto Drop = [&](const char* pszChars)
    {
        strText.erase(std::remove_if(strText.begin(), strText.end(),
                                     [&](char c) { return std::strchr(pszChars, c) != nullptr && c != 0; }),
                      strText.end());
    };
    const auto Break = [&](const std::string& strEnd)
    {
        for (size_t n = strText.find(strEnd); n != std::string::npos; n = strText.find(strEnd, n))
            strText.erase(n, 1);
    };
    switch (bKind % 11)
    {
    case 0:
        Drop("\"");
        return "<a href=\"http://example.org/\" title=\"" + strText + "\">this</a>";
    case 1:
        Drop("'");
        return "<img alt='" + strText + "' src=x>";
    case 2:
        Drop(" \t\n\r\f>\"'");
        return "<span title=" + strText + ">x</span>";
    case 3:
        Break("-->");
        Break("--!>");
        Break("<!--");
        return "<!--" + strText + "-->";
    case 4:
        Break("</script");
        Break("<!--");
        return "<script>" + strText + "</script>";
    case 5:
        Break("</title");
        return "<title>" + strText + "</title>";
    case 6:
        Break("</textarea");
        return "<textarea>" + strText + "</textarea>";
    case 7:
        Break("</style");
        return "<style>" + strText + "</style>";
    case 8:
        Break("]]>");
        return "<svg><![CDATA[" + strText + "]]></svg>";
    case 9:
        Break("</script");
        Break("-->");
        return "<script>var s=\"<!--<script>\";</script>" + strText + "--></script>";
    default:
        Drop("\"");
        return "<a id=\"lnkAtmt\" href=\"#\" title=\"" + strText + "\">x</a>";
    }
}

[[noreturn]] void Fail(const char* pszWhat, size_t nPos, const CHostResult& result,
                       const std::string& strPage)
{
    std::fprintf(stderr, "edit_place_fuzz: %s at %zu\n", pszWhat, nPos);
    for (const CHostInstruction& instruction : result.m_vecInstructions)
        std::fprintf(stderr, "  %s at %lld: %s %u\n", instruction.m_dwKind == BI_INSERT ? "insert" : "delete",
                     instruction.m_llPosition, instruction.m_strText.c_str(),
                     static_cast<unsigned>(instruction.m_dwLength));
    std::fprintf(stderr, "page:\n%s\n", strPage.c_str());
    std::abort();
}

// Applies the list as the host does, and checks the rewrite against the original with the scan.
void CheckEdits(const std::string& strPage, const CHostResult& result)
{
    const size_t nNone = ~static_cast<size_t>(0);
    std::vector<size_t> vecMoved(strPage.size() + 1, nNone);
    std::vector<size_t> vecInsertStarts;
    std::string strNew;
    size_t nCursor = 0;
    const auto CopyTo = [&](size_t nTo)
    {
        for (; nCursor < nTo && nCursor < strPage.size(); ++nCursor)
        {
            vecMoved[nCursor] = strNew.size();
            strNew += strPage[nCursor];
        }
    };
    for (const CHostInstruction& instruction : result.m_vecInstructions)
    {
        if (instruction.m_llPosition < 0 || static_cast<size_t>(instruction.m_llPosition) > strPage.size())
            Fail("an edit outside the page", 0, result, strPage);
        const auto nPos = static_cast<size_t>(instruction.m_llPosition);
        if (nPos < nCursor)
            continue; // inside what an earlier delete took; the host refuses such a list anyway
        CopyTo(nPos);
        if (instruction.m_dwKind == BI_INSERT)
        {
            if (!instruction.m_strText.empty() && instruction.m_strText[0] == '<')
                vecInsertStarts.push_back(strNew.size());
            strNew += instruction.m_strText;
        }
        else
            nCursor = std::min(strPage.size(), nPos + instruction.m_dwLength);
    }
    CopyTo(strPage.size());
    CTokenScan original;
    original.Scan(strPage.data(), 0, strPage.size());
    CTokenScan rewritten;
    rewritten.Scan(strNew.data(), 0, strNew.size());
    for (size_t n = 0; n < strPage.size(); ++n)
    {
        if (strPage[n] != '<' || vecMoved[n] == nNone)
            continue;
        if (original.IsTokenStart(n) != rewritten.IsTokenStart(vecMoved[n]))
            Fail(original.IsTokenStart(n) ? "a token of the page is no longer one"
                                          : "the page's own text became markup",
                 n, result, strPage);
    }
    for (const size_t nStart : vecInsertStarts)
    {
        if (!rewritten.IsTokenStart(nStart))
            Fail("the worker's markup became text", nStart, result, strPage);
    }
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Load();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    if (nSize < 3)
        return 0;
    const size_t nPage = pData[0] % PAGE_COUNT;
    const std::string& strSample = g_astrPages[nPage];
    const std::string strText(reinterpret_cast<const char*>(pData) + 3, nSize - 3);
    // In front of a token of the sample page, picked among all of them: the body's end, the attachment
    // area, the links and the head all come up.
    CTokenScan scan;
    scan.Scan(strSample.data(), 0, strSample.size());
    std::vector<size_t> vecTokens;
    for (uint64_t n = scan.NextTokenStart(0); n != CTokenScan::NONE; n = scan.NextTokenStart(n + 1))
        vecTokens.push_back(static_cast<size_t>(n));
    const size_t nAt = vecTokens.empty() ? 0 : vecTokens[pData[2] * vecTokens.size() / 256];
    std::string strPage = strSample.substr(0, nAt) + Wrap(pData[1], strText) + strSample.substr(nAt);

    CHostRequest request;
    request.m_raw = g_aRequests[nPage];
    request.m_strUser = "EXAMPLE\\alice";
    request.m_vecResponseHeaders = {{"Content-Type", "text/html; charset=utf-8"}};
    request.m_strResponseBody = strPage;
    const CHostResult result = g_pHost->Process(request);
    if (!result.m_bInstructionsSubmitted || result.m_dwSubmitResult != 0)
        return 0;
    CheckEdits(strPage, result);
    return 0;
}
