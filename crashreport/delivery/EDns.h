#pragma once
// The mail-exchanger question and the reading of its answer. Replies come from the network,
// so every length and pointer is checked against the bytes that arrived. No Win32 here.

#include <cstddef>
#include <string>
#include <string_view>

// One length byte and the label for each dot-separated label, then a zero byte. Empty for a
// name that can't be asked for (a label longer than 63 bytes, or no label at all).
std::string EncodeDnsName(std::string_view domain);
// "AA", recursion desired, one question of type MX, class IN.
std::string BuildMxQuery(std::string_view domain);
// The name at position (1-based), compression pointers followed; position moves past the
// name as it stands at that place. Empty for a malformed name: a label past the end, a
// pointer that doesn't point backwards, more than 16 pointers, a name longer than 255.
std::string ReadDnsName(std::string_view reply, size_t& position);
// The exchange of the first MX answer of a reply to BuildMxQuery: identifier "AA", the
// response bit and no error code, answers walked by their lengths. Empty when there is none.
std::string ParseMxReply(std::string_view reply);

// The domain of an address: after its first "@", the whole text without one.
std::string MailDomainOf(std::string_view address);
// The wait of the first try of each server for a time budget in ms.
unsigned MxBaseWait(unsigned budget);
