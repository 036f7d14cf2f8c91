#include "forms/HtmlEntities.h"

#include <algorithm>
#include <cstring>

const CHtmlEntity* CHtmlEntities::LongestPrefix(std::string_view svText)
{
    const std::span<const CHtmlEntity> table = All();
    for (size_t nLength = std::min(svText.size(), MAX_NAME); nLength > 0; --nLength)
    {
        const std::string_view svName = svText.substr(0, nLength);
        const auto it = std::lower_bound(table.begin(), table.end(), svName,
                                         [](const CHtmlEntity& entity, std::string_view svKey)
                                         { return std::string_view(entity.m_pszName) < svKey; });
        if (it != table.end() && svName == it->m_pszName)
            return &*it;
    }
    return nullptr;
}
