// Builds the resource section of a module as a C++ source: string tables from a text table, or a version
// block. The module layer reads the section back from the built file (platform/ModuleImage.h).
//
//   dlsw-rc strings <table> <out.cpp>
//   dlsw-rc version <out.cpp> <file version a.b.c.d> <product name> [Key=Value ...]
//
// A table line is "<LANGID>\t<string id>\t<text>" (LANGID in hexadecimal with 0x, or decimal); the text
// is UTF-8 and may carry \t, \n, \r and \\. Blank lines and lines beginning with "#" are skipped.
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace
{
constexpr uint16_t RT_STRING_TYPE = 6;
constexpr uint16_t RT_VERSION_TYPE = 16;

struct Resource
{
    uint16_t m_wType;
    uint16_t m_wID;
    uint16_t m_wLanguage;
    std::vector<uint8_t> m_data;
};

void Put16(std::vector<uint8_t>& out, uint16_t n)
{
    out.push_back(static_cast<uint8_t>(n & 0xFF));
    out.push_back(static_cast<uint8_t>(n >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t n)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>((n >> (8 * i)) & 0xFF));
}

bool Utf8ToUtf16(const std::string& strText, std::u16string& strOut)
{
    strOut.clear();
    for (size_t i = 0; i < strText.size();)
    {
        const auto c = static_cast<unsigned char>(strText[i]);
        uint32_t cp = 0;
        size_t n = 0;
        if (c < 0x80)
        {
            cp = c;
            n = 1;
        }
        else if ((c & 0xE0) == 0xC0)
        {
            cp = c & 0x1Fu;
            n = 2;
        }
        else if ((c & 0xF0) == 0xE0)
        {
            cp = c & 0x0Fu;
            n = 3;
        }
        else if ((c & 0xF8) == 0xF0)
        {
            cp = c & 0x07u;
            n = 4;
        }
        else
            return false;
        if (i + n > strText.size())
            return false;
        for (size_t k = 1; k < n; ++k)
        {
            const auto cc = static_cast<unsigned char>(strText[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        i += n;
        if (cp >= 0x10000)
        {
            cp -= 0x10000;
            strOut.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            strOut.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        }
        else
            strOut.push_back(static_cast<char16_t>(cp));
    }
    return true;
}

std::string Unescape(const std::string& strText)
{
    std::string strOut;
    for (size_t i = 0; i < strText.size(); ++i)
    {
        if (strText[i] != '\\' || i + 1 == strText.size())
        {
            strOut.push_back(strText[i]);
            continue;
        }
        const char ch = strText[++i];
        strOut.push_back(ch == 't' ? '\t' : ch == 'n' ? '\n' : ch == 'r' ? '\r' : ch);
    }
    return strOut;
}

bool ReadStringTable(const std::string& strPath, std::vector<Resource>& vecResources)
{
    std::ifstream in(strPath, std::ios::binary);
    if (!in)
    {
        std::cerr << "dlsw-rc: cannot read " << strPath << "\n";
        return false;
    }
    // (language, block) -> the block's 16 strings
    std::map<std::pair<uint16_t, uint16_t>, std::array<std::u16string, 16>> mapBlocks;
    std::string strLine;
    int nLine = 0;
    while (std::getline(in, strLine))
    {
        ++nLine;
        if (!strLine.empty() && strLine.back() == '\r')
            strLine.pop_back();
        if (strLine.empty() || strLine[0] == '#')
            continue;
        const size_t nTab1 = strLine.find('\t');
        const size_t nTab2 = nTab1 == std::string::npos ? nTab1 : strLine.find('\t', nTab1 + 1);
        if (nTab2 == std::string::npos)
        {
            std::cerr << strPath << ":" << nLine << ": expected LANGID<TAB>id<TAB>text\n";
            return false;
        }
        char* pEnd = nullptr;
        const unsigned long ulLang = std::strtoul(strLine.substr(0, nTab1).c_str(), &pEnd, 0);
        const unsigned long ulID =
            std::strtoul(strLine.substr(nTab1 + 1, nTab2 - nTab1 - 1).c_str(), &pEnd, 10);
        std::u16string strText;
        if (ulLang > 0xFFFF || ulID > 0xFFFF || !Utf8ToUtf16(Unescape(strLine.substr(nTab2 + 1)), strText) ||
            strText.size() > 0xFFFF)
        {
            std::cerr << strPath << ":" << nLine << ": bad LANGID, id or text\n";
            return false;
        }
        const auto wBlock = static_cast<uint16_t>((ulID >> 4) + 1);
        mapBlocks[{static_cast<uint16_t>(ulLang), wBlock}][ulID & 15] = strText;
    }
    for (const auto& [key, strings] : mapBlocks)
    {
        Resource resource{RT_STRING_TYPE, key.second, key.first, {}};
        for (const std::u16string& str : strings)
        {
            Put16(resource.m_data, static_cast<uint16_t>(str.size()));
            for (char16_t ch : str)
                Put16(resource.m_data, static_cast<uint16_t>(ch));
        }
        vecResources.push_back(std::move(resource));
    }
    return true;
}

bool ParseVersion(const std::string& strVersion, uint16_t (&parts)[4])
{
    std::istringstream in(strVersion);
    std::string strPart;
    int i = 0;
    while (std::getline(in, strPart, '.') && i < 4)
        parts[i++] = static_cast<uint16_t>(std::strtoul(strPart.c_str(), nullptr, 10));
    return i > 0;
}

Resource MakeVersion(const std::string& strFileVersion, const std::string& strProductName,
                     const std::vector<std::pair<std::string, std::string>>& vecExtra)
{
    uint16_t parts[4] = {0, 0, 0, 0};
    ParseVersion(strFileVersion, parts);
    std::vector<uint8_t> data;
    std::vector<uint8_t> body;
    Put32(body, 1);                         // one translation
    Put32(body, 0x0409u | (0x04B0u << 16)); // English (United States), UTF-16
    const uint32_t fixed[13] = {0xFEEF04BDu,
                                0x00010000u,
                                (uint32_t{parts[0]} << 16) | parts[1],
                                (uint32_t{parts[2]} << 16) | parts[3],
                                (uint32_t{parts[0]} << 16) | parts[1],
                                (uint32_t{parts[2]} << 16) | parts[3],
                                0x3Fu,
                                0,
                                0x00040004u,
                                2,
                                0,
                                0,
                                0};
    for (uint32_t n : fixed)
        Put32(body, n);
    std::vector<std::pair<std::string, std::string>> vecStrings = {{"CompanyName", "Kestrune"},
                                                                   {"FileDescription", strProductName},
                                                                   {"FileVersion", strFileVersion},
                                                                   {"ProductName", strProductName},
                                                                   {"ProductVersion", strFileVersion}};
    vecStrings.insert(vecStrings.end(), vecExtra.begin(), vecExtra.end());
    for (const auto& [strKey, strValue] : vecStrings)
    {
        body.insert(body.end(), strKey.begin(), strKey.end());
        body.push_back(0);
        body.insert(body.end(), strValue.begin(), strValue.end());
        body.push_back(0);
    }
    body.push_back(0);
    data.insert(data.end(), {'D', 'L', 'S', 'W', 'V', 'E', 'R', '1'});
    Put32(data, static_cast<uint32_t>(16 + body.size() - 4));
    data.insert(data.end(), body.begin(), body.end());
    return Resource{RT_VERSION_TYPE, 1, 0x0409, data};
}

bool WriteSection(const std::vector<Resource>& vecResources, const std::string& strOut)
{
    std::vector<uint8_t> section = {'D', 'L', 'S', 'W', 'R', 'E', 'S', '1'};
    Put32(section, static_cast<uint32_t>(vecResources.size()));
    Put32(section, 0);
    size_t nOffset = section.size() + 16 * vecResources.size();
    std::vector<uint8_t> data;
    for (const Resource& resource : vecResources)
    {
        while ((nOffset + data.size()) % 4 != 0)
            data.push_back(0);
        Put16(section, resource.m_wType);
        Put16(section, resource.m_wID);
        Put16(section, resource.m_wLanguage);
        Put16(section, 0);
        Put32(section, static_cast<uint32_t>(nOffset + data.size()));
        Put32(section, static_cast<uint32_t>(resource.m_data.size()));
        data.insert(data.end(), resource.m_data.begin(), resource.m_data.end());
    }
    section.insert(section.end(), data.begin(), data.end());
    std::ofstream out(strOut, std::ios::binary | std::ios::trunc);
    out << "// Generated by dlsw-rc; do not edit.\n"
           "__attribute__((section(\".dlsw_rsrc\"), used, aligned(8))) static const unsigned char "
           "s_resources[] = {";
    for (size_t i = 0; i < section.size(); ++i)
        out << (i % 20 == 0 ? "\n    " : "") << static_cast<unsigned>(section[i]) << ",";
    out << "\n};\n";
    return static_cast<bool>(out);
}
} // namespace

int main(int argc, char** argv)
{
    std::vector<Resource> vecResources;
    const std::string strCommand = argc > 1 ? argv[1] : "";
    if (strCommand == "strings" && argc == 4)
    {
        if (!ReadStringTable(argv[2], vecResources))
            return 1;
        return WriteSection(vecResources, argv[3]) ? 0 : 1;
    }
    if (strCommand == "version" && argc >= 5)
    {
        std::vector<std::pair<std::string, std::string>> vecExtra;
        for (int i = 5; i < argc; ++i)
        {
            const std::string strPair = argv[i];
            const size_t nEq = strPair.find('=');
            if (nEq != std::string::npos)
                vecExtra.emplace_back(strPair.substr(0, nEq), strPair.substr(nEq + 1));
        }
        vecResources.push_back(MakeVersion(argv[3], argv[4], vecExtra));
        return WriteSection(vecResources, argv[2]) ? 0 : 1;
    }
    std::cerr << "usage: dlsw-rc strings <table> <out.cpp> | version <out.cpp> <a.b.c.d> <product> "
                 "[Key=Value...]\n";
    return 2;
}
