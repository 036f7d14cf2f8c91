// Registry text from a ".reg" file: any bytes must parse in linear time without faults.
#include "platform/WinRegistry.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string sText(reinterpret_cast<const char*>(pData), nSize);
    RegistryData data;
    size_t nBadLines = 0;
    ParseRegistryText(sText, data, nBadLines);
    return 0;
}
