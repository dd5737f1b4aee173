#pragma once
// Text helpers with the runtime's conversion rules that the trading client relies on.
// All texts are GBK; case and trim helpers never touch the trail byte of a double-byte
// character (GBK trail bytes include 0x40-0x7E, so 'A'..'z' can be half of a character).

#include <cstdint>
#include <string>
#include <string_view>

#include "framework/Exception.h"

// Integer: leading blanks, an optional sign, decimal digits or "$" and hex digits; the whole
// rest of the text must be consumed and the value must fit 32 bits ("$" allows up to $FFFFFFFF,
// which wraps as the runtime does).
bool TryStrToInt(std::string_view text, int32_t& value);
int32_t StrToInt(std::string_view text);  // EConvertError "'%s' is not a valid integer value"
int32_t StrToIntDef(std::string_view text, int32_t fallback);

// Float: leading and trailing blanks, a sign, digits with the given decimal separator and an
// optional exponent. No "inf", "nan", hex floats or thousands separators.
bool TryStrToFloat(std::string_view text, double& value, char decimalSeparator = '.');
double StrToFloat(std::string_view text, char decimalSeparator = '.');  // EConvertError

// Strict forms for numbers on the trading wire: no blanks, "." only, plain decimal.
bool TryWireStrToInt(std::string_view text, int32_t& value);
bool TryWireStrToFloat(std::string_view text, double& value);
int32_t WireStrToInt(std::string_view text);    // EConvertError
double WireStrToFloat(std::string_view text);   // EConvertError

// General form with up to 15 significant digits: 3500 -> "3500", 0.5 -> "0.5", 1e20 -> "1E20".
std::string FloatToStr(double value, char decimalSeparator = '.');
std::string IntToStr(int64_t value);

// "True"/"False" in any case, or a number (0 is false).
bool TryStrToBool(std::string_view text, bool& value);
bool StrToBool(std::string_view text);  // EConvertError "'%s' is not a valid boolean value"
std::string BoolToStr(bool value);      // "True" or "False"

// Characters up to and including the blank are trimmed, as the runtime's Trim does.
std::string Trim(std::string_view text);
std::string TrimLeft(std::string_view text);
std::string TrimRight(std::string_view text);

std::string UpperCase(std::string_view text);
std::string LowerCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);

// True when byte c starts a GBK double-byte character.
inline bool IsGbkLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
// True when byte c can end a GBK double-byte character.
inline bool IsGbkTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }
// Bytes of the character that starts at i: 2 for a lead byte followed by a trail byte, else 1,
// so a damaged lead byte never swallows a "," or "%" behind it.
inline size_t GbkCharLength(std::string_view text, size_t i)
{
    return i + 1 < text.size() && IsGbkLeadByte(static_cast<unsigned char>(text[i])) &&
                   IsGbkTrailByte(static_cast<unsigned char>(text[i + 1]))
               ? 2
               : 1;
}
