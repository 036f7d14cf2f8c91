// The kinds of markup the parser knows: how each begins and ends and how its tag is built at a position.
#pragma once

#include "common/CiString.h"
#include "htmlparser/Position.h"

#include <cstdint>
#include <memory>
#include <string>

class CSource;
class CTag;
class CStartTag;
class CEndTag;
class CAttributes;
class CEndTagType;

class CTagType
{
public:
    CTagType(const char* pszDescription, const char* pszStartDelimiter, const char* pszEndDelimiter,
             bool bIsServerTag, const char* pszNamePrefix);
    virtual ~CTagType();
    CTagType(const CTagType&) = delete;
    CTagType& operator=(const CTagType&) = delete;

    virtual CTag* constructTagAt(CSource* pSource, Position nPos) = 0;
    virtual bool isEndTagType() const { return false; }
    // True only when the text makes a tag of this type at nPos impossible (no name where one is needed, no
    // closing delimiter after it), found in a few steps and without a log line: constructTagAt would refuse.
    virtual bool cannotBeginAt(CSource*, Position) const { return false; }

    // The tag that starts exactly at nPos, built by the first offered type that accepts the text there.
    static CTag* getTagAt(CSource* pSource, Position nPos);
    // The same, with the same log lines, except that a tag that matched no registered type is not built:
    // null then, with bBare set.
    static CTag* findTagAt(CSource* pSource, Position nPos, bool& bBare);
    // False when no registered type can begin a tag at nPos, which holds a '<': a lone '<' or "</" (followed
    // by no name and by nothing a longer delimiter goes on with), or one where every registered type offered
    // cannot begin (cannotBeginAt).
    static bool mayBeginRegisteredTag(CSource* pSource, Position nPos);
    // Builds, without a log line, the tag that matched no registered type at nPos (one findTagAt reported
    // as bare).
    static CTag* makeUnregisteredTagAt(CSource* pSource, Position nPos);
    bool isValidPosition(CSource* pSource, Position nPos) const;

    const std::string& getDescription() const { return m_sDescription; }
    const std::string& getStartDelimiter() const { return m_sStartDelimiter; }
    const std::string& getEndDelimiter() const { return m_sEndDelimiter; }
    bool isServerTag() const { return m_bIsServerTag; }

    // A tag keeps its type as this one-byte index (0 for none) rather than a pointer: a page holds a tag for
    // nearly every '<', and the program has a dozen types.
    uint8_t getIndex() const { return m_nIndex; }
    static CTagType* fromIndex(uint8_t nIndex) { return s_IndexedTypes[nIndex]; }

    std::string m_sDescription;
    std::string m_sStartDelimiter;
    std::string m_sEndDelimiter;
    bool m_bIsServerTag;
    std::string m_sNamePart;
    std::string m_sNamePrefix;

private:
    uint8_t m_nIndex = 0;
    inline static CTagType* s_IndexedTypes[256] = {};
};

class CStartTagType : public CTagType
{
public:
    CStartTagType(const char* pszDescription, const char* pszStartDelimiter, const char* pszEndDelimiter,
                  CEndTagType* pCorrespondingEndTagType, bool bIsServerTag, bool bHasAttributes,
                  bool bIsNameRequired);

    virtual bool atEndOfAttributes(CSource* pSource, Position nPos, bool bCannotBeEmptyElementTag);
    CStartTag* constructStartTag(CSource* pSource, Position nBegin, Position nEnd, const ci_string& csName,
                                 CAttributes* pAttributes);

    static CStartTagType* getUnregistered();
    static CStartTagType* getNormal();

    CEndTagType* m_pCorrespondingEndTagType;
    bool m_bHasAttributes;
    bool m_bIsNameRequired;
};

class CStartTagTypeGenericImplementation : public CStartTagType
{
public:
    CStartTagTypeGenericImplementation(const char* pszDescription, const char* pszStartDelimiter,
                                       const char* pszEndDelimiter, CEndTagType* pCorrespondingEndTagType,
                                       bool bIsServerTag, bool bHasAttributes, bool bIsNameRequired);

    CTag* constructTagAt(CSource* pSource, Position nPos) override;
    bool cannotBeginAt(CSource* pSource, Position nPos) const override;
    virtual Position findEnd(CSource* pSource, Position nPos);

    bool m_bSkipFollowingCharCheck;

protected:
    // The line for a tag of the type named csName at nPos that is refused for want of a closing delimiter.
    void traceNoClosingDelimiter(const ci_string& csName, Position nPos) const;
};

class CStartTagTypeUnregistered : public CStartTagType
{
public:
    CStartTagTypeUnregistered();
    CTag* constructTagAt(CSource* pSource, Position nPos) override;
    // Where a tag of the type at nPos ends, or NPOS when none stands there; bTrace writes the lines
    // constructTagAt writes, as for a tag that was built.
    Position findTagEnd(CSource* pSource, Position nPos, bool bTrace);

private:
    // The line of a tag at [nPos, nEnd) that matches no registered type, built or not.
    void traceFound(CSource* pSource, Position nPos, Position nEnd, bool bBuilt) const;
};

