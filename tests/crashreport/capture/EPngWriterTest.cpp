#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "crashreport/capture/EPngWriter.h"

namespace {

// Rows of BGR pixels with their DIB padding.
struct TTestImage {
    int width, height;
    size_t stride;
    std::vector<uint8_t> bytes;
    TTestImage(int w, int h) : width(w), height(h), stride((static_cast<size_t>(w) * 24 + 31) / 32 * 4), bytes(stride * h) {}
    void Set(int x, int y, uint8_t r, uint8_t g, uint8_t b)
    {
        uint8_t* p = &bytes[y * stride + 3 * x];
        p[0] = b, p[1] = g, p[2] = r;
    }
    TBgrImage View() const { return {bytes.data(), width, height, stride}; }
    std::string Rgb() const
    {
        std::string out;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = &bytes[y * stride + 3 * x];
                out += static_cast<char>(p[2]);
                out += static_cast<char>(p[1]);
                out += static_cast<char>(p[0]);
            }
        return out;
    }
};

std::string SourceDir()
{
    const char* d = getenv("VIDUDO_SOURCE_DIR");
    return d ? d : ".";
}

void Save(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int Run(const std::string& cmd)
{
    // the checkers run outside the sanitizers' reach
    std::string line = "env -u LD_PRELOAD " + cmd;
    return system(line.c_str());
}

void CheckStrict(const std::string& name, const std::string& png, const std::string& extra)
{
    Save(name, png);
    EXPECT_EQ(0, Run("pngcheck -v " + name + " > " + name + ".pngcheck 2>&1")) << name;
    // Debian's own interpreter: PIL comes with it
    const char* python = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3 " : "python3 ";
    EXPECT_EQ(0, Run(python + SourceDir() + "/tests/crashreport/capture/png_strict.py " + name + " " + extra))
        << name;
}

TEST(PngWriter, TwoHundredFiftySixColoursAtWidthThirteenSurviveExactly)
{
    // 13 pixels are 39 bytes, padded to 40: the pad bytes hold colours of their own, which
    // must neither take palette slots nor show up.
    TTestImage img(13, 20);
    std::mt19937 gen(1);
    for (auto& b : img.bytes)
        b = static_cast<uint8_t>(gen());
    std::set<uint32_t> seen;
    for (int i = 0; i < 13 * 20; ++i) {
        int c = i % 256;
        img.Set(i % 13, i / 13, static_cast<uint8_t>(c * 37), static_cast<uint8_t>(255 - c), static_cast<uint8_t>(c * 11 + 3));
        seen.insert(static_cast<uint32_t>(c * 37 % 256) << 16 | (255 - c) << 8 | (c * 11 + 3) % 256);
    }
    ASSERT_EQ(256u, seen.size());
    std::string png;
    ASSERT_TRUE(WritePngStream(img.View(), png));
    ASSERT_GT(png.size(), 33u);
    EXPECT_EQ(std::string("\0\0\0\x0D", 4), png.substr(8, 4));
    EXPECT_EQ("IHDR", png.substr(12, 4));
    EXPECT_EQ(std::string("\0\0\0\x0D\0\0\0\x14\x08\x03\0\0\0", 13), png.substr(16, 13));  // real width 13
    Save("width13.rgb", img.Rgb());
    CheckStrict("width13.png", png, "--rgb=width13.rgb");
}

TEST(PngWriter, NoiseIsSplitIntoFullIdatChunks)
{
    TTestImage img(2000, 2000);
    std::mt19937 gen(2);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x) {
            uint32_t v = gen();
            img.Set(x, y, static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16));
        }
    std::string png;
    ASSERT_TRUE(WritePngStream(img.View(), png));
    CheckStrict("noise.png", png, "--idat=262143");
}

TEST(PngWriter, OctreeReductionKeepsAtMost256ColoursAndAverages)
{
    TOctreeQuantizer q;
    for (int i = 0; i < 4096; ++i)
        q.AddColor(static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 4), static_cast<uint8_t>(i * 7));
    EXPECT_LE(q.LeafCount(), 256);
    TPaletteColor palette[256];
    EXPECT_EQ(q.LeafCount(), q.BuildPalette(palette));

    // Two shades that fall into one leaf after a reduction average to their mean.
    TOctreeQuantizer two;
    two.AddColor(10, 20, 30);
    two.AddColor(10, 20, 30);
    two.AddColor(11, 20, 30);
    EXPECT_EQ(2, two.BuildPalette(palette));
    EXPECT_EQ(10, palette[0].Red);
    EXPECT_EQ(11, palette[1].Red);
    EXPECT_EQ(0, palette[2].Red + palette[2].Green + palette[2].Blue);
}

TEST(PngWriter, NearestColourAndSmallImages)
{
    TPaletteColor palette[256] = {};
    palette[0] = {255, 255, 255};
    palette[1] = {200, 0, 0};
    palette[2] = {0, 0, 250};
    TNearestColor nearest(palette);
    struct { uint8_t r, g, b, index; } cases[] = {
        {255, 255, 255, 0}, {190, 10, 10, 1}, {0, 0, 200, 2}, {10, 10, 10, 3}, {170, 170, 170, 0}, {0, 0, 0, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.r));
        EXPECT_EQ(c.index, nearest.Find(c.r, c.g, c.b));
    }
    // against a plain search over every entry
    std::mt19937 gen(3);
    for (int round = 0; round < 20; ++round) {
        TPaletteColor random[256];
        for (auto& p : random)
            p = {static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen()), static_cast<uint8_t>(gen() & 0xF0)};
        TNearestColor n(random);
        for (int k = 0; k < 500; ++k) {
            uint8_t r = static_cast<uint8_t>(gen()), g = static_cast<uint8_t>(gen()), b = static_cast<uint8_t>(gen());
            int best = 0, bestD = 1 << 30;
            for (int i = 0; i < 256; ++i) {
                int d = (random[i].Red - r) * (random[i].Red - r) + (random[i].Green - g) * (random[i].Green - g) +
                        (random[i].Blue - b) * (random[i].Blue - b);
                if (d < bestD)
                    bestD = d, best = i;
            }
            ASSERT_EQ(best, n.Find(r, g, b));
        }
    }
    TTestImage one(1, 1);
    one.Set(0, 0, 1, 2, 3);
    std::string png;
    ASSERT_TRUE(WritePngStream(one.View(), png));
    Save("one.rgb", one.Rgb());
    CheckStrict("one.png", png, "--rgb=one.rgb");
    TBgrImage empty{};
    EXPECT_FALSE(WritePngStream(empty, png));
}

TEST(PngWriter, Crc32)
{
    const char* text = "123456789";
    EXPECT_EQ(0xCBF43926u, PngCrc32(reinterpret_cast<const uint8_t*>(text), 9));
    EXPECT_EQ(0xCBF43926u, PngCrc32(reinterpret_cast<const uint8_t*>(text) + 4, 5,
                                    PngCrc32(reinterpret_cast<const uint8_t*>(text), 4)));
}

}  // namespace
