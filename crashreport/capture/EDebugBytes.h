#pragma once
// Bounds-checked little-endian reads over debug data that nothing vouches for: each read says
// whether the bytes were there instead of touching memory past the end.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Whether size bytes at address can be read; nullptr means the memory is ours and readable.
using TReadableProbe = bool (*)(const void* address, size_t size);

// A list that frees every entry it holds when it goes.
template <class T>
using TObjectListEx = std::vector<std::unique_ptr<T>>;

class TDebugBytes {
public:
    TDebugBytes() = default;
    TDebugBytes(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }
    bool Holds(size_t offset, size_t count) const { return offset <= size_ && count <= size_ - offset; }
    bool U8(size_t offset, uint8_t& v) const
    {
        if (!Holds(offset, 1))
            return false;
        v = data_[offset];
        return true;
    }
    bool U16(size_t offset, uint16_t& v) const
    {
        if (!Holds(offset, 2))
            return false;
        v = static_cast<uint16_t>(data_[offset] | data_[offset + 1] << 8);
        return true;
    }
    bool U32(size_t offset, uint32_t& v) const
    {
        if (!Holds(offset, 4))
            return false;
        v = data_[offset] | data_[offset + 1] << 8 | data_[offset + 2] << 16 |
            static_cast<uint32_t>(data_[offset + 3]) << 24;
        return true;
    }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};
