#include "settings/IPRange.h"

#include "common/TraceLog.h"

#include <algorithm>
#include <cstring>

namespace
{
std::string Trim(const std::string& s)
{
    const size_t nFirst = s.find_first_not_of(" \t\r\n");
    if (nFirst == std::string::npos)
        return std::string();
    const size_t nLast = s.find_last_not_of(" \t\r\n");
    return s.substr(nFirst, nLast - nFirst + 1);
}

std::vector<std::string> Split(const std::string& s, char chSep)
{
    std::vector<std::string> parts;
    size_t nPos = 0;
    for (;;)
    {
        const size_t nNext = s.find(chSep, nPos);
        if (nNext == std::string::npos)
        {
            parts.push_back(s.substr(nPos));
            return parts;
        }
        parts.push_back(s.substr(nPos, nNext - nPos));
        nPos = nNext + 1;
    }
}

// A group of digits in the base: at least one digit, nothing else, at most nMax.
bool ReadGroup(const std::string& s, int nBase, int nMax, int& nOut)
{
    if (s.empty() || s.size() > (nBase == 16 ? 4u : 3u))
        return false;
    int n = 0;
    for (char ch : s)
    {
        int nDigit = -1;
        if (ch >= '0' && ch <= '9')
            nDigit = ch - '0';
        else if (nBase == 16 && ch >= 'a' && ch <= 'f')
            nDigit = ch - 'a' + 10;
        else if (nBase == 16 && ch >= 'A' && ch <= 'F')
            nDigit = ch - 'A' + 10;
        if (nDigit < 0)
            return false;
        n = n * nBase + nDigit;
    }
    if (n > nMax)
        return false;
    nOut = n;
    return true;
}

bool ParseIPv4(const std::string& s, int nGroups[4])
{
    const std::vector<std::string> parts = Split(s, '.');
    if (parts.size() != 4)
        return false;
    for (size_t i = 0; i < 4; ++i)
    {
        if (!ReadGroup(parts[i], 10, 255, nGroups[i]))
            return false;
    }
    return true;
}

// The groups of one side of "::" (or of the whole text); an IPv4 tail counts as two groups.
bool ParseIPv6Groups(const std::string& s, bool bAllowIPv4Tail, std::vector<int>& vecGroups)
{
    if (s.empty())
        return true;
    const std::vector<std::string> parts = Split(s, ':');
    for (size_t i = 0; i < parts.size(); ++i)
    {
        if (bAllowIPv4Tail && i + 1 == parts.size() && parts[i].find('.') != std::string::npos)
        {
            int nV4[4];
            if (!ParseIPv4(parts[i], nV4))
                return false;
            vecGroups.push_back(nV4[0] << 8 | nV4[1]);
            vecGroups.push_back(nV4[2] << 8 | nV4[3]);
            continue;
        }
        int n = 0;
        if (!ReadGroup(parts[i], 16, 0xFFFF, n))
            return false;
        vecGroups.push_back(n);
    }
    return true;
}

bool ParseIPv6(std::string s, int nGroups[8])
{
    const size_t nZone = s.find('%');
    if (nZone != std::string::npos)
        s.erase(nZone);
    const size_t nGap = s.find("::");
    std::vector<int> vecHead;
    std::vector<int> vecTail;
    if (nGap == std::string::npos)
    {
        if (!ParseIPv6Groups(s, true, vecHead) || vecHead.size() != 8)
            return false;
    }
    else
    {
        if (s.find("::", nGap + 1) != std::string::npos)
            return false; // one "::" at most
        if (!ParseIPv6Groups(s.substr(0, nGap), false, vecHead) ||
            !ParseIPv6Groups(s.substr(nGap + 2), true, vecTail) || vecHead.size() + vecTail.size() > 7)
            return false;
    }
    std::fill(nGroups, nGroups + 8, 0);
    std::copy(vecHead.begin(), vecHead.end(), nGroups);
    std::copy(vecTail.begin(), vecTail.end(), nGroups + (8 - vecTail.size()));
    return true;
}
} // namespace

