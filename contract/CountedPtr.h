// The reference-counted pointer that holds every shared object of the worker.
#pragma once

#include "platform/LibraryApi.h"
#include "platform/WinHandle.h"
#include "platform/WinMemory.h"
#include "platform/WinSync.h"

#include <atomic>
#include <memory>
#include <utility>

// How the last holder destroys the object. Each deleter is a one-byte object allocated with the count.

// Objects, through their (virtual) destructor; also the settings records.
template <class T> struct CDefaultDelete
{
    void operator()(T* p) const { delete p; }
};

template <class T> struct CArrayDelete
{
    void operator()(T* p) const { delete[] p; }
};

// A kernel handle held as the object (CCountedPtr<void, CCloseHandleDelete>): closed unless it is 0 or
// INVALID_HANDLE_VALUE.
struct CCloseHandleDelete
{
    void operator()(void* h) const
    {
        if (h != nullptr && h != INVALID_HANDLE_VALUE)
            CloseHandle(h);
    }
};

// Memory from LocalAlloc, such as a SID.
struct CLocalFreeDelete
{
    void operator()(void* p) const { LocalFree(p); }
};

// A loaded library held as the object (CCountedPtr<void, CFreeLibraryDelete>).
struct CFreeLibraryDelete
{
    void operator()(void* hModule) const { FreeLibrary(static_cast<HMODULE>(hModule)); }
};

// A holder of a SAFEARRAY (a class with the member m_psa): the array is unlocked, then destroyed, and
// its pointer cleared when both succeed; then the holder is deleted. SafeArrayUnlock and SafeArrayDestroy
// are found by the array type's namespace where the holder type is defined.
template <class THolder> struct CSafeArrayHolderDelete
{
    void operator()(THolder* pHolder) const
    {
        if (pHolder == nullptr)
            return;
        if (pHolder->m_psa != nullptr)
        {
            const auto hrUnlock = SafeArrayUnlock(pHolder->m_psa);
            const auto hrDestroy = SafeArrayDestroy(pHolder->m_psa);
            if (hrUnlock >= 0 && hrDestroy >= 0)
                pHolder->m_psa = nullptr;
        }
        delete pHolder;
    }
};

template <class T, class TDeleter = CDefaultDelete<T>> class CCountedPtr
{
public:
    CCountedPtr() = default;

    explicit CCountedPtr(T* pObject)
    {
        if (pObject == nullptr)
            return;
        // The holder owns the object from here on: when the count or the deleter cannot be allocated, the
        // object is destroyed as its last holder would have, and the failure goes to the caller.
        std::unique_ptr<LONG> spCount;
        std::unique_ptr<TDeleter> spDeleter;
        try
        {
            spCount.reset(new LONG(0));
            spDeleter.reset(new TDeleter());
        }
        catch (...)
        {
            TDeleter()(pObject);
            throw;
        }
        m_pCount = spCount.release();
        m_pDeleter = spDeleter.release();
        m_pObject = pObject;
        InterlockedIncrement(m_pCount);
    }

    CCountedPtr(const CCountedPtr& other)
        : m_pObject(other.m_pObject), m_pCount(other.m_pCount), m_pDeleter(other.m_pDeleter)
    {
        if (m_pObject != nullptr && m_pCount != nullptr)
            InterlockedIncrement(m_pCount);
    }

    CCountedPtr(CCountedPtr&& other) noexcept
        : m_pObject(std::exchange(other.m_pObject, nullptr)),
          m_pCount(std::exchange(other.m_pCount, nullptr)),
          m_pDeleter(std::exchange(other.m_pDeleter, nullptr))
    {
    }

    ~CCountedPtr() { Release(); }

    CCountedPtr& operator=(const CCountedPtr& other)
    {
        if (m_pObject == other.m_pObject)
            return *this;
        // Take the source before letting go of our own object: the source may live inside it.
        T* pObject = other.m_pObject;
        LONG* pCount = other.m_pCount;
        TDeleter* pDeleter = other.m_pDeleter;
        if (pObject != nullptr && pCount != nullptr)
            InterlockedIncrement(pCount);
        Release();
        m_pObject = pObject;
        m_pCount = pCount;
        m_pDeleter = pDeleter;
        return *this;
    }

    CCountedPtr& operator=(CCountedPtr&& other) noexcept
    {
        if (this == &other)
            return *this;
        T* pObject = std::exchange(other.m_pObject, nullptr);
        LONG* pCount = std::exchange(other.m_pCount, nullptr);
        TDeleter* pDeleter = std::exchange(other.m_pDeleter, nullptr);
        Release();
        m_pObject = pObject;
        m_pCount = pCount;
        m_pDeleter = pDeleter;
        return *this;
    }

    // Lets go of the held object; the last holder destroys it.
    void Release()
    {
        if (m_pObject != nullptr && m_pCount != nullptr)
        {
            if (InterlockedDecrement(m_pCount) == 0)
            {
                (*m_pDeleter)(m_pObject);
                delete m_pCount;
                delete m_pDeleter;
            }
        }
        m_pObject = nullptr;
        m_pCount = nullptr;
        m_pDeleter = nullptr;
    }

    T* Get() const { return m_pObject; }
    T* operator->() const { return m_pObject; }
    template <class U = T> U& operator*() const { return *m_pObject; }
    explicit operator bool() const { return m_pObject != nullptr; }
    bool IsNull() const { return m_pObject == nullptr; }
    LONG UseCount() const
    {
        return m_pCount != nullptr ? std::atomic_ref<LONG>(*m_pCount).load(std::memory_order_relaxed) : 0;
    }

    // A map entry {key, holder} that takes over the source's object: the entry shares it first, then the
    // source lets go, so the object survives whatever the source's count was.
    static std::pair<const DWORD, CCountedPtr> Adopt(DWORD dwKey, CCountedPtr& spSource)
    {
        std::pair<const DWORD, CCountedPtr> entry(dwKey, spSource);
        spSource.Release();
        return entry;
    }

    friend bool operator==(const CCountedPtr& a, const CCountedPtr& b) { return a.m_pObject == b.m_pObject; }

private:
    T* m_pObject = nullptr;
    LONG* m_pCount = nullptr;
    TDeleter* m_pDeleter = nullptr;
};
