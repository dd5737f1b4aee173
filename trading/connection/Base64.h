#pragma once
// Base64 of the trading wire: standard alphabet, "=" fill, one line.

#include <string>
#include <string_view>

std::string EncodeBase64(std::string_view bytes);
// Raises Exception "Invalid Base64 length" or "#%d: Invalid char in Base64". "=" is valid only
// as the last one or two characters.
std::string DecodeBase64(std::string_view text);
