#pragma once
// The bug identifier's checksum and the MD5 digest.

#include <cstddef>
#include <cstdint>
#include <string_view>

// CRC-16/XMODEM: polynomial 0x1021, start 0, no reflection, no final XOR.
uint16_t Crc16OfText(std::string_view text);

void Md5Digest(uint8_t digest[16], const void* bytes, size_t count);
