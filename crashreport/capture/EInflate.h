#pragma once
// Inflation of the zlib data the reporter carries with a module (stored options, debug data).
// The bytes come from the file on disk and are not trusted.

#include <cstddef>
#include <string>

#include "framework/Exception.h"

class EZLibError : public Exception {
public:
    using Exception::Exception;
};

// Data stored with a module never comes near this.
constexpr size_t DefaultInflateLimit = 64u << 20;

// Inflates a whole zlib stream into out and returns its size. Raises EZLibError when the
// stream can't be opened or closed, is damaged, ends early, or would inflate past limit;
// out is then empty.
size_t InflateBuffer(const void* input, size_t inputSize, std::string& out, size_t limit = DefaultInflateLimit);
