// A reader-writer mutex for data that every request reads and only a reload or a registration changes.
// A plain shared mutex makes every reader write one shared word, which bounces between the cores' caches
// and stops request threads from scaling; here each thread counts itself in a slot of its own cache line,
// and the rare writer raises a flag and waits for every slot to empty. A reader that sees the flag steps
// back and waits for the writer, so a stream of readers cannot starve a writer. It meets the standard's
// shared-mutex requirements, so std::shared_lock and std::lock_guard take it. A reader must not take it
// again while it holds it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

class CSlotSharedMutex
{
public:
    CSlotSharedMutex() = default;
    CSlotSharedMutex(const CSlotSharedMutex&) = delete;
    CSlotSharedMutex& operator=(const CSlotSharedMutex&) = delete;

    void lock_shared()
    {
        SReaderSlot& slot = m_aSlots[SlotOfThisThread()];
        for (;;)
        {
            // Counting in before looking at the flag, and the writer raising the flag before counting the
            // readers (both sequentially consistent), means at least one of them sees the other.
            slot.m_nReaders.fetch_add(1);
            if (!m_bWriter.load())
                return;
            slot.m_nReaders.fetch_sub(1);
            std::lock_guard<std::mutex> waitForWriter(m_writerMutex);
        }
    }

    void unlock_shared() { m_aSlots[SlotOfThisThread()].m_nReaders.fetch_sub(1); }

    void lock()
    {
        m_writerMutex.lock();
        m_bWriter.store(true);
        while (!ReadersGone())
            std::this_thread::yield();
    }

    // Fails, as a shared mutex does, while another writer or any reader holds it.
    bool try_lock()
    {
        if (!m_writerMutex.try_lock())
            return false;
        m_bWriter.store(true);
        if (ReadersGone())
            return true;
        unlock();
        return false;
    }

    void unlock()
    {
        m_bWriter.store(false);
        m_writerMutex.unlock();
    }

private:
    static constexpr size_t READER_SLOTS = 64;
    struct alignas(64) SReaderSlot
    {
        std::atomic<uint32_t> m_nReaders{0};
    };

    static size_t SlotOfThisThread()
    {
        // Threads take slots in turn; more threads than slots share them, which costs only speed.
        static std::atomic<size_t> s_nNextSlot{0};
        thread_local const size_t t_nSlot =
            s_nNextSlot.fetch_add(1, std::memory_order_relaxed) % READER_SLOTS;
        return t_nSlot;
    }

    bool ReadersGone() const
    {
        for (const SReaderSlot& slot : m_aSlots)
        {
            if (slot.m_nReaders.load() != 0)
                return false;
        }
        return true;
    }

    SReaderSlot m_aSlots[READER_SLOTS];
    alignas(64) std::atomic<bool> m_bWriter{false};
    std::mutex m_writerMutex;
};
