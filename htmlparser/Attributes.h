// The attributes of a start tag, read by one forward scan.
#pragma once

#include "common/CiString.h"
#include "htmlparser/Segment.h"

#include <memory>
#include <string>
#include <vector>

class CStartTagType;

class CAttribute : public CSegment
{
public:
    CAttribute(CSource* pSource, const std::string& sName, CSegment* pNameSegment, CSegment* pValueSegment,
               CSegment* pValueSegmentIncludingQuotes);

    static bool checkConstructorArgs(const CSource* pSource, const std::string& sName,
                                     const CSegment* pNameSegment, const CSegment* pValueSegment,
                                     const CSegment* pValueSegmentIncludingQuotes);
    static CAttribute* CREATE_NEW_INST(CSource* pSource, const std::string& sName, CSegment* pNameSegment,
                                       CSegment* pValueSegment, CSegment* pValueSegmentIncludingQuotes);

    const std::string& getName() const { return m_sName; }

    std::string m_sName;
    CSegment* m_pNameSegment;
    CSegment* m_pValueSegment;
    CSegment* m_pValueSegmentIncludingQuotes;
};

class CAttributes : public CSegment
{
public:
    CAttributes(CSource* pSource, Position nBegin, Position nEnd,
                std::unique_ptr<std::vector<CAttribute*>> pVec);

    static CAttributes* construct(CSource* pSource, const std::string& sType, int nState, Position nBegin,
                                  Position nScanStart, Position nLimit, CStartTagType* pStartTagType,
                                  const ci_string& csName, int64_t nNameInd, size_t nMaxErrorCount);
    // Where the list construct would make ends, making nothing: NPOS where construct would reject it.
    static Position measure(CSource* pSource, const std::string& sType, int nState, Position nBegin,
                            Position nScanStart, Position nLimit, CStartTagType* pStartTagType,
                            const ci_string& csName, int64_t nNameInd, size_t nMaxErrorCount);
    // construct without its trace lines: for a list that was measured, and logged, when its tag was found.
    static CAttributes* constructQuietly(CSource* pSource, const std::string& sType, int nState,
                                         Position nBegin, Position nScanStart, Position nLimit,
                                         CStartTagType* pStartTagType, const ci_string& csName,
                                         int64_t nNameInd, size_t nMaxErrorCount);
    static CAttributes* CREATE_NEW_INST(CSource* pSource, Position nBegin, Position nEnd,
                                        std::unique_ptr<std::vector<CAttribute*>> pAttributesVec);
    static bool reachedMaxErrorCount(size_t nErrorCount, const CSource* pSource, const std::string& sType,
                                     const ci_string& csName, Position nBegin, size_t nMaxErrorCount);
    static bool isInvalidEmptyElementTag(CStartTagType* pStartTagType, CSource* pSource, Position nPos,
                                         const std::string& sType, const ci_string& csName, Position nBegin);

    CAttribute* findByName(const std::string& sName) const;
    const std::vector<CAttribute*>& getList() const { return *m_pAttributes; }
    size_t size() const { return m_pAttributes->size(); }

    std::unique_ptr<std::vector<CAttribute*>> m_pAttributes;

private:
    static bool scan(CSource* pSource, const std::string& sType, int nState, Position nBegin,
                     Position nScanStart, Position nLimit, CStartTagType* pStartTagType,
                     const ci_string& csName, int64_t nNameInd, size_t nMaxErrorCount, bool bMake,
                     Position& nListEnd, CAttributes*& pList);
};
