#include "crashreport/capture/EInflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>

namespace {

std::string ZlibMessage(int code, const z_stream& stream)
{
    if (stream.msg)
        return stream.msg;
    const char* text = zError(code);
    return text ? text : "zlib error";
}

}  // namespace

size_t InflateBuffer(const void* input, size_t inputSize, std::string& out, size_t limit)
{
    out.clear();
    if (inputSize > UINT_MAX)
        throw EZLibError("Compressed data too large.");
    // The buffer grows in steps of the input size rounded up to 256 bytes.
    const size_t step = (inputSize + 255) / 256 * 256 + (inputSize == 0 ? 256 : 0);
    z_stream stream{};
    stream.next_in = static_cast<Bytef*>(const_cast<void*>(input));
    stream.avail_in = static_cast<uInt>(inputSize);
    int code = inflateInit(&stream);
    if (code != Z_OK)
        throw EZLibError(ZlibMessage(code, stream));
    std::string buffer;
    try {
        size_t produced = 0;
        while (true) {
            if (produced == buffer.size()) {
                if (buffer.size() >= limit) {
                    // Full: only the stream's end may still come, without another byte.
                    Bytef spare = 0;
                    stream.next_out = &spare;
                    stream.avail_out = 1;
                    code = inflate(&stream, Z_NO_FLUSH);
                    if (code != Z_STREAM_END || stream.avail_out != 1)
                        code = Z_BUF_ERROR;
                    break;
                }
                buffer.resize(std::min(buffer.size() + step, limit));
            }
            stream.next_out = reinterpret_cast<Bytef*>(buffer.data() + produced);
            stream.avail_out = static_cast<uInt>(std::min<size_t>(buffer.size() - produced, UINT_MAX));
            const uInt before = stream.avail_out;
            code = inflate(&stream, Z_NO_FLUSH);
            produced += before - stream.avail_out;
            if (code != Z_OK)
                break;
            if (stream.avail_in == 0 && stream.avail_out != 0) {
                code = Z_DATA_ERROR;  // all input used, no end of stream: cut short
                break;
            }
        }
        buffer.resize(produced);
    } catch (...) {
        inflateEnd(&stream);
        throw;
    }
    const std::string message = ZlibMessage(code, stream);
    const int endCode = inflateEnd(&stream);
    if (code != Z_STREAM_END)
        throw EZLibError(code == Z_BUF_ERROR && buffer.size() >= limit ? std::string("Inflated data too large.") : message);
    if (endCode != Z_OK)
        throw EZLibError(zError(endCode));
    out.swap(buffer);
    return out.size();
}
