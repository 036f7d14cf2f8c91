// The character tree over the start delimiters of every tag type, and the list of the types whose content
// hides other markup.
#pragma once

#include "htmlparser/Position.h"

#include <list>
#include <vector>

class CTagType;
class CSource;

class CTagTypeRegister
{
public:
    CTagTypeRegister(CTagTypeRegister* pParent, char cChar);
    virtual ~CTagTypeRegister();
    CTagTypeRegister(const CTagTypeRegister&) = delete;
    CTagTypeRegister& operator=(const CTagTypeRegister&) = delete;

    CTagTypeRegister* findChild(char c) const;
    // The child for c, made (in character order) when missing.
    CTagTypeRegister* findOrAddChild(char c);

    CTagTypeRegister* m_pParent;
    std::vector<CTagTypeRegister*> m_Children;
    std::list<CTagType*> m_TagTypes;
    char m_cChar;
};

class CTagTypeRegisterSingletonData
{
public:
    CTagTypeRegisterSingletonData();
    virtual ~CTagTypeRegisterSingletonData();

    void add(CTagType* pTagType);
    static CTagTypeRegister* getRoot();

    CTagTypeRegister* m_pRoot;
};

class CProspectiveTagTypeIterator
{
public:
    CProspectiveTagTypeIterator(const CSource* pSource, Position nPos);
    virtual ~CProspectiveTagTypeIterator() = default;

    CTagType* getNextTagType();
    bool isExhausted() const { return m_pCursor == nullptr; }

private:
    void climbFrom(const CTagTypeRegister* pNode);

    const CTagTypeRegister* m_pCursor = nullptr;
    std::list<CTagType*>::const_iterator m_itCurrent;
};

class CTagTypeSingletonData
{
public:
    CTagTypeSingletonData();
    virtual ~CTagTypeSingletonData() = default;

    static CTagTypeSingletonData* getInstance();
    static const std::vector<CTagType*>& getTagTypes();

    std::vector<CTagType*> m_TagTypes;
};
