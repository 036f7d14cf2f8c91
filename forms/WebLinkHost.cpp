#include "forms/WebLinkHost.h"

#include "common/StringHelpers.h"

#include <unicode/uidna.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

namespace
{
bool IsAsciiAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool IsAsciiDigit(char c)
{
    return c >= '0' && c <= '9';
}

char AsciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// A slash for every web scheme: browsers read a backslash as one.
bool IsSlash(char c)
{
    return c == '/' || c == '\\';
}

// What no domain may hold once it is decoded and mapped; a host holding one is refused, not cut.
bool IsForbiddenDomainByte(unsigned char b)
{
    return b <= 0x20 || b == 0x7F || std::strchr("#%/:<>?@[\\]^|", b) != nullptr;
}

std::string PercentDecode(std::string_view sv)
{
    std::string sOut;
    sOut.reserve(sv.size());
    for (size_t n = 0; n < sv.size(); ++n)
    {
        if (sv[n] == '%' && n + 2 < sv.size() && HexDigitValue(sv[n + 1]) >= 0 &&
            HexDigitValue(sv[n + 2]) >= 0)
        {
            sOut += static_cast<char>(HexDigitValue(sv[n + 1]) * 16 + HexDigitValue(sv[n + 2]));
            n += 2;
        }
        else
            sOut += sv[n];
    }
    return sOut;
}

// One part of an IPv4 address: decimal, "0x" hexadecimal or "0" octal, as browsers read it. Values
// past 2^32 are held at 2^32, which no address part may reach.
std::optional<uint64_t> IPv4Number(std::string_view sv)
{
    if (sv.empty())
        return std::nullopt;
    unsigned nRadix = 10;
    if (sv.size() >= 2 && sv[0] == '0' && (sv[1] == 'x' || sv[1] == 'X'))
    {
        sv.remove_prefix(2);
        nRadix = 16;
    }
    else if (sv.size() >= 2 && sv[0] == '0')
    {
        sv.remove_prefix(1);
        nRadix = 8;
    }
    uint64_t nValue = 0;
    constexpr uint64_t LIMIT = uint64_t{1} << 32;
    for (char c : sv)
    {
        const int nDigit = HexDigitValue(c);
        if (nDigit < 0 || static_cast<unsigned>(nDigit) >= nRadix)
            return std::nullopt;
        nValue = nValue * nRadix + static_cast<unsigned>(nDigit);
        if (nValue > LIMIT)
            nValue = LIMIT;
    }
    return nValue;
}

std::vector<std::string_view> SplitOnDots(std::string_view sv)
{
    std::vector<std::string_view> vecParts;
    for (;;)
    {
        const size_t nDot = sv.find('.');
        vecParts.push_back(sv.substr(0, nDot));
        if (nDot == std::string_view::npos)
            return vecParts;
        sv.remove_prefix(nDot + 1);
    }
}

// A domain whose last label is a number is an IPv4 address, or no host at all.
bool EndsInANumber(std::string_view svDomain)
{
    std::vector<std::string_view> vecParts = SplitOnDots(svDomain);
    if (vecParts.back().empty())
    {
        if (vecParts.size() == 1)
            return false;
        vecParts.pop_back();
    }
    const std::string_view svLast = vecParts.back();
    if (!svLast.empty() && svLast.find_first_not_of("0123456789") == std::string_view::npos)
        return true;
    return IPv4Number(svLast).has_value();
}

bool ReadIPv4(std::string_view svDomain, std::string& sHost)
{
    std::vector<std::string_view> vecParts = SplitOnDots(svDomain);
    if (vecParts.back().empty() && vecParts.size() > 1)
        vecParts.pop_back();
    if (vecParts.size() > 4)
        return false;
    std::vector<uint64_t> vecNumbers;
    for (std::string_view svPart : vecParts)
    {
        const std::optional<uint64_t> nNumber = IPv4Number(svPart);
        if (!nNumber)
            return false;
        vecNumbers.push_back(*nNumber);
    }
    for (size_t n = 0; n + 1 < vecNumbers.size(); ++n)
    {
        if (vecNumbers[n] > 255)
            return false;
    }
    uint64_t nAddress = vecNumbers.back();
    if (nAddress >= uint64_t{1} << (8 * (5 - vecNumbers.size())))
        return false;
    for (size_t n = 0; n + 1 < vecNumbers.size(); ++n)
        nAddress += vecNumbers[n] << (8 * (3 - n));
    sHost = std::to_string(nAddress >> 24) + "." + std::to_string((nAddress >> 16) & 0xFF) + "." +
            std::to_string((nAddress >> 8) & 0xFF) + "." + std::to_string(nAddress & 0xFF);
    return true;
}

// The address inside "[...]": eight pieces, "::" once, an IPv4 tail in dotted decimal only.
bool ReadIPv6(std::string_view sv, std::array<uint16_t, 8>& address)
{
    address.fill(0);
    size_t nPiece = 0;
    std::optional<size_t> nCompress;
    size_t n = 0;
    const auto At = [&](size_t i) { return i < sv.size() ? sv[i] : '\0'; };
    if (At(n) == ':')
    {
        if (At(n + 1) != ':')
            return false;
        n += 2;
        nCompress = ++nPiece;
    }
    while (n < sv.size())
    {
        if (nPiece == 8)
            return false;
        if (sv[n] == ':')
        {
            if (nCompress)
                return false;
            ++n;
            nCompress = ++nPiece;
            continue;
        }
        unsigned nValue = 0;
        size_t nLength = 0;
        while (nLength < 4 && n < sv.size() && HexDigitValue(sv[n]) >= 0)
        {
            nValue = nValue * 16 + static_cast<unsigned>(HexDigitValue(sv[n]));
            ++n;
            ++nLength;
        }
        if (At(n) == '.')
        {
            if (nLength == 0 || nPiece > 6)
                return false;
            n -= nLength;
            unsigned nNumbersSeen = 0;
            while (n < sv.size())
            {
                if (nNumbersSeen > 0)
                {
                    if (sv[n] != '.' || nNumbersSeen >= 4)
                        return false;
                    ++n;
                }
                if (!IsAsciiDigit(At(n)))
                    return false;
                std::optional<unsigned> nPart;
                while (IsAsciiDigit(At(n)))
                {
                    const unsigned nDigit = static_cast<unsigned>(sv[n] - '0');
                    if (!nPart)
                        nPart = nDigit;
                    else if (*nPart == 0)
                        return false;
                    else
                        nPart = *nPart * 10 + nDigit;
                    if (*nPart > 255)
                        return false;
                    ++n;
                }
                address[nPiece] = static_cast<uint16_t>(address[nPiece] * 0x100 + *nPart);
                ++nNumbersSeen;
                if (nNumbersSeen == 2 || nNumbersSeen == 4)
                    ++nPiece;
            }
            if (nNumbersSeen != 4)
                return false;
            break;
        }
        if (At(n) == ':')
        {
            ++n;
            if (n == sv.size())
                return false;
        }
        else if (n < sv.size())
            return false;
        address[nPiece++] = static_cast<uint16_t>(nValue);
    }
    if (nCompress)
    {
        size_t nSwaps = nPiece - *nCompress;
        nPiece = 7;
        while (nPiece != 0 && nSwaps > 0)
        {
            std::swap(address[nPiece], address[*nCompress + nSwaps - 1]);
            --nPiece;
            --nSwaps;
        }
    }
    else if (nPiece != 8)
        return false;
    return true;
}

// "[2001:db8::1]": the first longest run of two or more zero pieces written as "::", lower-case hex.
std::string SerialiseIPv6(const std::array<uint16_t, 8>& address)
{
    std::optional<size_t> nCompress;
    size_t nLongest = 1;
    for (size_t n = 0; n < 8;)
    {
        size_t nRun = 0;
        while (n + nRun < 8 && address[n + nRun] == 0)
            ++nRun;
        if (nRun > nLongest)
        {
            nLongest = nRun;
            nCompress = n;
        }
        n += nRun == 0 ? 1 : nRun;
    }
    static const char* const s_pszHex = "0123456789abcdef";
    std::string sOut = "[";
    for (size_t n = 0; n < 8; ++n)
    {
        if (nCompress && n == *nCompress)
        {
            sOut += n == 0 ? "::" : ":";
            n += nLongest - 1;
            continue;
        }
        bool bDigits = false;
        for (int nShift = 12; nShift >= 0; nShift -= 4)
        {
            const unsigned nDigit = (address[n] >> nShift) & 0xF;
            if (nDigit != 0 || bDigits || nShift == 0)
            {
                sOut += s_pszHex[nDigit];
                bDigits = true;
            }
        }
        if (n != 7)
            sOut += ':';
    }
    sOut += ']';
    return sOut;
}

// The browsers' IDNA: UTS 46 without the transitional mappings and without the checks of DNS's own
// rules (hyphens, lengths, STD3 letters), which browsers leave to the name server.
bool DomainToAscii(const std::string& sDomain, std::string& sAscii)
{
    bool bPlain = true;
    for (char c : sDomain)
        bPlain = bPlain && static_cast<unsigned char>(c) < 0x80;
    if (bPlain)
    {
        bool bAce = false;
        for (std::string_view svLabel : SplitOnDots(sDomain))
            bAce = bAce || (svLabel.size() >= 4 && AsciiLower(svLabel[0]) == 'x' &&
                            AsciiLower(svLabel[1]) == 'n' && svLabel[2] == '-' && svLabel[3] == '-');
        if (!bAce)
        {
            sAscii.clear();
            for (char c : sDomain)
                sAscii += AsciiLower(c);
            return true;
        }
    }
    // One converter for the process, closed when the worker is unloaded.
    static const std::unique_ptr<UIDNA, decltype(&uidna_close)> s_spIdna = []
    {
        UErrorCode nError = U_ZERO_ERROR;
        UIDNA* pIdna = uidna_openUTS46(
            UIDNA_CHECK_BIDI | UIDNA_CHECK_CONTEXTJ | UIDNA_NONTRANSITIONAL_TO_ASCII, &nError);
        if (U_FAILURE(nError) && pIdna != nullptr)
        {
            uidna_close(pIdna);
            pIdna = nullptr;
        }
        return std::unique_ptr<UIDNA, decltype(&uidna_close)>(pIdna, &uidna_close);
    }();
    const UIDNA* const pIdna = s_spIdna.get();
    if (pIdna == nullptr || sDomain.size() > INT32_MAX / 4)
        return false;
    constexpr uint32_t IGNORED = UIDNA_ERROR_EMPTY_LABEL | UIDNA_ERROR_LABEL_TOO_LONG |
                                 UIDNA_ERROR_DOMAIN_NAME_TOO_LONG | UIDNA_ERROR_LEADING_HYPHEN |
                                 UIDNA_ERROR_TRAILING_HYPHEN | UIDNA_ERROR_HYPHEN_3_4;
    sAscii.assign(sDomain.size() * 4 + 64, '\0');
    for (int nTry = 0; nTry < 2; ++nTry)
    {
        UErrorCode nError = U_ZERO_ERROR;
        UIDNAInfo info = UIDNA_INFO_INITIALIZER;
        const int32_t nLength =
            uidna_nameToASCII_UTF8(pIdna, sDomain.data(), static_cast<int32_t>(sDomain.size()), sAscii.data(),
                                   static_cast<int32_t>(sAscii.size()), &info, &nError);
        if (nError == U_BUFFER_OVERFLOW_ERROR && nTry == 0)
        {
            sAscii.assign(static_cast<size_t>(nLength), '\0');
            continue;
        }
        if (U_FAILURE(nError) || (info.errors & ~IGNORED) != 0)
            return false;
        sAscii.resize(static_cast<size_t>(nLength));
        return true;
    }
    return false;
}
} // namespace

