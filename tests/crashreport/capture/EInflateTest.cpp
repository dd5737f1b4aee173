#include <gtest/gtest.h>

#include <zlib.h>

#include <string>

#include "crashreport/capture/EInflate.h"

namespace {

std::string Deflate(const std::string& plain)
{
    uLongf size = compressBound(static_cast<uLong>(plain.size()));
    std::string out(size, '\0');
    compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(plain.data()),
              static_cast<uLong>(plain.size()), 9);
    out.resize(size);
    return out;
}

TEST(InflateBuffer, InflatesWholeStreams)
{
    const std::string tenThousand(10000, 'a');
    const std::string packed = Deflate(tenThousand);
    ASSERT_LT(packed.size(), 100u);
    std::string out;
    EXPECT_EQ(10000u, InflateBuffer(packed.data(), packed.size(), out));
    EXPECT_EQ(tenThousand, out);

    std::string mixed;
    for (int i = 0; i < 70000; ++i)
        mixed += static_cast<char>(i * 7919 % 251);
    const std::string packedMixed = Deflate(mixed);
    EXPECT_EQ(mixed.size(), InflateBuffer(packedMixed.data(), packedMixed.size(), out));
    EXPECT_EQ(mixed, out);

    // A limit equal to the output is enough.
    EXPECT_EQ(10000u, InflateBuffer(packed.data(), packed.size(), out, 10000));
}

TEST(InflateBuffer, RefusesStreamsThatDoNotEndOrGrowTooLarge)
{
    const std::string plain(100000, 'z');
    const std::string packed = Deflate(plain);
    std::string damaged = packed;
    damaged[3] ^= 0x55;
    std::string badCheck = packed;
    badCheck.back() ^= 1;
    struct {
        const char* what;
        std::string input;
        size_t limit;
    } cases[] = {
        {"cut in the middle", packed.substr(0, packed.size() / 2), DefaultInflateLimit},
        {"cut before the check value", packed.substr(0, packed.size() - 2), DefaultInflateLimit},
        {"damaged", damaged, DefaultInflateLimit},
        {"wrong check value", badCheck, DefaultInflateLimit},
        {"not zlib at all", std::string("hello, world"), DefaultInflateLimit},
        {"empty", std::string(), DefaultInflateLimit},
        {"over the limit", packed, 99999},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string out = "stale";
        EXPECT_THROW(InflateBuffer(c.input.data(), c.input.size(), out, c.limit), EZLibError);
        EXPECT_TRUE(out.empty());
    }
}

}  // namespace
