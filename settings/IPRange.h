// Client address ranges allowed direct downloads: the address record, the parsing of IPv4 and IPv6
// texts and the range test.
#pragma once

#include <string>
#include <utility>
#include <vector>

// One parsed address: groups 0-3 of an IPv4 address hold a byte each, groups 0-7 of an IPv6 address a
// 16-bit value each. An address that could not be read is not valid and lies in no range.
struct IPAddressRecord
{
    int m_nGroups[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    bool m_bIPv4 = false;
    bool m_bValid = false;
};

// Both ends inclusive.
struct DirectAccessIPRange
{
    IPAddressRecord m_start;
    IPAddressRecord m_end;
};

// Fills the record from an address text: dotted IPv4, or IPv6 with "::" anywhere, an embedded IPv4 tail
// and a "%zone" suffix; an IPv4-mapped IPv6 address (::ffff:a.b.c.d) reads as its IPv4 address. Blanks
// around the text are ignored. A text that is neither is traced and leaves the record invalid.
void ParseIPAddress(const std::string& sText, IPAddressRecord& out);
DirectAccessIPRange MakeDirectAccessIPRange(const std::pair<std::string, std::string>& texts);
// True when the address and both ends are valid, of one family, and start <= address <= end as numbers.
bool IsIPAddressInRange(const IPAddressRecord& address, const DirectAccessIPRange& range);
// The ranges of a setting text: ";"-separated addresses taken in pairs, start then end. The list ends at
// the first pair without an end; a trailing start alone is dropped.
std::vector<DirectAccessIPRange> ParseDirectAccessIPRanges(const std::string& sText);
// Traces the range that holds a client address, in the worker's trace format.
void TraceDirectAccessRangeFound(const DirectAccessIPRange& range);
