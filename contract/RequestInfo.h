// The host's request information: the query parameters, keyed without regard to case, and the server
// variables and headers, keyed by exact name. The host fills it once per request; the worker only reads
// it. Both sides build it from this header, so its layout is one.
#pragma once

#include <algorithm>
#include <map>
#include <string>

// Parameter names compare byte by byte after conversion to upper case over the shorter length, then by
// length. Upper case is the C locale's (neither side sets another), done inline: every lookup of every
// request compares names.
struct CParamNameLess
{
    static unsigned char Upper(char c)
    {
        const auto u = static_cast<unsigned char>(c);
        return u >= 'a' && u <= 'z' ? static_cast<unsigned char>(u - ('a' - 'A')) : u;
    }
    bool operator()(const std::string& a, const std::string& b) const
    {
        const size_t nLen = std::min(a.size(), b.size());
        for (size_t i = 0; i < nLen; ++i)
        {
            const unsigned char ca = Upper(a[i]);
            const unsigned char cb = Upper(b[i]);
            if (ca != cb)
                return ca < cb;
        }
        return a.size() < b.size();
    }
};

class CRequestInfo
{
public:
    using ParamMap = std::map<std::string, std::string, CParamNameLess>;
    using ServerVariableMap = std::map<std::string, std::string>;

    CRequestInfo() = default;
    virtual ~CRequestInfo() = default;

    // False when the map is empty or holds no such name.
    bool GetParamValue(const std::string& strName, std::string& strValue) const
    {
        if (m_mapParams.empty())
            return false;
        const auto it = m_mapParams.find(strName);
        if (it == m_mapParams.end())
            return false;
        strValue = it->second;
        return true;
    }

    bool GetServerVariable(const std::string& strName, std::string& strValue) const
    {
        const auto it = m_mapServerVariables.find(strName);
        if (it == m_mapServerVariables.end())
            return false;
        strValue = it->second;
        return true;
    }

    // The host's side. A parameter that repeats keeps its first value.
    void AddParam(const std::string& strName, const std::string& strValue)
    {
        m_mapParams.emplace(strName, strValue);
    }
    void SetServerVariable(const std::string& strName, const std::string& strValue)
    {
        m_mapServerVariables[strName] = strValue;
    }
    const ParamMap& Params() const { return m_mapParams; }
    const ServerVariableMap& ServerVariables() const { return m_mapServerVariables; }

private:
    ParamMap m_mapParams;
    ServerVariableMap m_mapServerVariables;
};
