#include "crashreport/capture/EPngWriter.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

TOctreeQuantizer::TOctreeQuantizer()
{
    std::fill(std::begin(reducible_), std::end(reducible_), -1);
}

int TOctreeQuantizer::NewNode(int depth)
{
    int index;
    if (!free_.empty()) {
        index = free_.back();
        free_.pop_back();
        nodes_[index] = TNode{};
    } else {
        index = static_cast<int>(nodes_.size());
        nodes_.emplace_back();
    }
    if (depth == 8) {
        nodes_[index].leaf = true;
        ++leafCount_;
    } else {
        nodes_[index].next = reducible_[depth];
        reducible_[depth] = index;
    }
    return index;
}

void TOctreeQuantizer::FreeNode(int index)
{
    free_.push_back(index);
}

void TOctreeQuantizer::AddColor(uint8_t red, uint8_t green, uint8_t blue)
{
    if (root_ < 0)
        root_ = NewNode(0);
    int node = root_;
    for (int depth = 0; !nodes_[node].leaf; ++depth) {
        int bit = 7 - depth;
        int child = ((red >> bit) & 1) * 4 + ((green >> bit) & 1) * 2 + ((blue >> bit) & 1);
        if (nodes_[node].children[child] < 0) {
            int created = NewNode(depth + 1);  // may move nodes_: index again after
            nodes_[node].children[child] = created;
        }
        node = nodes_[node].children[child];
    }
    TNode& leaf = nodes_[node];
    ++leaf.count;
    leaf.red += red;
    leaf.green += green;
    leaf.blue += blue;
    while (leafCount_ > 256)
        Reduce();
}

void TOctreeQuantizer::Reduce()
{
    int depth = 7;
    while (depth > 0 && reducible_[depth] < 0)
        --depth;
    int index = reducible_[depth];
    if (index < 0)
        return;
    TNode& node = nodes_[index];
    reducible_[depth] = node.next;
    int children = 0;
    for (int& c : node.children) {
        if (c < 0)
            continue;
        const TNode& child = nodes_[c];
        node.count += child.count;
        node.red += child.red;
        node.green += child.green;
        node.blue += child.blue;
        FreeNode(c);
        c = -1;
        ++children;
    }
    node.leaf = true;
    leafCount_ -= children - 1;
}

void TOctreeQuantizer::Collect(int index, TPaletteColor* palette, int& n) const
{
    const TNode& node = nodes_[index];
    if (node.leaf) {
        if (n < 256 && node.count) {
            palette[n++] = {static_cast<uint8_t>(node.red / node.count), static_cast<uint8_t>(node.green / node.count),
                            static_cast<uint8_t>(node.blue / node.count)};
        }
        return;
    }
    for (int c : node.children)
        if (c >= 0)
            Collect(c, palette, n);
}

int TOctreeQuantizer::BuildPalette(TPaletteColor palette[256]) const
{
    std::fill(palette, palette + 256, TPaletteColor{0, 0, 0});
    int n = 0;
    if (root_ >= 0)
        Collect(root_, palette, n);
    return n;
}

TNearestColor::TNearestColor(const TPaletteColor palette[256])
{
    memcpy(palette_, palette, sizeof palette_);
    for (int i = 0; i < 256; ++i)
        byRed_[i] = static_cast<uint8_t>(i);
    std::stable_sort(std::begin(byRed_), std::end(byRed_),
                     [this](uint8_t a, uint8_t b) { return palette_[a].Red < palette_[b].Red; });
}

uint8_t TNearestColor::Find(uint8_t red, uint8_t green, uint8_t blue) const
{
    // Walk outwards from the entries of the same red; stop each way once red alone is too far.
    int mid = static_cast<int>(std::lower_bound(std::begin(byRed_), std::end(byRed_), red,
                                                [this](uint8_t i, uint8_t r) { return palette_[i].Red < r; }) -
                               std::begin(byRed_));
    int best = -1;
    int bestDistance = 1 << 30;
    auto consider = [&](int i) {
        const TPaletteColor& p = palette_[i];
        int dr = p.Red - red, dg = p.Green - green, db = p.Blue - blue;
        int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance || (d == bestDistance && i < best)) {
            bestDistance = d;
            best = i;
        }
    };
    for (int up = mid, down = mid - 1; up < 256 || down >= 0;) {
        bool any = false;
        if (up < 256) {
            int dr = palette_[byRed_[up]].Red - red;
            if (dr * dr <= bestDistance) {
                consider(byRed_[up++]);
                any = true;
            } else {
                up = 256;
            }
        }
        if (down >= 0) {
            int dr = palette_[byRed_[down]].Red - red;
            if (dr * dr <= bestDistance) {
                consider(byRed_[down--]);
                any = true;
            } else {
                down = -1;
            }
        }
        if (!any && up >= 256 && down < 0)
            break;
    }
    return static_cast<uint8_t>(best);
}

namespace {

struct TCrcTable {
    uint32_t values[256];
    TCrcTable()
    {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k)
                c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            values[n] = c;
        }
    }
};

