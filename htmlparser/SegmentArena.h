// Memory for the objects a source makes: they all live exactly as long as the source, so they are carved
// from large blocks and released together instead of one by one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

class CSegmentArena
{
public:
    // Small objects are laid in chunks of this size, aligned to it, each beginning with the arena's owner:
    // an object finds its owner from its own address, so the many objects of a page need not keep it.
    static constexpr size_t CHUNK_SIZE = 16 * 1024;
    // Larger requests get a block of their own, outside the chunks (their owner cannot be found so).
    static constexpr size_t MAX_CHUNKED_SIZE = CHUNK_SIZE / 4;

    explicit CSegmentArena(const void* pOwner) : m_pOwner(pOwner) {}
    CSegmentArena(const CSegmentArena&) = delete;
    CSegmentArena& operator=(const CSegmentArena&) = delete;

    void* allocate(size_t nSize, size_t nAlign)
    {
        if (nSize + nAlign > MAX_CHUNKED_SIZE)
            return allocateLarge(nSize, nAlign);
        size_t nPad = padFor(m_pNext, nAlign);
        if (m_pNext == nullptr || nPad + nSize > m_nLeft)
        {
            nextChunk();
            nPad = padFor(m_pNext, nAlign);
        }
        std::byte* p = m_pNext + nPad;
        m_pNext = p + nSize;
        m_nLeft -= nPad + nSize;
        return p;
    }

    // The owner of the arena that laid out p, an address allocate returned for a request that fit a chunk.
    static const void* ownerOf(const void* p)
    {
        const uintptr_t nChunk = reinterpret_cast<uintptr_t>(p) & ~static_cast<uintptr_t>(CHUNK_SIZE - 1);
        return reinterpret_cast<const SChunkHeader*>(nChunk)->pOwner;
    }

private:
    struct SChunkHeader
    {
        const void* pOwner;
    };
    static constexpr size_t HEADER_SIZE = 16;
    // Chunks are cut from slabs that grow with the page, up to a bound.
    static constexpr size_t FIRST_SLAB_SIZE = CHUNK_SIZE;
    static constexpr size_t MAX_SLAB_SIZE = 4 * CHUNK_SIZE;

    struct SSlabDeleter
    {
        void operator()(std::byte* p) const { ::operator delete(p, std::align_val_t(CHUNK_SIZE)); }
    };

    static size_t padFor(const std::byte* p, size_t nAlign)
    {
        return (nAlign - reinterpret_cast<uintptr_t>(p) % nAlign) % nAlign;
    }

    void nextChunk()
    {
        if (m_pSlabNext == m_pSlabEnd)
        {
            auto* pSlab = static_cast<std::byte*>(::operator new(m_nSlabSize, std::align_val_t(CHUNK_SIZE)));
            m_Slabs.emplace_back(pSlab);
            m_pSlabNext = pSlab;
            m_pSlabEnd = pSlab + m_nSlabSize;
            if (m_nSlabSize < MAX_SLAB_SIZE)
                m_nSlabSize *= 2;
        }
        std::byte* pChunk = m_pSlabNext;
        m_pSlabNext += CHUNK_SIZE;
        ::new (pChunk) SChunkHeader{m_pOwner};
        m_pNext = pChunk + HEADER_SIZE;
        m_nLeft = CHUNK_SIZE - HEADER_SIZE;
    }

    void* allocateLarge(size_t nSize, size_t nAlign)
    {
        m_Large.push_back(std::unique_ptr<std::byte[]>(new std::byte[nSize + nAlign]));
        std::byte* p = m_Large.back().get();
        return p + padFor(p, nAlign);
    }

    const void* m_pOwner;
    std::vector<std::unique_ptr<std::byte, SSlabDeleter>> m_Slabs;
    std::vector<std::unique_ptr<std::byte[]>> m_Large;
    std::byte* m_pSlabNext = nullptr;
    std::byte* m_pSlabEnd = nullptr;
    size_t m_nSlabSize = FIRST_SLAB_SIZE;
    std::byte* m_pNext = nullptr;
    size_t m_nLeft = 0;
};
