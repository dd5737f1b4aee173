#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "crashreport/capture/EEncrypt.h"
#include "crashreport/capture/EHash.h"

namespace {

std::string Md5Hex(const std::string& text)
{
    uint8_t d[16];
    Md5Digest(d, text.data(), text.size());
    std::string out;
    char buf[3];
    for (uint8_t b : d) {
        std::snprintf(buf, sizeof buf, "%02x", b);
        out += buf;
    }
    return out;
}

}  // namespace

TEST(Checksum, Crc16OfTexts)
{
    EXPECT_EQ(0x9DD6, Crc16OfText("abc"));
    EXPECT_EQ(0x31C3, Crc16OfText("123456789"));
    EXPECT_EQ(0, Crc16OfText(""));
    EXPECT_NE(Crc16OfText("東"), Crc16OfText("表")) << "high bytes take part";
}

TEST(Digest, Rfc1321Suite)
{
    const struct {
        const char* text;
        const char* digest;
    } cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.digest, Md5Hex(c.text)) << c.text;
    // Lengths around the padding boundary (55, 56, 64 bytes) against known digests.
    EXPECT_EQ("ef1772b6dff9a122358552954ad0df65", Md5Hex(std::string(55, 'a')));
    EXPECT_EQ("3b0c8ac703f828b04c6c197006d17218", Md5Hex(std::string(56, 'a')));
    EXPECT_EQ("014842d480b571495a4a0363793f7367", Md5Hex(std::string(64, 'a')));
}

TEST(Cipher, BlocksRoundTripAndBuffersDecryptInPlace)
{
    SetCipherKey("DuruvaDod");
    const uint8_t blocks[][8] = {{0}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, {1, 2, 3, 4, 5, 6, 7, 8}};
    for (const auto& b : blocks) {
        uint8_t enc[8], dec[8];
        EncryptBlock(b, enc);
        DecryptBlock(enc, dec);
        EXPECT_NE(0, memcmp(b, enc, 8));
        EXPECT_EQ(0, memcmp(b, dec, 8));
    }
    for (size_t n : {0u, 1u, 5u, 7u, 8u, 11u, 16u, 23u}) {
        uint8_t plain[32], cipher[32], out[32];
        for (size_t i = 0; i < n; ++i)
            plain[i] = static_cast<uint8_t>(i * 29 + 3);
        EncryptBuffer(plain, cipher, n);
        DecryptBuffer(cipher, out, n);
        EXPECT_EQ(0, memcmp(plain, out, n)) << n << " bytes";
        DecryptBuffer(cipher, cipher, n);
        EXPECT_EQ(0, memcmp(plain, cipher, n)) << n << " bytes in place";
    }
    // A short buffer is the plain text XOR the encrypted eight 0xFF bytes.
    uint8_t ff[8], stream[8];
    memset(ff, 0xFF, 8);
    EncryptBlock(ff, stream);
    const uint8_t five[5] = {0, 0, 0, 0, 0};
    uint8_t got[5];
    DecryptBuffer(five, got, 5);
    EXPECT_EQ(0, memcmp(stream, got, 5));
}
