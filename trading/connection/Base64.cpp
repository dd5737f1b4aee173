#include "trading/connection/Base64.h"

#include <array>
#include <cstdint>

#include "framework/Exception.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> MakeDecodeTable()
{
    std::array<int8_t, 256> t{};
    for (auto& v : t)
        v = -1;
    for (int i = 0; i < 64; ++i)
        t[static_cast<unsigned char>(kAlphabet[i])] = static_cast<int8_t>(i);
    return t;
}

constexpr auto kDecode = MakeDecodeTable();

[[noreturn]] void InvalidChar(unsigned char c) { throw Exception(Format("#%d: Invalid char in Base64", c)); }

}  // namespace

std::string EncodeBase64(std::string_view bytes)
{
    std::string out;
    if (bytes.empty())
        return out;
    out.resize(4 * ((bytes.size() + 2) / 3));
    const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
    char* o = out.data();
    size_t i = 0;
    for (; i + 3 <= bytes.size(); i += 3) {
        const uint32_t v = (uint32_t(in[i]) << 16) | (uint32_t(in[i + 1]) << 8) | in[i + 2];
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = kAlphabet[(v >> 6) & 63];
        *o++ = kAlphabet[v & 63];
    }
    const size_t rest = bytes.size() - i;
    if (rest) {
        uint32_t v = uint32_t(in[i]) << 16;
        if (rest == 2)
            v |= uint32_t(in[i + 1]) << 8;
        *o++ = kAlphabet[v >> 18];
        *o++ = kAlphabet[(v >> 12) & 63];
        *o++ = rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
        *o++ = '=';
    }
    return out;
}

std::string DecodeBase64(std::string_view text)
{
    std::string out;
    if (text.empty())
        return out;
    if (text.size() % 4 != 0)
        throw Exception("Invalid Base64 length");

    const auto* in = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    // Fill may stand only in the last two places, and "x=y=" style holes are not fill.
    size_t fill = 0;
    if (in[n - 1] == '=') {
        fill = 1;
        if (in[n - 2] == '=')
            fill = 2;
    }
    out.resize(3 * (n / 4));
    char* o = out.data();
    for (size_t i = 0; i < n; i += 4) {
        uint32_t v = 0;
        for (size_t k = 0; k < 4; ++k) {
            const unsigned char c = in[i + k];
            int8_t d = kDecode[c];
            if (d < 0) {
                if (c != '=' || i + k < n - fill)
                    InvalidChar(c);
                d = 0;
            }
            v = (v << 6) | static_cast<uint32_t>(d);
        }
        *o++ = static_cast<char>(v >> 16);
        *o++ = static_cast<char>((v >> 8) & 0xFF);
        *o++ = static_cast<char>(v & 0xFF);
    }
    out.resize(out.size() - fill);
    return out;
}
