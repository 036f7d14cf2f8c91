// The rewriters' handles on one start tag and on one attribute, the vector of start tags a search
// returns, and the number conversion the rewriters read attribute values and parameters with.
#pragma once

#include "contract/CountedPtr.h"
#include "htmlparser/Source.h"

#include <cstdint>
#include <string>
#include <vector>

class CSource;
class CStartTag;
class CAttribute;
class CBufferInstructionList;

class CDOMAttribute
{
public:
    CDOMAttribute() = default;
    CDOMAttribute(const CCountedPtr<CSource>& spSource, CAttribute* pAttribute)
        : m_spSource(spSource), m_pAttribute(pAttribute)
    {
    }
    CDOMAttribute(const CDOMAttribute&) = default;
    CDOMAttribute& operator=(const CDOMAttribute&) = default;
    virtual ~CDOMAttribute() = default;

    bool isEmpty() const { return m_pAttribute == nullptr; }
    // Written with "=", even with nothing after it.
    bool hasValue() const;
    void getValue(std::string& sOut) const;
    std::string getValue() const;
    // The quote the value is written in: '"' or '\'', or 0 for a value written without one.
    char getQuote() const;
    // The value written again as one attribute value, quotes and all, with the page's own bytes as they
    // stand: in its own quotes where it had them, else in double quotes with every '"' written "&quot;".
    // The browser reads the copy as it read the value. Empty for an attribute without a value.
    std::string getQuotedValue() const;
    Position getValueBeginPos() const;
    Position getValueEndPos() const;
    int insertValueData(Position nOffset, const std::string& sText, CBufferInstructionList* pList) const;

private:
    CAttribute* need(const char* pszOperation) const;

    CCountedPtr<CSource> m_spSource;
    CAttribute* m_pAttribute = nullptr;
};

class CDOMStartTag
{
public:
    CDOMStartTag() = default;
    CDOMStartTag(const CCountedPtr<CSource>& spSource, CStartTag* pStartTag)
        : m_spSource(spSource), m_pStartTag(pStartTag)
    {
    }
    CDOMStartTag(const CDOMStartTag&) = default;
    CDOMStartTag& operator=(const CDOMStartTag&) = default;
    virtual ~CDOMStartTag() = default;

    bool isEmpty() const { return m_pStartTag == nullptr; }
    CStartTag* getStartTag() const { return m_pStartTag; }

    Position getBeginPos() const;
    Position getEndPos() const;
    Position getLength() const;
    void getHTML(std::string& sOut) const;
    CDOMAttribute getAttribute(const std::string& sName) const;
    int setAttribute(const std::string& sName, const std::string& sValue,
                     CBufferInstructionList* pList) const;
    int insertDataBefore(const std::string& sText, CBufferInstructionList* pList) const;
    int insertDataAfter(const std::string& sText, CBufferInstructionList* pList) const;

    // What the element handle's attribute operations share with this one.
    static CAttribute* findAttribute(CStartTag* pStartTag, const std::string& sName);
    static int setAttributeOn(CSource* pSource, CStartTag* pStartTag, const std::string& sName,
                              const std::string& sValue, CBufferInstructionList* pList,
                              const char* pszEmptyLog);

private:
    CStartTag* need(const char* pszOperation) const;

    CCountedPtr<CSource> m_spSource;
    CStartTag* m_pStartTag = nullptr;
};

class CDOMStartTagVector
{
public:
    CDOMStartTagVector() = default;
    CDOMStartTagVector(const CCountedPtr<CSource>& spSource,
                       const CCountedPtr<std::vector<CStartTag*>>& spStartTags)
        : m_spSource(spSource), m_spStartTags(spStartTags)
    {
    }
    virtual ~CDOMStartTagVector() = default;

    size_t length() const { return m_spStartTags.IsNull() ? 0 : m_spStartTags->size(); }
    CDOMStartTag item(size_t i) const;

private:
    CCountedPtr<CSource> m_spSource;
    CCountedPtr<std::vector<CStartTag*>> m_spStartTags;
};

// A digit string in a base from 2 to 36 as a 32-bit number (wrapping); false for a bad base, a range
// beyond the text or a byte that is no digit of the base. NPOS as length: to the end of the text.
bool StringToNumber(const std::string& s, int32_t& nOut, int32_t nBase, Position nPos, Position nLength,
                    bool bAllowMinus);
