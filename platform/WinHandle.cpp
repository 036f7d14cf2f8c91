#include "platform/WinHandle.h"

#include "platform/WinSync.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace
{
// Every request opens and closes its user's token: one lock for all handles would make every request
// thread wait for every other. Handles are spread over shards by value, each with its own lock.
constexpr size_t HANDLE_SHARDS = 64;

struct alignas(64) HandleShard
{
    std::mutex m_mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<CWinHandleObject>> m_mapObjects;
};

struct HandleTable
{
    HandleShard m_aShards[HANDLE_SHARDS];
    std::atomic<uintptr_t> m_nNext{0x1000};

    HandleShard& ShardOf(uintptr_t nValue) { return m_aShards[(nValue >> 2) % HANDLE_SHARDS]; }
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
    // Multiples of 4, as Windows hands out; never 0 nor INVALID_HANDLE_VALUE.
    const uintptr_t nValue = table.m_nNext.fetch_add(4, std::memory_order_relaxed);
    HandleShard& shard = table.ShardOf(nValue);
    std::lock_guard<std::mutex> lock(shard.m_mutex);
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
