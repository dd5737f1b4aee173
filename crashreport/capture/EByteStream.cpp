#include "crashreport/capture/EByteStream.h"

void TByteWriter::U16(uint16_t v)
{
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
}

void TByteWriter::U32(uint32_t v)
{
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
}

void TByteReader::Need(size_t count) const
{
    if (count > Left())
        throw EStreamReadError(Format("Stream read error: %u bytes wanted at offset %u, %u left",
                                      static_cast<unsigned>(count), static_cast<unsigned>(pos_),
                                      static_cast<unsigned>(Left())));
}

uint8_t TByteReader::U8()
{
    Need(1);
    return static_cast<uint8_t>(bytes_[pos_++]);
}

uint16_t TByteReader::U16()
{
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | U8() << 8);
}

uint32_t TByteReader::U32()
{
    const uint32_t lo = U16();
    return lo | static_cast<uint32_t>(U16()) << 16;
}

std::string TByteReader::Bytes(size_t count)
{
    Need(count);
    std::string out(bytes_.substr(pos_, count));
    pos_ += count;
    return out;
}
