#include <gtest/gtest.h>

#include <string>

#include "crashreport/delivery/EBase64.h"

TEST(Base64, Rfc4648Vectors)
{
    const struct {
        const char* plain;
        const char* encoded;
    } cases[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.encoded, Base64EncodeText(c.plain)) << c.plain;
        EXPECT_EQ(c.encoded, Base64EncodeString(c.plain)) << c.plain;
        EXPECT_EQ(c.plain, Base64DecodeText(c.encoded)) << c.encoded;
        EXPECT_EQ(c.plain, Base64DecodeString(c.encoded)) << c.encoded;
    }
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    EXPECT_EQ(all, Base64DecodeText(Base64EncodeBuffer(all.data(), all.size())));
    const std::string thousand(1000, '\x9C');
    const std::string encoded = Base64EncodeText(thousand);
    EXPECT_EQ(1336u, encoded.size());
    EXPECT_EQ(std::string::npos, encoded.find_first_of("\r\n"));
}

TEST(Base64, DecodedLengthRules)
{
    const struct {
        const char* text;
        size_t length;
    } cases[] = {
        {"", 0}, {"Zm9", 0}, {"Zm9vY", 0}, {"Zg==", 1}, {"Zm8=", 2}, {"Zm9v", 3}, {"Zm9vYg==", 4}, {"A=A=", 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.length, Base64DecodedLength(c.text, std::char_traits<char>::length(c.text))) << c.text;
        EXPECT_EQ(c.length, Base64DecodeText(c.text).size()) << c.text;
    }
    EXPECT_EQ(0u, Base64EncodedLength(0));
    EXPECT_EQ(4u, Base64EncodedLength(1));
    EXPECT_EQ(8u, Base64EncodedLength(4));
}

TEST(Base64, ForeignBytesAreMergedNotIndexedNegative)
{
    // GBK bytes are above 0x7F: a signed index would read before the table.
    const std::string gbk = "\xB1\xED\xB6\xAB";
    EXPECT_EQ(3u, Base64DecodeText(gbk).size());
    EXPECT_EQ(3u, Base64DecodeText("\xFF\xFF\xFF\xFF").size());
    EXPECT_EQ(Base64DecodeText("////"), Base64DecodeText("\x80\x80\x80\x80")) << "255 merged as all ones";
}
