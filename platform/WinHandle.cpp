#include "platform/WinHandle.h"

#include "platform/WinSync.h"

#include <cstdint>
#include <mutex>
#include <unordered_map>

namespace
{
struct HandleTable
{
    std::mutex m_mutex;
    std::unordered_map<uintptr_t, std::shared_ptr<CWinHandleObject>> m_mapObjects;
    uintptr_t m_nNext = 0x1000;
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
    std::lock_guard<std::mutex> lock(table.m_mutex);
    // Multiples of 4, as Windows hands out; never 0 nor INVALID_HANDLE_VALUE.
    const uintptr_t nValue = table.m_nNext;
    table.m_nNext += 4;
    table.m_mapObjects.emplace(nValue, std::move(spObject));
    return reinterpret_cast<HANDLE>(nValue);
}

std::shared_ptr<CWinHandleObject> LookupHandleObject(HANDLE hObject)
{
    HandleTable& table = Table();
    std::lock_guard<std::mutex> lock(table.m_mutex);
    auto it = table.m_mapObjects.find(reinterpret_cast<uintptr_t>(hObject));
    if (it == table.m_mapObjects.end())
        return nullptr;
    return it->second;
}

BOOL CloseHandle(HANDLE hObject)
{
    std::shared_ptr<CWinHandleObject> spObject;
    {
        HandleTable& table = Table();
        std::lock_guard<std::mutex> lock(table.m_mutex);
        auto it = table.m_mapObjects.find(reinterpret_cast<uintptr_t>(hObject));
        if (it == table.m_mapObjects.end())
        {
            SetLastError(ERROR_INVALID_HANDLE);
            return FALSE;
        }
        spObject = std::move(it->second);
        table.m_mapObjects.erase(it);
    }
    // The object is destroyed here, outside the table's lock, unless someone still uses it.
    spObject.reset();
    return TRUE;
}
