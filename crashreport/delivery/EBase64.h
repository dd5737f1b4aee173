#pragma once
// The crash reporter's Base64: standard alphabet, "=" fill, no line breaks. Decoding does not
// validate; only the length decides the result's size.

#include <cstddef>
#include <string>
#include <string_view>

size_t Base64EncodedLength(size_t count);
size_t Base64DecodedLength(const char* encoded, size_t length);

std::string Base64EncodeBuffer(const void* bytes, size_t count);
std::string Base64EncodeText(std::string_view text);
std::string Base64EncodeString(std::string_view text);
std::string Base64DecodeText(std::string_view text);
std::string Base64DecodeString(std::string_view text);
