// The named character references of HTML: every name browsers read, the legacy ones that need no ";"
// among them.
#pragma once

#include <span>
#include <string_view>

struct CHtmlEntity
{
    // The name after "&", with its ";" where it has one.
    const char* m_pszName;
    char32_t m_cFirst;
    // A second character, or 0.
    char32_t m_cSecond;
};

class CHtmlEntities
{
public:
    // The whole table, sorted by name.
    static std::span<const CHtmlEntity> All();
    // The longest name the text starts with, or null.
    static const CHtmlEntity* LongestPrefix(std::string_view svText);
    // The length of the longest name.
    static constexpr size_t MAX_NAME = 32;
};
