// The edge at which a settings loader's exceptions stop. Loaders raise a failed step with ThrowIfFailed;
// the COM support classes raise _com_error; both, and anything else, end here as the loader's result.
#pragma once

#include "common/TraceLog.h"
#include "platform/ComSupport.h"
#include "platform/WinError.h"
#include "platform/WinTypes.h"

#include <new>

enum class LoadFailureKind
{
    None,
    HResult, // a failed step, raised with ThrowIfFailed
    Com,     // a COM error raised by the support classes
    General, // anything else
};

// Runs fn, which returns an HRESULT, and answers its result. An exception becomes the result instead:
// a raised code stays (E_FAIL should it be no failure), a failed allocation is E_OUTOFMEMORY, anything
// else E_FAIL; eKind says which it was.
template <class TFn> HRESULT CatchLoadFailure(TFn&& fn, LoadFailureKind& eKind)
{
    eKind = LoadFailureKind::None;
    try
    {
        return fn();
    }
    catch (const CHResultError& e)
    {
        eKind = LoadFailureKind::HResult;
        return FAILED(e.Error()) ? e.Error() : E_FAIL;
    }
    catch (const _com_error& e)
    {
        eKind = LoadFailureKind::Com;
        return FAILED(e.Error()) ? e.Error() : E_FAIL;
    }
    catch (const std::bad_alloc&)
    {
        eKind = LoadFailureKind::General;
        return E_OUTOFMEMORY;
    }
    catch (...)
    {
        eKind = LoadFailureKind::General;
        return E_FAIL;
    }
}

// The name a loader's trace lines start with: its own name, followed by the file it loads where that
// tells more; a COM error may be traced under a name of its own.
struct CLoaderName
{
    const char* m_pszName;
    const char* m_pszFile = "";
    const char* m_pszComName = nullptr;
};

// CatchLoadFailure, with one trace line for an exception, the loader's name in front: "<name> HRESULT
// exception %x" and "<COM name> com exception %x" through TraceLogError with the code, "<name> General
// exception" through TraceLog.
template <class TFn> HRESULT GuardLoad(const CLoaderName& name, TFn&& fn)
{
    LoadFailureKind eKind = LoadFailureKind::None;
    const HRESULT hr = CatchLoadFailure(fn, eKind);
    switch (eKind)
    {
    case LoadFailureKind::HResult:
        TraceLogError(static_cast<DWORD>(hr), "%s%s HRESULT exception %x", name.m_pszName, name.m_pszFile,
                      static_cast<unsigned>(hr));
        break;
    case LoadFailureKind::Com:
        TraceLogError(static_cast<DWORD>(hr), "%s%s com exception %x",
                      name.m_pszComName != nullptr ? name.m_pszComName : name.m_pszName, name.m_pszFile,
                      static_cast<unsigned>(hr));
        break;
    case LoadFailureKind::General:
        TraceLog("%s%s General exception", name.m_pszName, name.m_pszFile);
        break;
    case LoadFailureKind::None:
        break;
    }
    return hr;
}
