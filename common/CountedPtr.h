// The reference-counted pointer that holds every shared object of the worker.
#pragma once

#include "platform/WinSync.h"

#include <utility>

// How the last holder destroys the object. Each deleter is a one-byte object allocated with the count.
template <class T> struct CDefaultDelete
{
    void operator()(T* p) const { delete p; }
};

template <class T> struct CArrayDelete
{
    void operator()(T* p) const { delete[] p; }
};

template <class T, class TDeleter = CDefaultDelete<T>> class CCountedPtr
{
public:
    CCountedPtr() = default;

    explicit CCountedPtr(T* pObject)
    {
        if (pObject == nullptr)
            return;
        m_pCount = new LONG(0);
        m_pDeleter = new TDeleter();
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
    LONG UseCount() const { return m_pCount != nullptr ? *m_pCount : 0; }

    friend bool operator==(const CCountedPtr& a, const CCountedPtr& b) { return a.m_pObject == b.m_pObject; }

private:
    T* m_pObject = nullptr;
    LONG* m_pCount = nullptr;
    TDeleter* m_pDeleter = nullptr;
};
