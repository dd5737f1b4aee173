#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "framework/CodePage.h"
#include "trading/connection/Base64.h"
#include "trading/connection/Fun.h"
#include "trading/connection/StringZip.h"

namespace {

std::string ExceptionText(const std::function<void()>& f)
{
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no exception)";
}

std::string Deflated(const std::string& bytes)
{
    std::string out;
    ZipStream(&bytes, &out, true);
    return out;
}

}  // namespace

TEST(Codec, PacksTheKnownRequests)
{
    EXPECT_EQ("eJxTrlEmGwIAM3ASow==", PackCmd(ClearCmd()));
    TCmdStr welcome = ClearCmd();
    welcome[2] = "WELCOME";
    EXPECT_EQ("eJxTrlGuCXf1cfb3dQWyyIEArCkUjA==", PackCmd(welcome));
    std::string joined;
    for (int i = 0; i < 30; ++i)
        joined += "#|";
    EXPECT_EQ(joined, JoinCmd(ClearCmd()));
}

TEST(Codec, RoundTripKeepsGbkFieldsWhoseTrailByteIsTheSeparator)
{
    TCmdStr r = ClearCmd();
    r[0] = "80001";
    r[3] = "東方基金";
    r[4] = "表";
    r[28] = "尾";
    const std::string body = PackCmd(r);
    // The reply side splits the UTF-8 text, then converts each field.
    EXPECT_EQ(r, UnpackUtf8Cmd(DecodeReplyBody(body)));
    // Splitting the GBK text instead would shift fields: 東 is 96 7C.
    ASSERT_EQ(std::string("\x96\x7C", 2), std::string(r[3].data(), 2));
    EXPECT_NE(r[4], UnpackCmd(JoinCmd(r))[4]);
}

TEST(Codec, PackRefusesFieldsThatWouldShiftTheRecord)
{
    const char* bad[] = {"a|b", "a\rb", "a\nb"};
    for (const char* text : bad) {
        TCmdStr r = ClearCmd();
        r[5] = text;
        EXPECT_THROW(PackCmd(r), EInvalidCmdField) << text;
    }
    TCmdStr r = ClearCmd();
    r[5] = std::string("a\0b", 3);
    EXPECT_THROW(PackCmd(r), EInvalidCmdField);
}

TEST(Codec, UnpackCmdTable)
{
    struct Case {
        std::string line;
        std::vector<std::pair<int, std::string>> fields;  // the rest must be empty
    } cases[] = {
        {"", {}},
        {"no separator", {}},
        {"first|second", {{0, "first"}}},
        {"a|b|", {{0, "a"}, {1, "b"}}},
        {"||x|", {{2, "x"}}},
        {std::string("a|b\0c|d|", 8), {{0, "a"}}},
    };
    for (const auto& c : cases) {
        const TCmdStr r = UnpackCmd(c.line);
        TCmdStr want;
        for (const auto& [i, text] : c.fields)
            want[i] = text;
        EXPECT_EQ(want, r) << "line: " << c.line;
    }
    std::string many;
    for (int i = 0; i < 35; ++i)
        many += std::to_string(i) + "|";
    const TCmdStr r = UnpackCmd(many);
    EXPECT_EQ("0", r[0]);
    EXPECT_EQ("29", r[29]);
}

TEST(Base64, Table)
{
    struct {
        std::string bytes;
        std::string text;
    } cases[] = {
        {"", ""},          {"f", "Zg=="},       {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
        {std::string("\xFF\xFE\x00", 3), "//4A"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.text, EncodeBase64(c.bytes));
        EXPECT_EQ(c.bytes, DecodeBase64(c.text)) << c.text;
    }
}

TEST(Base64, DecodeErrors)
{
    struct {
        std::string text;
        std::string message;
    } cases[] = {
        {"abcde", "Invalid Base64 length"},
        {"ab\r\ncd==", "#13: Invalid char in Base64"},
        {"ab\ncd===", "#10: Invalid char in Base64"},
        {"====", "#61: Invalid char in Base64"},
        {"QQ==QUJD", "#61: Invalid char in Base64"},
        {"Q=Q=", "#61: Invalid char in Base64"},
        {"QQ=A", "#61: Invalid char in Base64"},
        {"ab c", "#32: Invalid char in Base64"},
        {"ab\xC3\xA9", "#195: Invalid char in Base64"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.message, ExceptionText([&] { DecodeBase64(c.text); })) << c.text;
    EXPECT_EQ(1u, DecodeBase64("QQ==").size());
    EXPECT_EQ(2u, DecodeBase64("QUI=").size());
}

TEST(StringZip, EmptyAndMissing)
{
    EXPECT_EQ("", ZipString("", true));
    EXPECT_EQ("", ZipString("", false));
    std::string out = "kept";
    ZipStream(nullptr, &out, true);
    EXPECT_EQ("kept", out);
    ZipStream(&out, nullptr, false);
}

TEST(StringZip, TruncatedCorruptOrOversizedStreamsAreErrors)
{
    const std::string text(5000, 'x');
    const std::string z = Deflated(text);
    ASSERT_EQ(text, ZipString(EncodeBase64(z), false));
    for (size_t cut : {size_t(1), size_t(2), z.size() / 2, z.size() - 4, z.size() - 1})
        EXPECT_THROW(ZipString(EncodeBase64(z.substr(0, cut)), false), EZDecompressionError) << "cut " << cut;
    std::string corrupt = z;
    corrupt[z.size() / 2] ^= 0x55;
    corrupt[z.size() - 2] ^= 0x55;  // the Adler-32 trailer catches what the data may not
    EXPECT_THROW(ZipString(EncodeBase64(corrupt), false), EZDecompressionError);
    EXPECT_THROW(ZipString(EncodeBase64("not zlib at all"), false), EZDecompressionError);

    // A small stream that inflates past the cap: refused, not allocated.
    const std::string bomb = Deflated(std::string(kMaxInflatedSize + 1, '\0'));
    EXPECT_LT(bomb.size(), 200000u);
    EXPECT_THROW(ZipString(EncodeBase64(bomb), false), EZDecompressionError);
    const std::string atCap = Deflated(std::string(kMaxInflatedSize, '\0'));
    EXPECT_EQ(kMaxInflatedSize, ZipString(EncodeBase64(atCap), false).size());
}

TEST(Codec, ReplyWithMalformedUtf8IsAnError)
{
    const std::string body = EncodeBase64(Deflated("a|\xC3(|"));
    EXPECT_THROW(UnpackUtf8Cmd(DecodeReplyBody(body)), EConvertError);
}
