// The product's log module: hands out the process-wide log locks that every module writing into one log
// shares, one per log name, plus the common log's.
#include "common/Sync.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace
{
// A lock with the slot layout of the modules' lock interface.
class CLogLock : public CSync
{
public:
    void Lock() override
    {
        m_mutex.lock();
        m_dwLocked = 1;
    }
    void Unlock() override
    {
        m_dwLocked = 0;
        m_mutex.unlock();
    }
    DWORD TryLock() override
    {
        if (!m_mutex.try_lock())
            return 0;
        m_dwLocked = 1;
        return 1;
    }
    DWORD InitWithSpinCount(INT /*nSpinCount*/) override { return 1; }
    DWORD Init() override { return 1; }
    DWORD Delete() override { return 1; }

private:
    std::recursive_mutex m_mutex;
};

constexpr const char* GENERAL_LOG = "\x01general";

// The locks live as long as this module: the modules that use one let go of it before they free this one.
CSync* LockFor(const std::string& strName)
{
    static std::mutex s_mutex;
    static std::map<std::string, std::unique_ptr<CLogLock>> s_mapLocks;
    std::lock_guard<std::mutex> guard(s_mutex);
    std::unique_ptr<CLogLock>& spLock = s_mapLocks[strName];
    if (!spLock)
        spLock = std::make_unique<CLogLock>();
    return spLock.get();
}
} // namespace

extern "C" __attribute__((visibility("default"))) int GetProductCS(const char* pszName, CSync** ppLock,
                                                                   int /*nValue*/)
{
    if (ppLock == nullptr)
        return 0;
    *ppLock = LockFor(pszName != nullptr ? std::string("product:") + pszName : std::string("product:"));
    return 1;
}

extern "C" __attribute__((visibility("default"))) int GetGeneralCS(CSync** ppLock, int /*nValue*/)
{
    if (ppLock == nullptr)
        return 0;
    *ppLock = LockFor(GENERAL_LOG);
    return 1;
}
