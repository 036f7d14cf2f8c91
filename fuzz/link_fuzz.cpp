// Feeds arbitrary links to the reading of where a link leads and to the force-save redirect's check. The
// input's first line is the request's Host header, the rest the link. Whatever they hold: a host read
// from a link or a Host header is its own serialised form (read again, it reads the same), holds nothing
// a host may not, and the redirect accepts a link that names a server only when it names the Host's.
#include "forms/DocumentViewForceSaveErrorForm.h"
#include "forms/WebLinkHost.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

namespace
{
void Check(bool bHolds)
{
    if (!bHolds)
        __builtin_trap();
}

void CheckSerialised(const std::string& sHost)
{
    Check(!sHost.empty());
    const bool bIPv6 = sHost.front() == '[';
    for (char c : sHost)
    {
        const auto b = static_cast<unsigned char>(c);
        Check(b > 0x20 && b < 0x7F && std::strchr("#%/<>?@\\^|", c) == nullptr);
        Check(bIPv6 || std::strchr(":[]", c) == nullptr);
    }
    std::string sAgain;
    Check(CWebLinkHost::ReadHost(sHost, sAgain));
    Check(sAgain == sHost);
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string sInput(reinterpret_cast<const char*>(pData), nSize);
    const size_t nLine = sInput.find('\n');
    const std::string sOwnHost = nLine == std::string::npos ? std::string() : sInput.substr(0, nLine);
    const std::string sLink = nLine == std::string::npos ? sInput : sInput.substr(nLine + 1);

    std::string sOwnName;
    const bool bOwnHost = CWebLinkHost::ReadHostAndPort(sOwnHost, sOwnName);
    if (bOwnHost)
        CheckSerialised(sOwnName);

    std::string sHost;
    if (CWebLinkHost::Read(sLink, sHost) == CWebLinkHost::EKind::Host)
        CheckSerialised(sHost);
    else
        Check(sHost.empty());

    // What the redirect sends is what it judged: an accepted link that names a server names this one.
    if (CDLDocumentViewForceSaveErrorForm::RefusedLink(sLink, sOwnHost) == nullptr)
    {
        std::string sSent;
        const CWebLinkHost::EKind eKind =
            CWebLinkHost::Read(CDLDocumentViewForceSaveErrorForm::LocationText(sLink), sSent);
        Check(eKind == CWebLinkHost::EKind::OwnServer ||
              (eKind == CWebLinkHost::EKind::Host && bOwnHost && sSent == sOwnName));
    }
    return 0;
}
