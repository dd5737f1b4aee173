#include "crashreport/capture/EEncrypt.h"

#include "crashreport/capture/EHash.h"

namespace {

constexpr uint32_t delta = 0x9E3779B9;
uint32_t key[4];
uint8_t chain[8];

uint32_t LoadBig(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

void StoreBig(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

// The keystream of a 1-7 byte tail: the chaining value encrypted once more.
void XorTail(const uint8_t* in, uint8_t* out, size_t n)
{
    uint8_t stream[8];
    EncryptBlock(chain, stream);
    for (int i = 0; i < 8; ++i)
        chain[i] = stream[i];
    for (size_t i = 0; i < n; ++i)
        out[i] = in[i] ^ stream[i];
}

}  // namespace

void SetCipherKey(std::string_view text)
{
    uint8_t digest[16];
    Md5Digest(digest, text.data(), text.size());
    for (int i = 0; i < 4; ++i)
        key[i] = LoadBig(digest + 4 * i);
}

void EncryptBlock(const uint8_t in[8], uint8_t out[8])
{
    uint32_t y = LoadBig(in), z = LoadBig(in + 4), sum = 0;
    for (int i = 0; i < 32; ++i) {
        sum += delta;
        y += (z << 4) + (z ^ key[0]) + ((z >> 5) ^ sum) + key[1];
        z += (y << 4) + (y ^ key[2]) + ((y >> 5) ^ sum) + key[3];
    }
    StoreBig(out, y);
    StoreBig(out + 4, z);
}

void DecryptBlock(const uint8_t in[8], uint8_t out[8])
{
    uint32_t y = LoadBig(in), z = LoadBig(in + 4), sum = 0xC6EF3720;
    for (int i = 0; i < 32; ++i) {
        z -= (y << 4) + (y ^ key[2]) + ((y >> 5) ^ sum) + key[3];
        y -= (z << 4) + (z ^ key[0]) + ((z >> 5) ^ sum) + key[1];
        sum -= delta;
    }
    StoreBig(out, y);
    StoreBig(out + 4, z);
}

void DecryptBuffer(const uint8_t* in, uint8_t* out, size_t count)
{
    for (auto& b : chain)
        b = 0xFF;
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint8_t block[8], plain[8];
        for (int j = 0; j < 8; ++j)
            block[j] = in[i + j];  // in and out may be the same buffer
        DecryptBlock(block, plain);
        for (int j = 0; j < 8; ++j) {
            out[i + j] = plain[j] ^ chain[j];
            chain[j] = block[j];
        }
    }
    if (i < count)
        XorTail(in + i, out + i, count - i);
}

void EncryptBuffer(const uint8_t* in, uint8_t* out, size_t count)
{
    for (auto& b : chain)
        b = 0xFF;
    size_t i = 0;
    for (; i + 8 <= count; i += 8) {
        uint8_t block[8];
        for (int j = 0; j < 8; ++j)
            block[j] = in[i + j] ^ chain[j];
        EncryptBlock(block, out + i);
        for (int j = 0; j < 8; ++j)
            chain[j] = out[i + j];
    }
    if (i < count)
        XorTail(in + i, out + i, count - i);
}
