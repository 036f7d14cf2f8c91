// The 91 element names of HTML 4.01 and their indexes.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

// The element-name index of a name outside the list.
constexpr uint64_t NO_NAME_INDEX = ~static_cast<uint64_t>(0);

// Orders names by their bytes with ASCII letters folded to lower case; a shorter name orders first.
struct CHTMLElementNameLess
{
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
};

class CHTMLElementNameSingletonData
{
public:
    CHTMLElementNameSingletonData();
    virtual ~CHTMLElementNameSingletonData();

    uint64_t findNameIndex(std::string_view sName) const;
    const std::string* getName(uint64_t nIndex) const;

    void buildNameList();
    void buildNameIndexMap();

    std::vector<std::string> m_Names;
    std::map<std::string, uint64_t, CHTMLElementNameLess> m_NameIndexMap;

private:
    // Every tag of every page is classified: an open-addressing table over the folded names answers
    // without walking the map (slot value = index + 1, 0 = empty).
    static constexpr size_t HASH_SLOTS = 512;
    static size_t hashName(std::string_view sName);
    void buildHash();
    uint8_t m_Hash[HASH_SLOTS] = {};
    size_t m_nLongestName = 0;
};

class CHTMLElementName
{
public:
    static uint64_t getNameIndex(std::string_view sName);
    static const std::string* getName(uint64_t nIndex);
};

// Names the page model looks for, set when the library is loaded.
extern const std::string* g_pcsHtmlElementName;
extern const std::string* g_pcsHeadElementName;
extern const std::string* g_pcsBodyElementName;
