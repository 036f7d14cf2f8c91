#include "forms/CachedScriptDecorator.h"

#include <new>
#include <utility>

CCachedScriptDecorator::CCachedScriptDecorator(std::string sKey, std::string sBody)
    : m_sKey(std::move(sKey)), m_sBody(std::move(sBody))
{
}

CCachedScriptDecorator* CCachedScriptDecorator::Create(const std::string& sPrefix)
{
    if (sPrefix.size() < KEY_LENGTH)
        return nullptr;
    return new CCachedScriptDecorator(sPrefix.substr(0, KEY_LENGTH), sPrefix.substr(KEY_LENGTH));
}

std::string CCachedScriptDecorator::StripKey(const std::string& sText) const
{
    return sText.size() > m_sKey.size() ? sText.substr(m_sKey.size()) : sText;
}

bool CCachedScriptDecorator::HasBodyAtKeyEnd(const std::string& sText) const
{
    return sText.size() > m_sKey.size() && sText.compare(m_sKey.size(), m_sBody.size(), m_sBody) == 0;
}
