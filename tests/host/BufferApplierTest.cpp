#include "host/BufferApplier.h"
#include "contract/BufferInstruction.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
struct Edit
{
    DWORD m_dwKind;
    ULONGLONG m_ullOffset;
    const char* m_pszText;
    DWORD m_dwLength;
};

struct ApplyCase
{
    const char* m_pszName;
    std::vector<Edit> m_vecEdits;
    DWORD m_dwResult;
    const char* m_pszBody; // afterwards
};

TEST(ApplyBufferInstructions, AppliesOrRefusesTheWholeList)
{
    const ApplyCase aCases[] = {
        {"nothing", {}, 0, "<head></head>"},
        {"insert after head", {{BI_INSERT, 6, "<script/>", 0}}, 0, "<head><script/></head>"},
        {"insert at both ends", {{BI_INSERT, 0, "[", 0}, {BI_INSERT, 13, "]", 0}}, 0, "[<head></head>]"},
        {"insert then delete at one place",
         {{BI_INSERT, 6, "x", 0}, {BI_DELETE, 6, nullptr, 7}},
         0,
         "<head>x"},
        // The list puts b first; each goes in ahead of what is already at its address.
        {"two inserts at one place come out in the order they were made",
         {{BI_INSERT, 6, "a", 0}, {BI_INSERT, 6, "b", 0}},
         0,
         "<head>ab</head>"},
        {"inserts at one place, then a delete there and an insert after it",
         {{BI_INSERT, 6, "a", 0}, {BI_INSERT, 6, "b", 0}, {BI_DELETE, 6, nullptr, 2}, {BI_INSERT, 8, "c", 0}},
         0,
         "<head>abchead>"},
        {"insert after a delete's end", {{BI_DELETE, 0, nullptr, 6}, {BI_INSERT, 6, "x", 0}}, 0, "x</head>"},
        {"past the end", {{BI_INSERT, 14, "x", 0}}, 13, "<head></head>"},
        {"delete past the end", {{BI_DELETE, 10, nullptr, 4}}, 13, "<head></head>"},
        {"overlapping deletes",
         {{BI_DELETE, 0, nullptr, 5}, {BI_DELETE, 3, nullptr, 2}},
         13,
         "<head></head>"},
        {"insert inside a delete", {{BI_DELETE, 0, nullptr, 6}, {BI_INSERT, 3, "x", 0}}, 13, "<head></head>"},
    };
    for (const auto& c : aCases)
    {
        SCOPED_TRACE(c.m_pszName);
        std::string strBody = "<head></head>";
        const uintptr_t uBase = reinterpret_cast<uintptr_t>(strBody.data());
        CBufferInstructionList list;
        for (const auto& edit : c.m_vecEdits)
        {
            CCountedPtr<CBufferInstruction> sp(new CBufferInstruction());
            sp->m_dwKind = edit.m_dwKind;
            sp->m_ullPosition = uBase + edit.m_ullOffset;
            sp->SetText(edit.m_pszText);
            sp->m_dwLength = edit.m_dwLength;
            ASSERT_EQ(list.Add(sp), ERROR_SUCCESS);
        }
        std::string strError;
        EXPECT_EQ(ApplyBufferInstructions(list, strBody.data(), strBody, strError), c.m_dwResult);
        EXPECT_EQ(strBody, c.m_pszBody);
        EXPECT_EQ(strError.empty(), c.m_dwResult == 0) << strError;
    }
}

TEST(ApplyBufferInstructions, AnAddressBeforeTheBodyIsRefused)
{
    std::string strBody = "abc";
    CBufferInstructionList list;
    CCountedPtr<CBufferInstruction> sp(new CBufferInstruction());
    sp->m_dwKind = BI_INSERT;
    sp->m_ullPosition = 1; // far below any body
    sp->SetText("x");
    ASSERT_EQ(list.Add(sp), ERROR_SUCCESS);
    std::string strError;
    EXPECT_EQ(ApplyBufferInstructions(list, strBody.data(), strBody, strError), ERROR_INVALID_DATA);
    EXPECT_EQ(strBody, "abc");
}
} // namespace
