// The caching prefix a request may carry in a header, split into a five-character key and the rest.
#pragma once

#include <string>

class CCachedScriptDecorator
{
public:
    static constexpr size_t KEY_LENGTH = 5;

    // Null for a prefix shorter than the key; the caller owns the result.
    static CCachedScriptDecorator* Create(const std::string& sPrefix);
    virtual ~CCachedScriptDecorator() = default;

    virtual std::string GetKey() const { return m_sKey; }
    virtual std::string GetBody() const { return m_sBody; }
    // The whole prefix as received.
    virtual std::string Decorate() const { return m_sKey + m_sBody; }
    virtual std::string DecorateValue(const std::string& sValue) const { return m_sKey + m_sBody + sValue; }
    virtual std::string StripKey(const std::string& sText) const;
    virtual bool HasBodyAtKeyEnd(const std::string& sText) const;

private:
    CCachedScriptDecorator(std::string sKey, std::string sBody);

    std::string m_sKey;
    std::string m_sBody;
};
