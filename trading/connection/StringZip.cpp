#include "trading/connection/StringZip.h"

#include <zlib.h>

#include <algorithm>

#include "trading/connection/Base64.h"

namespace {

constexpr size_t kChunk = 16384;

void Deflate(std::string_view source, std::string& destination)
{
    z_stream z{};
    if (deflateInit(&z, Z_DEFAULT_COMPRESSION) != Z_OK)
        throw EZCompressionError("zlib: deflateInit failed");
    const size_t start = destination.size();
    destination.resize(start + deflateBound(&z, static_cast<uLong>(source.size())));
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(source.data()));
    z.avail_in = static_cast<uInt>(source.size());
    z.next_out = reinterpret_cast<Bytef*>(destination.data() + start);
    z.avail_out = static_cast<uInt>(destination.size() - start);
    const int r = deflate(&z, Z_FINISH);
    const size_t produced = z.total_out;
    deflateEnd(&z);
    if (r != Z_STREAM_END)
        throw EZCompressionError("zlib: deflate failed");
    destination.resize(start + produced);
}

void Inflate(std::string_view source, std::string& destination)
{
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        throw EZDecompressionError("zlib: inflateInit failed");
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(source.data()));
    z.avail_in = static_cast<uInt>(source.size());
    const size_t start = destination.size();
    auto fail = [&](const char* message) {
        inflateEnd(&z);
        destination.resize(start);
        throw EZDecompressionError(message);
    };
    // Inflate through a fixed buffer and append: the output grows by copying, never by
    // zero-filling room that inflation may not use.
    // Room for a typical ratio up front: pages never written cost nothing, a regrowth copies.
    destination.reserve(start + std::min(source.size() * 8 + kChunk, kMaxInflatedSize));
    char chunk[kChunk * 4];
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        const int r = inflate(&z, Z_NO_FLUSH);
        const size_t produced = sizeof chunk - z.avail_out;
        if (destination.size() - start + produced > kMaxInflatedSize)
            fail("zlib: inflated data too large");
        destination.append(chunk, produced);
        if (r == Z_STREAM_END)
            break;
        // Z_BUF_ERROR here means no progress was possible: the input ended before the stream.
        if (r == Z_BUF_ERROR || (r == Z_OK && z.avail_in == 0 && z.avail_out != 0))
            fail("zlib: unexpected end of stream");
        if (r != Z_OK)
            fail("zlib: data error");
    }
    inflateEnd(&z);
}

}  // namespace

void ZipStream(const std::string* source, std::string* destination, bool compress)
{
    if (!source || !destination)
        return;
    if (compress)
        Deflate(*source, *destination);
    else
        Inflate(*source, *destination);
}

std::string ZipString(std::string_view text, bool compress)
{
    std::string input = compress ? std::string(text) : DecodeBase64(text);
    if (input.empty())
        return {};
    std::string output;
    ZipStream(&input, &output, compress);
    return compress ? EncodeBase64(output) : output;
}
