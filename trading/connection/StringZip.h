#pragma once
// zlib compression of a text, with Base64 around it for the wire.

#include <cstddef>
#include <string>
#include <string_view>

#include "framework/Exception.h"

class EZCompressionError : public Exception {
public:
    using Exception::Exception;
};

// A stream that is corrupt, truncated or inflates past kMaxInflatedSize.
class EZDecompressionError : public Exception {
public:
    using Exception::Exception;
};

// A hostile reply must not be able to exhaust memory.
constexpr size_t kMaxInflatedSize = 64u << 20;

// Compresses (zlib stream, default level) or inflates the whole source into the destination,
// appending to it. A missing source or destination does nothing.
void ZipStream(const std::string* source, std::string* destination, bool compress);

// Compress: zlib, then Base64. Inflate: Base64-decode, then inflate. Empty gives empty.
std::string ZipString(std::string_view text, bool compress);