bool CWebLinkHost::ReadHost(std::string_view svHost, std::string& sHost)
{
    sHost.clear();
    if (svHost.empty())
        return false;
    if (svHost[0] == '[')
    {
        if (svHost.size() < 2 || svHost.back() != ']')
            return false;
        std::array<uint16_t, 8> address{};
        if (!ReadIPv6(svHost.substr(1, svHost.size() - 2), address))
            return false;
        sHost = SerialiseIPv6(address);
        return true;
    }
    std::string sAscii;
    if (!DomainToAscii(PercentDecode(svHost), sAscii) || sAscii.empty())
        return false;
    for (char c : sAscii)
    {
        if (IsForbiddenDomainByte(static_cast<unsigned char>(c)))
            return false;
    }
    if (EndsInANumber(sAscii))
        return ReadIPv4(sAscii, sHost);
    sHost = std::move(sAscii);
    return true;
}

bool CWebLinkHost::ReadHostAndPort(std::string_view svHostAndPort, std::string& sHost)
{
    sHost.clear();
    // The host ends at the first colon outside brackets; the rest must be a port, or nothing.
    bool bInsideBrackets = false;
    size_t nColon = std::string_view::npos;
    for (size_t n = 0; n < svHostAndPort.size(); ++n)
    {
        const char c = svHostAndPort[n];
        if (c == ':' && !bInsideBrackets)
        {
            nColon = n;
            break;
        }
        if (c == '[')
            bInsideBrackets = true;
        else if (c == ']')
            bInsideBrackets = false;
    }
    if (nColon != std::string_view::npos)
    {
        const std::string_view svPort = svHostAndPort.substr(nColon + 1);
        uint64_t nPort = 0;
        for (char c : svPort)
        {
            if (!IsAsciiDigit(c))
                return false;
            nPort = std::min<uint64_t>(nPort * 10 + static_cast<unsigned>(c - '0'), 65536);
        }
        if (nPort > 65535)
            return false;
    }
    return ReadHost(svHostAndPort.substr(0, nColon), sHost);
}

