// Holders of the process-wide singletons: created on first use under the type's own lock, destroyed at
// unload in reverse order of creation.
#pragma once

#include "common/Sync.h"

#include <atomic>
#include <new>

namespace Mem_Manager
{

template <class T> class Manger_memory
{
public:
    virtual ~Manger_memory() = default;
    virtual void CreateInstance() {}
    virtual void DestroyInstance() {}

protected:
    std::atomic<T*> m_pInstance{nullptr};
};

template <class T> class Static_memory : public Manger_memory<T>
{
public:
    // The instance, built on first use. Never null; a throwing constructor lets a later call retry.
    static T* Instance()
    {
        Static_memory& holder = Holder();
        T* pInstance = holder.m_pInstance.load(std::memory_order_acquire);
        if (pInstance != nullptr)
            return pInstance;
        CAutoSync lock(&Lock());
        if (holder.m_pInstance.load(std::memory_order_relaxed) == nullptr)
            holder.CreateInstance();
        return holder.m_pInstance.load(std::memory_order_relaxed);
    }

    void CreateInstance() override
    {
        if (!s_bBuilt)
        {
            s_bBuilt = true;
            try
            {
                ::new (static_cast<void*>(s_storage)) T();
            }
            catch (...)
            {
                s_bBuilt = false;
                throw;
            }
            // A static of this module, not std::atexit: its destructor is tied to the module and runs when
            // the module is unloaded, also where atexit is intercepted (the thread sanitizer's is not),
            // instead of at process exit after the module's code is gone.
            static CUnloadGuard s_unloadGuard;
            (void)s_unloadGuard;
        }
        this->m_pInstance.store(std::launder(reinterpret_cast<T*>(s_storage)), std::memory_order_release);
    }

private:
    struct CUnloadGuard
    {
        ~CUnloadGuard() { DestroyAtUnload(); }
    };

    static Static_memory& Holder()
    {
        static Static_memory s_holder;
        return s_holder;
    }

    static CCritSec& Lock()
    {
        static CCritSec s_lock;
        return s_lock;
    }

    static void DestroyAtUnload()
    {
        if (!s_bBuilt)
            return;
        Holder().m_pInstance.store(nullptr, std::memory_order_release);
        std::launder(reinterpret_cast<T*>(s_storage))->~T();
        s_bBuilt = false;
    }

    alignas(T) static inline unsigned char s_storage[sizeof(T)];
    static inline bool s_bBuilt = false;
};

} // namespace Mem_Manager
