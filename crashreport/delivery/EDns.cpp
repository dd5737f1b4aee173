#include "crashreport/delivery/EDns.h"

#include <cstdint>

namespace {

constexpr uint16_t kTypeMx = 15;
constexpr uint16_t kClassIn = 1;
constexpr int kMaxPointers = 16;
constexpr size_t kMaxNameLength = 255;

uint8_t Byte(std::string_view s, size_t index) { return static_cast<uint8_t>(s[index]); }
uint16_t Word(std::string_view s, size_t index) { return static_cast<uint16_t>(Byte(s, index) << 8 | Byte(s, index + 1)); }

// Skips a name at index (0-based) without following pointers; false when it runs past the end.
bool SkipName(std::string_view reply, size_t& index)
{
    while (index < reply.size()) {
        const uint8_t length = Byte(reply, index);
        if (length == 0) {
            ++index;
            return true;
        }
        if (length >= 0xC0) {
            if (index + 2 > reply.size())
                return false;
            index += 2;
            return true;
        }
        if (length > 63)
            return false;
        index += 1 + length;
    }
    return false;
}

}  // namespace

std::string EncodeDnsName(std::string_view domain)
{
    std::string out;
    size_t start = 0;
    while (start <= domain.size()) {
        size_t dot = domain.find('.', start);
        if (dot == std::string_view::npos)
            dot = domain.size();
        const std::string_view label = domain.substr(start, dot - start);
        if (label.size() > 63)
            return {};
        if (!label.empty()) {
            out += static_cast<char>(label.size());
            out += label;
        }
        start = dot + 1;
    }
    if (out.empty() || out.size() + 1 > kMaxNameLength)
        return {};
    out += '\0';
    return out;
}

std::string BuildMxQuery(std::string_view domain)
{
    const std::string name = EncodeDnsName(domain);
    if (name.empty())
        return {};
    static const char header[12] = {0x41, 0x41, 0x01, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::string query(header, sizeof header);
    query += name;
    query += std::string("\x00\x0F\x00\x01", 4);
    return query;
}

std::string ReadDnsName(std::string_view reply, size_t& position)
{
    if (position < 1)
        return {};
    size_t index = position - 1;  // 0-based from here on
    size_t after = 0;             // just past the first pointer, once one was followed
    int pointers = 0;
    std::string name;
    for (;;) {
        if (index >= reply.size())
            return {};  // no terminating zero: a cut reply
        const uint8_t length = Byte(reply, index);
        if (length == 0) {
            if (!after)
                after = index + 1;
            break;
        }
        if (length >= 0xC0) {
            if (index + 2 > reply.size())
                return {};
            const size_t target = static_cast<size_t>(length & 0x3F) << 8 | Byte(reply, index + 1);
            // Backwards only: a pointer to itself or forwards could loop for ever.
            if (target >= index || ++pointers > kMaxPointers)
                return {};
            if (!after)
                after = index + 2;
            index = target;
            continue;
        }
        if (length > 63 || index + 1 + length > reply.size())
            return {};
        name.append(reply.substr(index + 1, length));
        name += '.';
        if (name.size() > kMaxNameLength)
            return {};
        index += 1 + length;
    }
    if (!name.empty())
        name.pop_back();
    position = after + 1;
    return name;
}

std::string ParseMxReply(std::string_view reply)
{
    if (reply.size() < 12 || Byte(reply, 0) != 0x41 || Byte(reply, 1) != 0x41)
        return {};
    if (!(Byte(reply, 2) & 0x80) || (Byte(reply, 3) & 0x0F) != 0)
        return {};
    const uint16_t questions = Word(reply, 4);
    const uint16_t answers = Word(reply, 6);
    size_t index = 12;
    for (uint16_t q = 0; q < questions; ++q) {
        if (!SkipName(reply, index) || index + 4 > reply.size())
            return {};
        index += 4;
    }
    for (uint16_t a = 0; a < answers; ++a) {
        if (!SkipName(reply, index) || index + 10 > reply.size())
            return {};
        const uint16_t type = Word(reply, index);
        const uint16_t klass = Word(reply, index + 2);
        const uint16_t dataLength = Word(reply, index + 8);
        const size_t data = index + 10;
        if (data + dataLength > reply.size())
            return {};
        if (type == kTypeMx && klass == kClassIn && dataLength >= 3) {
            // The exchange must start inside the record; its pointers may reach back anywhere.
            const std::string_view record = reply.substr(0, data + dataLength);
            size_t position = data + 2 + 1;
            std::string host = ReadDnsName(record, position);
            if (!host.empty())
                return host;
        }
        index = data + dataLength;
    }
    return {};
}

std::string MailDomainOf(std::string_view address)
{
    const size_t at = address.find('@');
    return std::string(at == std::string_view::npos ? address : address.substr(at + 1));
}

unsigned MxBaseWait(unsigned budget) { return (budget + 150) / 3; }
