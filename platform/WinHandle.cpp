#include "platform/WinHandle.h"

#include "platform/WinSync.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace
{
// Every request opens and closes its user's token: one lock for all handles would make every request
// thread wait for every other, and one counter would bounce between their caches. Each thread hands out
// handles from a shard of its own (threads beyond the shard count share), and the shard is part of the
// handle's value, so any thread finds it again.
constexpr uintptr_t HANDLE_SHARDS = 64;
constexpr uintptr_t FIRST_HANDLE = 0x1000;

struct alignas(64) HandleShard
{
    std::mutex m_mutex;
    uintptr_t m_nNext = 0;
    std::unordered_map<uintptr_t, std::shared_ptr<CWinHandleObject>> m_mapObjects;
};

struct HandleTable
{
    HandleShard m_aShards[HANDLE_SHARDS];
    std::atomic<uintptr_t> m_nNextThread{0};

    HandleShard& ShardOf(uintptr_t nValue)
    {
        return m_aShards[((nValue - FIRST_HANDLE) >> 2) % HANDLE_SHARDS];
    }
    uintptr_t ShardIndexOfThisThread()
    {
        thread_local const uintptr_t t_nShard =
            m_nNextThread.fetch_add(1, std::memory_order_relaxed) % HANDLE_SHARDS;
        return t_nShard;
    }
};

HandleTable& Table()
{
    // Never destroyed: handles may be closed by other statics' destructors at exit.
    static HandleTable* s_pTable = new HandleTable();
    return *s_pTable;
}
} // namespace

CWinHandleObject::~CWinHandleObject() = default;

HANDLE RegisterHandleObject(std::shared_ptr<CWinHandleObject> spObject)
{
    if (!spObject)
        return nullptr;
    HandleTable& table = Table();
    const uintptr_t nShard = table.ShardIndexOfThisThread();
    HandleShard& shard = table.m_aShards[nShard];
    std::lock_guard<std::mutex> lock(shard.m_mutex);
    // Multiples of 4, as Windows hands out; never 0 nor INVALID_HANDLE_VALUE.
    const uintptr_t nValue = FIRST_HANDLE + ((shard.m_nNext++ * HANDLE_SHARDS + nShard) << 2);
    shard.m_mapObjects.emplace(nValue, std::move(spObject));
    return reinterpret_cast<HANDLE>(nValue);
}

std::shared_ptr<CWinHandleObject> LookupHandleObject(HANDLE hObject)
{
    HandleShard& shard = Table().ShardOf(reinterpret_cast<uintptr_t>(hObject));
    std::lock_guard<std::mutex> lock(shard.m_mutex);
    auto it = shard.m_mapObjects.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == shard.m_mapObjects.end())
        return nullptr;
    return it->second;
}

BOOL CloseHandle(HANDLE hObject)
{
    std::shared_ptr<CWinHandleObject> spObject;
    {
        HandleShard& shard = Table().ShardOf(reinterpret_cast<uintptr_t>(hObject));
        std::lock_guard<std::mutex> lock(shard.m_mutex);
        auto it = shard.m_mapObjects.find(reinterpret_cast<uintptr_t>(hObject));
        if (it == shard.m_mapObjects.end())
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        spObject = std::move(it->second);
        shard.m_mapObjects.erase(it);
    }
    // The object is destroyed here, outside the table's lock, unless someone still uses it.
    spObject.reset();
    return TRUE;
}
