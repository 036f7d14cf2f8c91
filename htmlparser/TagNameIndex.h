// Where each tag name stands in the text, right after "<" (as a whole name) or between "</" and ">", found in
// one pass over the page. A search for the start or end tags of one name then visits only the places where
// that name stands, and a place that turned out to hold no such tag is stepped over for good: pairing every
// tag of a page full of names that never close, or of end-tag texts inside quoted values, costs each place
// once instead of once per question.
#pragma once

#include "htmlparser/Position.h"

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

class CTagNameIndex
{
public:
    CTagNameIndex(const char* pText, Position nBegin, Position nEnd);

    enum EKind
    {
        START_TAG, // "<name" where the name ends right there
        END_TAG,   // "</name>"
    };

    // Positions of the name's places of one kind, nearest first from nPos (forward: at or after it and not
    // after nLimit; backward: at or before it). Each is offered to accept, which answers whether it holds
    // the tag looked for; a place it refuses is not offered again until forgetAnswers. The name must be a
    // valid tag name (a name-start character, then name characters). Returns the accepted position or -1.
    Position find(EKind eKind, std::string_view name, Position nPos, Position nLimit, bool bPrevious,
                  const std::function<bool(Position)>& accept);

    // What the places held depends on how tags are looked up, which a full parse changes.
    void forgetAnswers();

    uint64_t getWork() const { return m_nWork; }

private:
    struct SPlace
    {
        uint64_t nKey; // hash of the folded name, then kind
        Position nPos;
    };
    void build();
    static void SortByKey(std::vector<SPlace>& vecPlaces);
    bool nameAt(EKind eKind, Position nPos, std::string_view name) const;
    // Union-find steps over refused places, in each direction.
    size_t nextOpen(size_t i, size_t nStop);
    size_t previousOpen(size_t i, size_t nStop);

    const char* m_pText;
    Position m_nBegin;
    Position m_nEnd;
    bool m_bBuilt = false;
    uint64_t m_nWork = 0;
    std::vector<SPlace> m_Places; // by key, then position
    // For each place: the nearest place at or after it (at or before it) not refused, once compressed.
    std::vector<uint32_t> m_NextOpen;
    std::vector<uint32_t> m_PreviousOpen;
};
