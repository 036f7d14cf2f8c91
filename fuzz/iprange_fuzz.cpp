// Feeds arbitrary text to the direct-access range parser and tests an address parsed from the same bytes
// against every range read.
#include "settings/IPRange.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    const std::string sText(reinterpret_cast<const char*>(pData), nSize);
    const std::vector<DirectAccessIPRange> ranges = ParseDirectAccessIPRanges(sText);
    const size_t nSplit = sText.find('|');
    IPAddressRecord client;
    ParseIPAddress(nSplit == std::string::npos ? sText : sText.substr(0, nSplit), client);
    for (const DirectAccessIPRange& range : ranges)
    {
        const bool bIn = IsIPAddressInRange(client, range);
        // A range always holds its own ends when they are of one family and in order.
        if (IsIPAddressInRange(range.m_start, range) && !IsIPAddressInRange(range.m_end, range))
            __builtin_trap();
        (void)bIn;
    }
    return 0;
}
