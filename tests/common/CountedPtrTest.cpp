#include "contract/CountedPtr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <new>
#include <thread>
#include <vector>

namespace
{
struct CNode
{
    explicit CNode(int* pnDestroyed) : m_pnDestroyed(pnDestroyed) {}
    virtual ~CNode() { ++*m_pnDestroyed; }
    int* m_pnDestroyed;
    CCountedPtr<CNode> m_spNext;
};

// A derived object released through the base's virtual destructor.
struct CDerivedNode : CNode
{
    CDerivedNode(int* pnDestroyed, int* pnDerivedDestroyed)
        : CNode(pnDestroyed), m_pnDerived(pnDerivedDestroyed)
    {
    }
    ~CDerivedNode() override { ++*m_pnDerived; }
    int* m_pnDerived;
};

struct CElement
{
    static inline int s_nDestroyed = 0;
    ~CElement() { ++s_nDestroyed; }
};

class CTracked : public CWinHandleObject
{
public:
    explicit CTracked(bool* pbClosed) : m_pbClosed(pbClosed) {}
    ~CTracked() override { *m_pbClosed = true; }
    bool* m_pbClosed;
};

// The engine-option holder arrangement: an array type whose functions live beside it.
struct FakeSafeArray
{
    int m_nLocks = 1;
    bool m_bDestroyed = false;
};
HRESULT SafeArrayUnlock(FakeSafeArray* psa)
{
    if (psa->m_nLocks == 0)
        return E_UNEXPECTED;
    --psa->m_nLocks;
    return S_OK;
}
HRESULT SafeArrayDestroy(FakeSafeArray* psa)
{
    if (psa->m_nLocks != 0)
        return static_cast<HRESULT>(0x8002000Du); // still locked
    psa->m_bDestroyed = true;
    return S_OK;
}
struct CArrayHolder
{
    static inline FakeSafeArray* s_pLastArray = nullptr;
    static inline int s_nDeleted = 0;
    FakeSafeArray* m_psa = nullptr;
    ~CArrayHolder()
    {
        s_pLastArray = m_psa;
        ++s_nDeleted;
    }
};

// A deleter whose allocation fails on demand; it records the objects it destroys.
struct CFailingAllocDelete
{
    static inline bool s_bFailAlloc = false;
    static inline int s_nDeleted = 0;
    static void* operator new(size_t nBytes)
    {
        if (s_bFailAlloc)
            throw std::bad_alloc();
        return ::operator new(nBytes);
    }
    static void operator delete(void* p) { ::operator delete(p); }
    void operator()(CElement* p) const
    {
        ++s_nDeleted;
        delete p;
    }
};

int g_nFreed = 0;
HMODULE g_hFreed = nullptr;
} // namespace

// The module layer frees libraries; here the call is recorded.
BOOL FreeLibrary(HMODULE hModule)
{
    ++g_nFreed;
    g_hFreed = hModule;
    return TRUE;
}

TEST(CountedPtr, LastHolderDestroysAndSelfAssignmentKeepsCount)
{
    int nDestroyed = 0;
    {
        CCountedPtr<CNode> sp1(new CNode(&nDestroyed));
        CCountedPtr<CNode> sp2 = sp1;
        EXPECT_EQ(sp1.UseCount(), 2);
        sp2 = sp1;
        EXPECT_EQ(sp1.UseCount(), 2);
        sp1 = sp1;
        EXPECT_EQ(sp1.UseCount(), 2);
        sp2.Release();
        EXPECT_EQ(nDestroyed, 0);
        EXPECT_TRUE(sp2.IsNull());
        EXPECT_EQ(sp2.UseCount(), 0);
    }
    EXPECT_EQ(nDestroyed, 1);
}

TEST(CountedPtr, AssigningFromAnObjectAboutToBeFreedIsSafe)
{
    int nDestroyed = 0;
    CCountedPtr<CNode> sp(new CNode(&nDestroyed));
    sp->m_spNext = CCountedPtr<CNode>(new CNode(&nDestroyed));
    sp->m_spNext->m_spNext = CCountedPtr<CNode>(new CNode(&nDestroyed));
    sp = sp->m_spNext; // the first node goes; the second must survive in sp
    EXPECT_EQ(nDestroyed, 1);
    ASSERT_TRUE(sp);
    EXPECT_EQ(sp.UseCount(), 1);
    sp = std::move(sp->m_spNext); // the same by moving
    EXPECT_EQ(nDestroyed, 2);
    ASSERT_TRUE(sp);
    EXPECT_EQ(sp.UseCount(), 1);
}

TEST(CountedPtr, VirtualDestructorAndArrayDeleters)
{
    int nBase = 0;
    int nDerived = 0;
    {
        CCountedPtr<CNode> sp(new CDerivedNode(&nBase, &nDerived));
    }
    EXPECT_EQ(nBase, 1);
    EXPECT_EQ(nDerived, 1);

    CElement::s_nDestroyed = 0;
    {
        CCountedPtr<CElement, CArrayDelete<CElement>> sp(new CElement[5]);
        CCountedPtr<CElement, CArrayDelete<CElement>> sp2 = sp;
    }
    EXPECT_EQ(CElement::s_nDestroyed, 5);
}

