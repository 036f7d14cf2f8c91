// Memory for the objects a source makes: they all live exactly as long as the source, so they are carved
// from large blocks and released together instead of one by one.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

class CSegmentArena
{
public:
    CSegmentArena() = default;
    CSegmentArena(const CSegmentArena&) = delete;
    CSegmentArena& operator=(const CSegmentArena&) = delete;

    void* allocate(size_t nSize, size_t nAlign)
    {
        size_t nPad = (nAlign - reinterpret_cast<uintptr_t>(m_pNext) % nAlign) % nAlign;
        if (m_pNext == nullptr || nPad + nSize > m_nLeft)
        {
            const size_t nBlock = nSize + nAlign > m_nBlockSize ? nSize + nAlign : m_nBlockSize;
            m_Blocks.push_back(std::unique_ptr<std::byte[]>(new std::byte[nBlock]));
            m_pNext = m_Blocks.back().get();
            m_nLeft = nBlock;
            // Blocks grow with the page, up to a bound.
            if (m_nBlockSize < MAX_BLOCK_SIZE)
                m_nBlockSize *= 2;
            nPad = (nAlign - reinterpret_cast<uintptr_t>(m_pNext) % nAlign) % nAlign;
        }
        std::byte* p = m_pNext + nPad;
        m_pNext = p + nSize;
        m_nLeft -= nPad + nSize;
        return p;
    }

private:
    static constexpr size_t MAX_BLOCK_SIZE = 64 * 1024;
    std::vector<std::unique_ptr<std::byte[]>> m_Blocks;
    std::byte* m_pNext = nullptr;
    size_t m_nLeft = 0;
    size_t m_nBlockSize = 8 * 1024;
};