CWebLinkHost::EKind CWebLinkHost::Read(std::string_view svLink, std::string& sHost)
{
    sHost.clear();
    // Spaces and controls at either end go, and tabs and line breaks anywhere.
    while (!svLink.empty() && static_cast<unsigned char>(svLink.front()) <= 0x20)
        svLink.remove_prefix(1);
    while (!svLink.empty() && static_cast<unsigned char>(svLink.back()) <= 0x20)
        svLink.remove_suffix(1);
    std::string sLink;
    sLink.reserve(svLink.size());
    for (char c : svLink)
    {
        if (c != '\t' && c != '\n' && c != '\r')
            sLink += c;
    }

    size_t nRest = 0;
    if (!sLink.empty() && IsAsciiAlpha(sLink[0]))
    {
        size_t n = 1;
        while (n < sLink.size() &&
               (IsAsciiAlpha(sLink[n]) || IsAsciiDigit(sLink[n]) || std::strchr("+-.", sLink[n]) != nullptr))
            ++n;
        if (n < sLink.size() && sLink[n] == ':')
        {
            std::string sScheme;
            for (size_t i = 0; i < n; ++i)
                sScheme += AsciiLower(sLink[i]);
            if (sScheme != "http" && sScheme != "https")
                return EKind::NotWeb;
            // Against a page of another scheme every slash after the colon is skipped and a server
            // follows; against one of the same scheme a link without two slashes is a path there. The
            // first reading is the one that can leave this server, so it is the one checked.
            nRest = n + 1;
        }
    }
    if (nRest == 0)
    {
        // A path, unless it starts with two slashes of either kind.
        if (sLink.size() < 2 || !IsSlash(sLink[0]) || !IsSlash(sLink[1]))
            return EKind::OwnServer;
    }
    while (nRest < sLink.size() && IsSlash(sLink[nRest]))
        ++nRest;
    const size_t nEnd = sLink.find_first_of("/\\?#", nRest);
    std::string_view svAuthority(sLink);
    svAuthority = svAuthority.substr(nRest, nEnd == std::string::npos ? std::string::npos : nEnd - nRest);
    // The user name and password run up to the last "@"; what follows is the server.
    if (const size_t nAt = svAuthority.rfind('@'); nAt != std::string_view::npos)
        svAuthority.remove_prefix(nAt + 1);
    if (svAuthority.empty() || svAuthority[0] == ':')
        return EKind::Unreadable;
    return ReadHostAndPort(svAuthority, sHost) ? EKind::Host : EKind::Unreadable;
}
