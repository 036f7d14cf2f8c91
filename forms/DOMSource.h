// The whole response body as the page rewriters see it: the HTML, HEAD and BODY elements, text searches
// and the two edits that every other handle's edits come down to. The parser's source behind it is shared
// by every handle made from it; nothing here changes the bytes, every edit becomes a buffer instruction.
#pragma once

#include "contract/CountedPtr.h"
#include "forms/DOMElement.h"
#include "htmlparser/Source.h"

#include <string>

class CSource;
class CBufferInstructionList;

class CDOMSource
{
public:
    // Words of the host's record of pointers into the response buffer.
    static constexpr size_t WORD_DATA_BEGIN = 1;
    static constexpr size_t WORD_DATA_LAST = 2;
    static constexpr size_t WORD_CHARSET_TEXT = 3;
    static constexpr size_t WORD_HTML_DATA_BEGIN = 4;
    static constexpr size_t WORD_CHARSET_LENGTH = 5;
    static constexpr size_t WORD_HTML_START = 15;
    static constexpr size_t WORD_HEAD_START = 16;
    static constexpr size_t WORD_HEAD_END = 17;
    static constexpr size_t WORD_BODY_START = 19;
    static constexpr size_t WORD_BODY_END = 21;

    // Never throws; a record the source cannot be built over leaves a DOM whose operations throw.
    explicit CDOMSource(char** pCommonPointers);
    CDOMSource(const CDOMSource&) = delete;
    CDOMSource& operator=(const CDOMSource&) = delete;
    virtual ~CDOMSource();

    bool hasSource() const { return !m_spSource.IsNull(); }
    const CCountedPtr<CSource>& getSource() const { return m_spSource; }

    Position getBeginPos() const;
    // Found once, on the first call, unless the host pointed at them; possibly empty.
    CDOMElement& getHtml();
    CDOMElement& getHead();
    CDOMElement& getBody();
    CDOMElement getElementById(const std::string& sId) const;
    CDOMElement getEnclosingElement(Position nPos) const;
    // First occurrence, ignoring ASCII case, in [nPos, nPos + nLength); NPOS as length: to the end.
    Position scanForString(const std::string& s, Position nPos, Position nLength) const;
    void substringData(Position nPos, Position nLength, std::string& sOut) const;
    // The text of [nBegin, nEnd) with every tag taken out.
    void getPlainText(Position nBegin, Position nEnd, std::string& sOut) const;
    int insertData(Position nPos, const std::string& sText, CBufferInstructionList* pList) const;
    int deleteData(Position nPos, Position nLength, CBufferInstructionList* pList) const;

    // The scan window every handle's text search uses: [from, to) clipped to the source; to may be NPOS.
    static Position scanWindow(const CSource* pSource, const std::string& s, Position nFrom, Position nTo);

private:
    void initHtml(CStartTag* pStartTag, const char* pszFailure);
    void initWithEndTag(CDOMElement& element, CStartTag* pStartTag, CEndTag* pEndTag,
                        const char* pszElementFailure, const char* pszStartTagFailure);

    CCountedPtr<CSource> m_spSource;
    bool m_bHtmlInitialized = false;
    CDOMElement m_html;
    bool m_bHeadInitialized = false;
    CDOMElement m_head;
    bool m_bBodyInitialized = false;
    CDOMElement m_body;
};

// The address of a position in the host's response buffer, as every buffer instruction carries it.
ULONGLONG AddressOf(const CSource* pSource, Position nPos);
// The address at which markup meant for a position goes: the position's own, unless a page cut off ends
// inside a construct (a tag, a comment, a script) that holds the position. A browser would read markup
// there as part of that construct, so it goes just before the construct instead.
ULONGLONG MarkupAddressOf(const CSource* pSource, Position nPos);