class CStartTagTypeNormal : public CStartTagTypeGenericImplementation
{
public:
    explicit CStartTagTypeNormal(CEndTagType* pNormalEndTagType);
    bool atEndOfAttributes(CSource* pSource, Position nPos, bool bCannotBeEmptyElementTag) override;
};

class CStartTagTypeComment : public CStartTagTypeGenericImplementation
{
public:
    CStartTagTypeComment();
};

class CStartTagTypeXMLDeclaration : public CStartTagTypeGenericImplementation
{
public:
    CStartTagTypeXMLDeclaration();
};

class CStartTagTypeXMLProcessingInstruction : public CStartTagTypeGenericImplementation
{
public:
    CStartTagTypeXMLProcessingInstruction();
};

class CStartTagTypeDoctypeDeclaration : public CStartTagTypeGenericImplementation
{
public:
    CStartTagTypeDoctypeDeclaration();
    Position findEnd(CSource* pSource, Position nPos) override;
};

class CStartTagTypeMarkupDeclaration : public CStartTagTypeGenericImplementation
{
public:
    CStartTagTypeMarkupDeclaration();
    CTag* constructTagAt(CSource* pSource, Position nPos) override;
    bool cannotBeginAt(CSource* pSource, Position nPos) const override;
    Position findEnd(CSource* pSource, Position nPos) override;

private:
    // Where the name of a declaration at nPos ends when it is one of the declaration keywords, else NPOS.
    Position keywordEnd(const CSource* pSource, Position nPos) const;
};

class CStartTagTypeCDATASection : public CStartTagTypeGenericImplementation
{
public:
    CStartTagTypeCDATASection();
};

class CStartTagTypeServerCommon : public CStartTagTypeGenericImplementation
{
public:
    CStartTagTypeServerCommon();
};

class CEndTagType : public CTagType
{
public:
    CEndTagType(const char* pszDescription, const char* pszStartDelimiter, const char* pszEndDelimiter,
                bool bIsServerTag);

    bool isEndTagType() const override { return true; }
    virtual CStartTagType* getCorrespondingStartTagType() const { return nullptr; }
    CEndTag* constructEndTag(CSource* pSource, Position nBegin, Position nEnd, const ci_string& csName);

    static CEndTagType* getUnregistered();
    static CEndTagType* getNormal();
};

class CEndTagTypeUnregistered : public CEndTagType
{
public:
    CEndTagTypeUnregistered();
    CTag* constructTagAt(CSource* pSource, Position nPos) override;
    // Where a tag of the type at nPos ends, or NPOS when none stands there; bTrace writes the lines
    // constructTagAt writes, as for a tag that was built.
    Position findTagEnd(CSource* pSource, Position nPos, bool bTrace);
    // Builds the tag found at [nPos, nEnd).
    CEndTag* makeTag(CSource* pSource, Position nPos, Position nEnd);

private:
    // The line of a tag looked for at nPos: one without an end delimiter (nEnd NPOS), or one at
    // [nPos, nEnd) that matches no registered type, built or not.
    void traceFound(CSource* pSource, Position nPos, Position nEnd, bool bBuilt) const;
};

class CEndTagTypeGenericImplementation : public CEndTagType
{
public:
    CEndTagTypeGenericImplementation(const char* pszDescription, const char* pszStartDelimiter,
                                     const char* pszEndDelimiter, bool bIsServerTag);
    CTag* constructTagAt(CSource* pSource, Position nPos) override;
    bool cannotBeginAt(CSource* pSource, Position nPos) const override;
};

class CEndTagTypeNormal : public CEndTagTypeGenericImplementation
{
public:
    CEndTagTypeNormal();
    CStartTagType* getCorrespondingStartTagType() const override;
};

// The nine start-tag types, in their fixed order (positions 1 to 9).
class CStartTagTypeSingletonData
{
public:
    static constexpr size_t COUNT = 9;
    CStartTagTypeSingletonData();
    virtual ~CStartTagTypeSingletonData();
    // nPos counts from 1.
    CStartTagType* get(size_t nPos) const
    {
        return (nPos >= 1 && nPos <= COUNT) ? m_Types[nPos - 1] : nullptr;
    }

    CStartTagType* m_Types[COUNT] = {};
};

// The two end-tag types: unregistered (1), then normal (2).
class CEndTagTypeSingletonData
{
public:
    static constexpr size_t COUNT = 2;
    CEndTagTypeSingletonData();
    virtual ~CEndTagTypeSingletonData();
    CEndTagType* get(size_t nPos) const { return (nPos >= 1 && nPos <= COUNT) ? m_Types[nPos - 1] : nullptr; }

    CEndTagType* m_Types[COUNT] = {};
};