const uint32_t* CrcTable()
{
    static const TCrcTable table;  // built on first use
    return table.values;
}

void PutU32(std::string& out, uint32_t v)
{
    out.push_back(static_cast<char>(v >> 24));
    out.push_back(static_cast<char>(v >> 16));
    out.push_back(static_cast<char>(v >> 8));
    out.push_back(static_cast<char>(v));
}

void PutChunk(std::string& out, const char* type, const uint8_t* data, size_t size)
{
    PutU32(out, static_cast<uint32_t>(size));
    out.append(type, 4);
    if (size)
        out.append(reinterpret_cast<const char*>(data), size);
    uint32_t crc = PngCrc32(reinterpret_cast<const uint8_t*>(type), 4);
    crc = PngCrc32(data, size, crc);
    PutU32(out, crc);
}

}  // namespace

uint32_t PngCrc32(const uint8_t* data, size_t size, uint32_t crc)
{
    const uint32_t* table = CrcTable();
    uint32_t c = crc ^ 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

bool WritePalettePng(int width, int height, const TPaletteColor palette[256], const uint8_t* indices,
                     size_t stride, std::string& out)
{
    if (width < 1 || height < 1)
        return false;
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    out.assign(reinterpret_cast<const char*>(signature), sizeof signature);

    uint8_t header[13] = {};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(static_cast<uint32_t>(width) >> (24 - 8 * i));
        header[4 + i] = static_cast<uint8_t>(static_cast<uint32_t>(height) >> (24 - 8 * i));
    }
    header[8] = 8;  // bit depth
    header[9] = 3;  // palette
    PutChunk(out, "IHDR", header, sizeof header);

    uint8_t plte[768];
    for (int i = 0; i < 256; ++i) {
        plte[3 * i] = palette[i].Red;
        plte[3 * i + 1] = palette[i].Green;
        plte[3 * i + 2] = palette[i].Blue;
    }
    PutChunk(out, "PLTE", plte, sizeof plte);

    z_stream z{};
    if (deflateInit(&z, 9) != Z_OK)
        return false;
    std::vector<uint8_t> buffer(PngIdatBufferSize);
    std::vector<uint8_t> row(static_cast<size_t>(width) + 1);
    z.next_out = buffer.data();
    z.avail_out = static_cast<uInt>(buffer.size());
    bool ok = true;
    auto drain = [&](int flush) {
        for (;;) {
            int rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR)
                return false;
            if (z.avail_out == 0) {
                PutChunk(out, "IDAT", buffer.data(), buffer.size());
                z.next_out = buffer.data();
                z.avail_out = static_cast<uInt>(buffer.size());
                continue;
            }
            if (flush == Z_FINISH ? rc == Z_STREAM_END : z.avail_in == 0)
                return true;
        }
    };
    for (int y = 0; y < height && ok; ++y) {
        row[0] = 0;  // filter: none
        memcpy(&row[1], indices + static_cast<size_t>(y) * stride, static_cast<size_t>(width));
        z.next_in = row.data();
        z.avail_in = static_cast<uInt>(row.size());
        ok = drain(Z_NO_FLUSH);
    }
    if (ok)
        ok = drain(Z_FINISH);
    size_t rest = buffer.size() - z.avail_out;
    deflateEnd(&z);
    if (!ok)
        return false;
    if (rest)
        PutChunk(out, "IDAT", buffer.data(), rest);
    PutChunk(out, "IEND", nullptr, 0);
    return true;
}

bool WritePngStream(const TBgrImage& image, std::string& out)
{
    if (!image.Pixels || image.Width < 1 || image.Height < 1)
        return false;
    const size_t w = static_cast<size_t>(image.Width);
    TOctreeQuantizer octree;
    for (int y = 0; y < image.Height; ++y) {
        const uint8_t* p = image.Pixels + static_cast<size_t>(y) * image.Stride;
        for (size_t x = 0; x < w; ++x, p += 3)  // the row's real width: padding is no pixel
            octree.AddColor(p[2], p[1], p[0]);
    }
    TPaletteColor palette[256];
    octree.BuildPalette(palette);
    TNearestColor nearest(palette);
    std::vector<uint8_t> indices(w * static_cast<size_t>(image.Height));
    // Neighbouring pixels mostly repeat: remember the last answer.
    uint32_t lastColor = 0xFFFFFFFFu;
    uint8_t lastIndex = 0;
    for (int y = 0; y < image.Height; ++y) {
        const uint8_t* p = image.Pixels + static_cast<size_t>(y) * image.Stride;
        uint8_t* dest = &indices[static_cast<size_t>(y) * w];
        for (size_t x = 0; x < w; ++x, p += 3) {
            uint32_t color = p[0] | p[1] << 8 | static_cast<uint32_t>(p[2]) << 16;
            if (color != lastColor) {
                lastColor = color;
                lastIndex = nearest.Find(p[2], p[1], p[0]);
            }
            dest[x] = lastIndex;
        }
    }
    return WritePalettePng(image.Width, image.Height, palette, indices.data(), w, out);
}
