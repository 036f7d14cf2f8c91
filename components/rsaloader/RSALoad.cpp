// The loader of the RSA web agent's cookie API. No web agent is installed here: the five entry points are
// present and report that no RSA cookie is available.
#include <cstdint>

namespace
{
constexpr int32_t RSA_NOT_AVAILABLE = -1;
} // namespace

#define DLSW_RSA_EXPORT extern "C" __attribute__((visibility("default")))

DLSW_RSA_EXPORT int32_t KS_RSACookieInitializeFilt()
{
    return RSA_NOT_AVAILABLE;
}

DLSW_RSA_EXPORT int32_t KS_RSAGetUserName(void* /*pContext*/, char* pszBuffer, uint32_t nSize)
{
    if (pszBuffer != nullptr && nSize > 0)
        pszBuffer[0] = '\0';
    return RSA_NOT_AVAILABLE;
}

DLSW_RSA_EXPORT int32_t KS_RSAGetLastError()
{
    return RSA_NOT_AVAILABLE;
}

DLSW_RSA_EXPORT void KS_RSAFreeMemory(void* /*pMemory*/) {}

DLSW_RSA_EXPORT int32_t KS_RSACookieInitializeExtNoMFC()
{
    return RSA_NOT_AVAILABLE;
}
