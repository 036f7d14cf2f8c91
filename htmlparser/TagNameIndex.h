// Where each tag name stands in the text, right after "<" (as a whole name) or between "</" and ">", found in
// one pass over the page. A search for the start or end tags of one name then visits only the places where
// that name stands, and a place that turned out to hold no such tag is stepped over for good: pairing every
// tag of a page full of names that never close, or of end-tag texts inside quoted values, costs each place
// once instead of once per question.
#pragma once

#include "htmlparser/Position.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <type_traits>
#include <vector>

class CTagNameIndex
{
public:
    // A range longer than MAX_LENGTH bytes, or without a text, is indexed as empty (nothing is read): places
    // are kept as 32-bit offsets from the begin.
    CTagNameIndex(const char* pText, Position nBegin, Position nEnd);

    static constexpr Position MAX_LENGTH = 0xFFFFFFFE;

    enum EKind
    {
        START_TAG, // "<name" where the name ends right there
        END_TAG,   // "</name>"
    };

    // The question a place is offered to, borrowed for one search: a search asks it at many places, which
    // an owning wrapper would make cost an allocation per search and an indirection more per place.
    class CAccept
    {
    public:
        template <class F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, CAccept>)
            CAccept(F&& f) // NOLINT: stands for any callable, as a parameter
            : m_pObject(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
              m_pCall(
                  [](void* pObject, Position nPos)
                  { return static_cast<bool>((*static_cast<std::remove_reference_t<F>*>(pObject))(nPos)); })
        {
        }
        bool operator()(Position nPos) const { return m_pCall(m_pObject, nPos); }

    private:
        void* m_pObject;
        bool (*m_pCall)(void*, Position);
    };

    // Positions of the name's places of one kind, nearest first from nPos (forward: at or after it and not
    // after nLimit; backward: at or before it). Each is offered to accept, which answers whether it holds
    // the tag looked for; a place it refuses is not offered again until forgetAnswers. The name must be a
    // valid tag name (a name-start character, then name characters). Returns the accepted position or -1.
    Position find(EKind eKind, std::string_view name, Position nPos, Position nLimit, bool bPrevious,
                  CAccept accept);

    // What the places held depends on how tags are looked up, which a full parse changes.
    void forgetAnswers();

    uint64_t getWork() const { return m_nWork; }

private:
    struct SPlace
    {
        uint32_t nKey;    // hash of the folded name, then kind
        uint32_t nOffset; // of the '<', from m_nBegin
    };
    void build();
    static void SortByKey(std::vector<SPlace>& vecPlaces);
    void orderCollidingNames();
    // The folded name at the place (the run of name characters after "<" or "</") against a name, or
    // against the name at another place of the same kind: below zero when it sorts first.
    int compareNameAt(EKind eKind, Position nPos, std::string_view name) const;
    int compareNamesAt(EKind eKind, Position nPos1, Position nPos2) const;
    bool nameAt(EKind eKind, Position nPos, std::string_view name) const;
    // Union-find steps over refused places, in each direction.
    size_t nextOpen(size_t i, size_t nStop);
    size_t previousOpen(size_t i, size_t nStop);
    void refuse(size_t i);
    // The run of the name's places (nLow, nHigh) and where the last search of it ended (nHint), for the
    // few names asked of lately: pairing asks the same name again and again, near where it last asked, and
    // searching the whole index for the run and the run for the position each time cost more than the
    // walk over places.
    struct SRun
    {
        uint32_t nKey;
        bool bValid;
        size_t nLow;
        size_t nHigh;
        size_t nHint;
    };
    SRun& runOf(EKind eKind, std::string_view name);

    const char* m_pText;
    Position m_nBegin;
    Position m_nEnd;
    bool m_bBuilt = false;
    uint64_t m_nWork = 0;
    // By key, then (where names share a key) by folded name, then by position: the places of one name are
    // one run.
    std::vector<SPlace> m_Places;
    std::vector<uint32_t> m_CollidingKeys; // keys that stand for more than one name, ascending
    // For each place: the nearest place at or after it (at or before it) not refused, once compressed; empty
    // while none is refused.
    std::vector<uint32_t> m_NextOpen;
    std::vector<uint32_t> m_PreviousOpen;
    std::array<SRun, 64> m_Runs{};
    SRun m_SharedKeyRun{}; // a run of a key that stands for more than one name: not kept
};
