#pragma once
// Little-endian byte writer and reader over memory: the form the options travel in. The
// reader treats its input as untrusted: every read is bounds-checked and a short read raises
// EStreamReadError instead of touching memory past the end.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Exception.h"

class EStreamReadError : public Exception {
public:
    using Exception::Exception;
};

class TByteWriter {
public:
    void U8(uint8_t v) { bytes_ += static_cast<char>(v); }
    void U16(uint16_t v);
    void U32(uint32_t v);
    void Bytes(std::string_view bytes) { bytes_.append(bytes); }
    const std::string& Data() const { return bytes_; }

private:
    std::string bytes_;
};

class TByteReader {
public:
    explicit TByteReader(std::string_view bytes) : bytes_(bytes) {}
    uint8_t U8();
    uint16_t U16();
    uint32_t U32();
    std::string Bytes(size_t count);
    void Skip(size_t count) { Bytes(count); }
    size_t Left() const { return bytes_.size() - pos_; }
    size_t Position() const { return pos_; }

private:
    void Need(size_t count) const;
    std::string_view bytes_;
    size_t pos_ = 0;
};
