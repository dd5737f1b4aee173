#include "trading/connection/StringZip.h"

#include <zlib.h>

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
    size_t produced = 0;
    int r = Z_OK;
    // Grow by the expected ratio first, so a typical reply takes one or two passes.
    size_t room = source.size() * 4 + kChunk;
    while (r != Z_STREAM_END) {
        if (produced >= kMaxInflatedSize) {
            inflateEnd(&z);
            destination.resize(start);
            throw EZDecompressionError("zlib: inflated data too large");
        }
        if (room > kMaxInflatedSize - produced)
            room = kMaxInflatedSize - produced + 1;
        destination.resize(start + produced + room);
        z.next_out = reinterpret_cast<Bytef*>(destination.data() + start + produced);
        z.avail_out = static_cast<uInt>(room);
        r = inflate(&z, Z_NO_FLUSH);
        produced = z.total_out;
        if (r == Z_STREAM_END)
            break;
        if (r != Z_OK || (z.avail_in == 0 && z.avail_out != 0)) {
            // No more input before the end of the stream: truncated, or corrupt data.
            const bool truncated = r == Z_OK || r == Z_BUF_ERROR;
            inflateEnd(&z);
            destination.resize(start);
            throw EZDecompressionError(truncated ? "zlib: unexpected end of stream" : "zlib: data error");
        }
        room = room * 2;
    }
    inflateEnd(&z);
    if (produced > kMaxInflatedSize) {
        destination.resize(start);
        throw EZDecompressionError("zlib: inflated data too large");
    }
    destination.resize(start + produced);
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
