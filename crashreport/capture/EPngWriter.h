#pragma once
// The screenshot's file: an octree reduces the capture to at most 256 colours, every pixel
// takes its nearest palette colour, and the indices go out as a palette PNG. Chunk framing
// and CRC-32 are our own; only deflate comes from zlib.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct TPaletteColor {
    uint8_t Red, Green, Blue;
};

class TOctreeQuantizer {
public:
    TOctreeQuantizer();
    void AddColor(uint8_t red, uint8_t green, uint8_t blue);
    // Leaf averages in depth-first order, the rest black; returns the number of leaves.
    int BuildPalette(TPaletteColor palette[256]) const;
    int LeafCount() const { return leafCount_; }

private:
    struct TNode {
        bool leaf = false;
        uint32_t count = 0;
        uint64_t red = 0, green = 0, blue = 0;
        int children[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
        int next = -1;  // next reducible node of the same depth
    };
    int NewNode(int depth);
    void FreeNode(int index);
    void Reduce();
    void Collect(int node, TPaletteColor* palette, int& n) const;

    std::vector<TNode> nodes_;
    std::vector<int> free_;
    int reducible_[8];
    int leafCount_ = 0;
    int root_ = -1;
};

// The palette entry nearest to the colour (squared distance, lowest index on a tie).
class TNearestColor {
public:
    explicit TNearestColor(const TPaletteColor palette[256]);
    uint8_t Find(uint8_t red, uint8_t green, uint8_t blue) const;

private:
    TPaletteColor palette_[256];
    uint8_t byRed_[256];  // palette indices sorted by red
};

// Rows of 24-bit pixels, blue first as in a device-independent bitmap, top row first; stride
// is the row width in bytes with its padding, which never enters the image.
struct TBgrImage {
    const uint8_t* Pixels = nullptr;
    int Width = 0;
    int Height = 0;
    size_t Stride = 0;
};

// Data of the "IDAT" chunks: every time the deflate buffer of this size is full it becomes a
// chunk, the rest after the stream's end the last one.
constexpr size_t PngIdatBufferSize = 262143;

uint32_t PngCrc32(const uint8_t* data, size_t size, uint32_t crc = 0);

// The PNG of the image reduced to 256 colours; false when deflate fails.
bool WritePngStream(const TBgrImage& image, std::string& out);
// The same for an image already in palette form: one index per pixel, rows of stride bytes.
bool WritePalettePng(int width, int height, const TPaletteColor palette[256], const uint8_t* indices,
                     size_t stride, std::string& out);
