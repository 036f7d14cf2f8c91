#include "filter/StringOperation.h"

#include <cstdint>

namespace
{
int Base64Value(char c)
{
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}
} // namespace

bool CStringOperation::Decode64(std::string& strText)
{
    if (strText.empty())
        return false;
    std::string strOut;
    strOut.reserve(strText.size() / 4 * 3 + 3);
    uint32_t nBits = 0;
    int nCount = 0;
    for (char c : strText)
    {
        const int nValue = Base64Value(c);
        if (nValue < 0)
            continue;
        nBits = (nBits << 6) | static_cast<uint32_t>(nValue);
        if (++nCount == 4)
        {
            strOut.push_back(static_cast<char>((nBits >> 16) & 0xFF));
            strOut.push_back(static_cast<char>((nBits >> 8) & 0xFF));
            strOut.push_back(static_cast<char>(nBits & 0xFF));
            nBits = 0;
            nCount = 0;
        }
    }
    if (nCount == 2)
        strOut.push_back(static_cast<char>((nBits >> 4) & 0xFF));
    else if (nCount == 3)
    {
        strOut.push_back(static_cast<char>((nBits >> 10) & 0xFF));
        strOut.push_back(static_cast<char>((nBits >> 2) & 0xFF));
    }
    const size_t nNul = strOut.find('\0');
    if (nNul != std::string::npos)
        strOut.erase(nNul);
    strText = std::move(strOut);
    return true;
}