TEST(CountedPtr, HandleDeleterClosesOnlyRealHandles)
{
    bool bClosed = false;
    HANDLE h = RegisterHandleObject(std::make_shared<CTracked>(&bClosed));
    {
        CCountedPtr<void, CCloseHandleDelete> sp(h);
        CCountedPtr<void, CCloseHandleDelete> sp2 = sp;
        sp.Release();
        EXPECT_FALSE(bClosed);
    }
    EXPECT_TRUE(bClosed);
    EXPECT_FALSE(CloseHandle(h)); // already closed by the last holder

    // INVALID_HANDLE_VALUE: nothing is closed, the count and the deleter are still freed (no leak).
    {
        CCountedPtr<void, CCloseHandleDelete> sp(INVALID_HANDLE_VALUE);
        EXPECT_EQ(sp.UseCount(), 1);
    }
    CCountedPtr<void, CCloseHandleDelete> spNull(nullptr);
    EXPECT_TRUE(spNull.IsNull());
}

TEST(CountedPtr, LocalMemoryLibraryAndArrayHolderDeleters)
{
    {
        // Freed with LocalFree; the address sanitizer reports it otherwise.
        CCountedPtr<void, CLocalFreeDelete> spSid(LocalAlloc(LPTR, 28));
        EXPECT_TRUE(spSid);
    }

    g_nFreed = 0;
    HMODULE hModule = reinterpret_cast<HMODULE>(static_cast<uintptr_t>(0x5000));
    {
        CCountedPtr<void, CFreeLibraryDelete> spModule(hModule);
        CCountedPtr<void, CFreeLibraryDelete> spCopy = spModule;
    }
    EXPECT_EQ(g_nFreed, 1);
    EXPECT_EQ(g_hFreed, hModule);

    FakeSafeArray array;
    CArrayHolder::s_nDeleted = 0;
    {
        auto* pHolder = new CArrayHolder();
        pHolder->m_psa = &array;
        CCountedPtr<CArrayHolder, CSafeArrayHolderDelete<CArrayHolder>> sp(pHolder);
    }
    EXPECT_EQ(array.m_nLocks, 0);
    EXPECT_TRUE(array.m_bDestroyed);
    EXPECT_EQ(CArrayHolder::s_nDeleted, 1);
    EXPECT_EQ(CArrayHolder::s_pLastArray, nullptr); // cleared once unlocked and destroyed

    // When the array cannot be destroyed its pointer stays, and the holder still goes.
    FakeSafeArray twiceLocked;
    twiceLocked.m_nLocks = 2;
    {
        auto* pHolder = new CArrayHolder();
        pHolder->m_psa = &twiceLocked;
        CCountedPtr<CArrayHolder, CSafeArrayHolderDelete<CArrayHolder>> sp(pHolder);
    }
    EXPECT_FALSE(twiceLocked.m_bDestroyed);
    EXPECT_EQ(CArrayHolder::s_nDeleted, 2);
    EXPECT_EQ(CArrayHolder::s_pLastArray, &twiceLocked);
}

TEST(CountedPtr, FailedAllocationDestroysTheObjectAndLeaksNothing)
{
    CElement::s_nDestroyed = 0;
    CFailingAllocDelete::s_nDeleted = 0;
    CFailingAllocDelete::s_bFailAlloc = true;
    using CFailingPtr = CCountedPtr<CElement, CFailingAllocDelete>;
    EXPECT_THROW(CFailingPtr sp(new CElement()), std::bad_alloc);
    CFailingAllocDelete::s_bFailAlloc = false;
    // Destroyed through the deleter's policy; the count allocated before is freed (the address sanitizer
    // reports it otherwise).
    EXPECT_EQ(CFailingAllocDelete::s_nDeleted, 1);
    EXPECT_EQ(CElement::s_nDestroyed, 1);

    {
        CFailingPtr sp(new CElement());
        EXPECT_EQ(sp.UseCount(), 1);
    }
    EXPECT_EQ(CFailingAllocDelete::s_nDeleted, 2);
    EXPECT_EQ(CElement::s_nDestroyed, 2);
}

TEST(CountedPtr, AdoptMovesTheObjectIntoAMapEntry)
{
    int nDestroyed = 0;
    std::map<DWORD, CCountedPtr<CNode>> map;
    {
        CCountedPtr<CNode> sp(new CNode(&nDestroyed));
        map.insert(CCountedPtr<CNode>::Adopt(7, sp));
        EXPECT_TRUE(sp.IsNull());
    }
    EXPECT_EQ(nDestroyed, 0);
    ASSERT_EQ(map.count(7), 1u);
    EXPECT_EQ(map[7].UseCount(), 1);
    map.clear();
    EXPECT_EQ(nDestroyed, 1);
}

TEST(CountedPtr, HoldersCopiedAndReleasedOnManyThreads)
{
    int nDestroyed = 0;
    CCountedPtr<CNode> sp(new CNode(&nDestroyed));
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t)
    {
        threads.emplace_back(
            [sp]
            {
                for (int i = 0; i < 2000; ++i)
                {
                    CCountedPtr<CNode> spCopy = sp;
                    CCountedPtr<CNode> spOther;
                    spOther = spCopy;
                }
            });
    }
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(sp.UseCount(), 1);
    EXPECT_EQ(nDestroyed, 0);
    sp.Release();
    EXPECT_EQ(nDestroyed, 1);
}

// The host reads counted pointers in its record word by word: the object first, then the count.
TEST(CountedPtr, WordsAreObjectThenCountThenDeleter)
{
    int nDestroyed = 0;
    CCountedPtr<CNode> sp(new CNode(&nDestroyed));
    CCountedPtr<CNode> spCopy = sp;
    static_assert(sizeof(sp) == 3 * sizeof(void*));
    void* apvWords[3] = {};
    std::memcpy(apvWords, static_cast<const void*>(&sp), sizeof(apvWords));
    EXPECT_EQ(apvWords[0], sp.Get());
    ASSERT_NE(apvWords[1], nullptr);
    EXPECT_EQ(*static_cast<LONG*>(apvWords[1]), 2);
    EXPECT_NE(apvWords[2], nullptr);
}
