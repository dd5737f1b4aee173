#include "crashreport/delivery/EBase64.h"

#include <array>
#include <cstdint>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<uint8_t, 256> MakeDecodeTable()
{
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = 255;
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(alphabet[i])] = static_cast<uint8_t>(i);
    table['='] = 0;
    return table;
}

constexpr auto decodeTable = MakeDecodeTable();

// Indexed by the unsigned byte: a GBK byte must not reach a negative index.
unsigned Value(char c)
{
    return decodeTable[static_cast<unsigned char>(c)];
}

}  // namespace

size_t Base64EncodedLength(size_t count)
{
    return (count + 2) / 3 * 4;
}

size_t Base64DecodedLength(const char* encoded, size_t length)
{
    if (length == 0 || length % 4 != 0)
        return 0;
    size_t n = length / 4 * 3;
    if (encoded[length - 2] == '=')
        n -= 2;
    else if (encoded[length - 1] == '=')
        n -= 1;
    return n;
}

std::string Base64EncodeBuffer(const void* bytes, size_t count)
{
    const uint8_t* p = static_cast<const uint8_t*>(bytes);
    std::string out;
    out.reserve(Base64EncodedLength(count));
    size_t i = 0;
    for (; i + 3 <= count; i += 3) {
        const uint32_t v = p[i] << 16 | p[i + 1] << 8 | p[i + 2];
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (count - i == 1) {
        const uint32_t v = p[i] << 16;
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (count - i == 2) {
        const uint32_t v = p[i] << 16 | p[i + 1] << 8;
        out += alphabet[v >> 18];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string Base64EncodeText(std::string_view text)
{
    return Base64EncodeBuffer(text.data(), text.size());
}

std::string Base64EncodeString(std::string_view text)
{
    return Base64EncodeText(text);
}

std::string Base64DecodeText(std::string_view text)
{
    const size_t size = Base64DecodedLength(text.data(), text.size());
    if (size == 0)
        return "";
    std::string out(size, '.');
    size_t o = 0;
    auto put = [&](uint32_t byte) {
        if (o < size)
            out[o++] = static_cast<char>(byte & 0xFF);
    };
    const size_t groups = text.size() / 4;
    for (size_t g = 0; g + 1 < groups; ++g) {
        const char* q = text.data() + 4 * g;
        const uint32_t v = Value(q[0]) << 18 | Value(q[1]) << 12 | Value(q[2]) << 6 | Value(q[3]);
        put(v >> 16);
        put(v >> 8);
        put(v);
    }
    const char* q = text.data() + 4 * (groups - 1);
    int taken = 0;
    uint32_t v = 0;
    for (; taken < 4 && q[taken] != '='; ++taken)
        v |= Value(q[taken]) << (18 - 6 * taken);
    if (taken >= 2)
        put(v >> 16);
    if (taken >= 3)
        put(v >> 8);
    if (taken == 4)
        put(v);
    return out;
}

std::string Base64DecodeString(std::string_view text)
{
    return Base64DecodeText(text);
}