void ParseIPAddress(const std::string& sText, IPAddressRecord& out)
{
    const std::string s = Trim(sText);
    IPAddressRecord rec;
    if (s.find(':') != std::string::npos)
    {
        rec.m_bValid = ParseIPv6(s, rec.m_nGroups);
        // ::ffff:a.b.c.d is how a dual-stack listener reports an IPv4 client.
        if (rec.m_bValid && rec.m_nGroups[0] == 0 && rec.m_nGroups[1] == 0 && rec.m_nGroups[2] == 0 &&
            rec.m_nGroups[3] == 0 && rec.m_nGroups[4] == 0 && rec.m_nGroups[5] == 0xFFFF)
        {
            const int nHigh = rec.m_nGroups[6];
            const int nLow = rec.m_nGroups[7];
            rec = IPAddressRecord();
            rec.m_nGroups[0] = nHigh >> 8;
            rec.m_nGroups[1] = nHigh & 0xFF;
            rec.m_nGroups[2] = nLow >> 8;
            rec.m_nGroups[3] = nLow & 0xFF;
            rec.m_bIPv4 = true;
            rec.m_bValid = true;
        }
    }
    else if (s.find('.') != std::string::npos)
    {
        rec.m_bIPv4 = true;
        rec.m_bValid = ParseIPv4(s, rec.m_nGroups);
    }
    if (!rec.m_bValid)
    {
        TraceLog("IP not in IPv4 ot IPV6 format %s", sText.c_str());
        out = IPAddressRecord();
        return;
    }
    out = rec;
}

DirectAccessIPRange MakeDirectAccessIPRange(const std::pair<std::string, std::string>& texts)
{
    DirectAccessIPRange range;
    ParseIPAddress(texts.first, range.m_start);
    ParseIPAddress(texts.second, range.m_end);
    return range;
}

bool IsIPAddressInRange(const IPAddressRecord& address, const DirectAccessIPRange& range)
{
    if (!address.m_bValid || !range.m_start.m_bValid || !range.m_end.m_bValid)
        return false;
    if (address.m_bIPv4 != range.m_start.m_bIPv4 || range.m_start.m_bIPv4 != range.m_end.m_bIPv4)
        return false;
    // Groups run from the most significant down and each lies within its width, so comparing them in
    // order compares the addresses as numbers.
    const int nCount = address.m_bIPv4 ? 4 : 8;
    const int* a = address.m_nGroups;
    const int* s = range.m_start.m_nGroups;
    const int* e = range.m_end.m_nGroups;
    const bool bBelowStart = std::lexicographical_compare(a, a + nCount, s, s + nCount);
    const bool bAboveEnd = std::lexicographical_compare(e, e + nCount, a, a + nCount);
    return !bBelowStart && !bAboveEnd;
}

std::vector<DirectAccessIPRange> ParseDirectAccessIPRanges(const std::string& sText)
{
    std::vector<DirectAccessIPRange> vecRanges;
    if (sText.empty())
        return vecRanges;
    const std::vector<std::string> tokens = Split(sText, ';');
    for (size_t i = 0; i + 1 < tokens.size(); i += 2)
    {
        if (Trim(tokens[i + 1]).empty())
            break;
        vecRanges.push_back(MakeDirectAccessIPRange({tokens[i], tokens[i + 1]}));
    }
    return vecRanges;
}

void TraceDirectAccessRangeFound(const DirectAccessIPRange& range)
{
    const int* s = range.m_start.m_nGroups;
    const int* e = range.m_end.m_nGroups;
    if (!range.m_start.m_bIPv4)
        TraceLog(
            "[CHandleDLSettings::CheckClientIPAgainstDirectAccessIPRange] Direct access IPv6 range found: "
            "<%x:%x:%x:%x:%x:%x:%x:%x> - <%x:%x:%x:%x:%x:%x:%x:%x>.",
            s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], e[0], e[1], e[2], e[3], e[4], e[5], e[6], e[7]);
    else
        TraceLog(
            "[CHandleDLSettings::CheckClientIPAgainstDirectAccessIPRange] Direct access IPv4 range found: "
            "<%d.%d.%d.%d> - <%d.%d.%d.%d>.",
            s[0], s[1], s[2], s[3], e[0], e[1], e[2], e[3]);
}
