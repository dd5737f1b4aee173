#pragma once
// The 64-bit block cipher of the reporter's stored texts and debug data. It is not standard
// TEA: the three terms of each round are added, not XORed, and the stored data depends on it.

#include <cstddef>
#include <cstdint>
#include <string_view>

// Key: the MD5 digest of the text, as four big-endian words.
void SetCipherKey(std::string_view text);

void EncryptBlock(const uint8_t in[8], uint8_t out[8]);
void DecryptBlock(const uint8_t in[8], uint8_t out[8]);

// Cipher-block chaining from eight 0xFF bytes; a 1-7 byte tail is XORed with the encrypted
// chaining value. EncryptBuffer is the inverse, for the build tool.
void DecryptBuffer(const uint8_t* in, uint8_t* out, size_t count);
void EncryptBuffer(const uint8_t* in, uint8_t* out, size_t count);
