#include "common/CountedPtr.h"

#include <gtest/gtest.h>

namespace
{
struct CNode
{
    explicit CNode(int* pnDestroyed) : m_pnDestroyed(pnDestroyed) {}
    virtual ~CNode() { ++*m_pnDestroyed; }
    int* m_pnDestroyed;
    CCountedPtr<CNode> m_spNext;
};
} // namespace

TEST(CountedPtr, LastHolderDestroysAndSelfAssignmentKeepsCount)
{
    int nDestroyed = 0;
    {
        CCountedPtr<CNode> sp1(new CNode(&nDestroyed));
        CCountedPtr<CNode> sp2 = sp1;
        EXPECT_EQ(sp1.UseCount(), 2);
        sp2 = sp1;
        EXPECT_EQ(sp1.UseCount(), 2);
        sp2.Release();
        EXPECT_EQ(nDestroyed, 0);
    }
    EXPECT_EQ(nDestroyed, 1);
}

TEST(CountedPtr, AssigningFromAnObjectAboutToBeFreedIsSafe)
{
    int nDestroyed = 0;
    CCountedPtr<CNode> sp(new CNode(&nDestroyed));
    sp->m_spNext = CCountedPtr<CNode>(new CNode(&nDestroyed));
    sp = sp->m_spNext; // the first node goes; the second must survive in sp
    EXPECT_EQ(nDestroyed, 1);
    ASSERT_TRUE(sp);
    EXPECT_EQ(sp.UseCount(), 1);
}
