// A computed child list: read-only, laid out in its source's memory at its exact size once it is complete.
// A page can hold an element for every few bytes and most of them list few children, so a list costs
// its items and one small header, and holds no memory that would need a destructor.
#pragma once

#include <cstddef>

class CElement;

class CElementList
{
public:
    using value_type = CElement*;
    using const_iterator = CElement* const*;
    using iterator = const_iterator;

    constexpr CElementList() = default;
    constexpr CElementList(CElement* const* pItems, size_t nSize) : m_pItems(pItems), m_nSize(nSize) {}
    CElementList(const CElementList&) = delete;
    CElementList& operator=(const CElementList&) = delete;

    // The list of every segment without children: one instance for them all.
    static const CElementList& emptyList()
    {
        static constexpr CElementList s_Empty;
        return s_Empty;
    }

    const_iterator begin() const { return m_pItems; }
    const_iterator end() const { return m_pItems + m_nSize; }
    size_t size() const { return m_nSize; }
    bool empty() const { return m_nSize == 0; }
    CElement* operator[](size_t i) const { return m_pItems[i]; }
    CElement* front() const { return m_pItems[0]; }
    CElement* back() const { return m_pItems[m_nSize - 1]; }
    CElement* const* data() const { return m_pItems; }

private:
    CElement* const* m_pItems = nullptr;
    size_t m_nSize = 0;
};
