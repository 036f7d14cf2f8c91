// The only exceptions of the DOM layer: an operation on a handle that holds nothing, and an argument
// outside what the page allows. Both carry a detail text and the position concerned.
#pragma once

#include "htmlparser/Position.h"

#include <cstdint>
#include <string>
#include <utility>

class CDOMParserException
{
public:
    CDOMParserException(std::string sMessage, int64_t nPos) : m_sMessage(std::move(sMessage)), m_nPos(nPos) {}
    CDOMParserException(const CDOMParserException&) = default;
    CDOMParserException& operator=(const CDOMParserException&) = default;
    virtual ~CDOMParserException() = default;

    const std::string& getMessage() const { return m_sMessage; }
    int64_t getPos() const { return m_nPos; }

    std::string m_sMessage;
    int64_t m_nPos;
};

class CDOMParserUndefinedObjectException : public CDOMParserException
{
public:
    explicit CDOMParserUndefinedObjectException(const std::string& sText);
};

class CDOMParserIllegalArgumentException : public CDOMParserException
{
public:
    CDOMParserIllegalArgumentException(const std::string& sText, Position nPos);
};
