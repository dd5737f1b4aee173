#include "framework/SysUtils.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Checks the shape [sign] (digits [sep digits] | sep digits) [e [sign] digits] over the whole
// view and writes a '.'-separated copy for strtod, which is locale-dependent only in the
// separator that we have already replaced.
bool ParseDecimalFloat(std::string_view s, char separator, double& value)
{
    if (s.empty())
        return false;
    std::string buffer;
    buffer.reserve(s.size());
    size_t i = 0;
    if (s[i] == '+' || s[i] == '-')
        buffer += s[i++];
    size_t intDigits = 0, fracDigits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        buffer += s[i++];
        ++intDigits;
    }
    if (i < s.size() && s[i] == separator) {
        buffer += '.';
        ++i;
        while (i < s.size() && IsDigit(s[i])) {
            buffer += s[i++];
            ++fracDigits;
        }
    }
    if (intDigits == 0 && fracDigits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        buffer += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            buffer += s[i++];
        size_t expDigits = 0;
        while (i < s.size() && IsDigit(s[i])) {
            buffer += s[i++];
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != s.size())
        return false;
    // strtod reads the C locale's "." here: the program never calls setlocale for numbers.
    char* end = nullptr;
    const double v = std::strtod(buffer.c_str(), &end);
    if (end != buffer.c_str() + buffer.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

}  // namespace

bool TryStrToInt(std::string_view text, int32_t& value)
{
    size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size())
        return false;
    if (text[i] == '$') {
        ++i;
        if (i >= text.size())
            return false;
        uint64_t v = 0;
        for (; i < text.size(); ++i) {
            const int h = HexValue(text[i]);
            if (h < 0)
                return false;
            v = v * 16 + static_cast<uint64_t>(h);
            if (v > 0xFFFFFFFFull)
                return false;
        }
        uint32_t u = static_cast<uint32_t>(v);
        if (negative)
            u = 0u - u;
        value = static_cast<int32_t>(u);
        return true;
    }
    int64_t v = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i]))
            return false;
        v = v * 10 + (text[i] - '0');
        if (v > 2147483648LL)
            return false;
    }
    if (negative)
        v = -v;
    if (v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min())
        return false;
    value = static_cast<int32_t>(v);
    return true;
}

int32_t StrToInt(std::string_view text)
{
    int32_t v = 0;
    if (!TryStrToInt(text, v))
        throw EConvertError(Format("'%.*s' is not a valid integer value", static_cast<int>(text.size()), text.data()));
    return v;
}

int32_t StrToIntDef(std::string_view text, int32_t fallback)
{
    int32_t v = 0;
    return TryStrToInt(text, v) ? v : fallback;
}

bool TryStrToFloat(std::string_view text, double& value, char decimalSeparator)
{
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return ParseDecimalFloat(text.substr(b, e - b), decimalSeparator, value);
}

double StrToFloat(std::string_view text, char decimalSeparator)
{
    double v = 0;
    if (!TryStrToFloat(text, v, decimalSeparator))
        throw EConvertError(Format("'%.*s' is not a valid floating point value", static_cast<int>(text.size()), text.data()));
    return v;
}

bool TryWireStrToInt(std::string_view text, int32_t& value)
{
    if (text.empty())
        return false;
    size_t i = text[0] == '-' ? 1 : 0;
    if (i == text.size())
        return false;
    for (size_t k = i; k < text.size(); ++k)
        if (!IsDigit(text[k]))
            return false;
    return TryStrToInt(text, value);
}

bool TryWireStrToFloat(std::string_view text, double& value)
{
    return ParseDecimalFloat(text, '.', value);
}

int32_t WireStrToInt(std::string_view text)
{
    int32_t v = 0;
    if (!TryWireStrToInt(text, v))
        throw EConvertError(Format("'%.*s' is not a valid integer value", static_cast<int>(text.size()), text.data()));
    return v;
}

double WireStrToFloat(std::string_view text)
{
    double v = 0;
    if (!TryWireStrToFloat(text, v))
        throw EConvertError(Format("'%.*s' is not a valid floating point value", static_cast<int>(text.size()), text.data()));
    return v;
}

std::string FloatToStr(double value, char decimalSeparator)
{
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value > 0 ? "INF" : "-INF";
    if (value == 0)
        return "0";
    // 15 significant digits, then strip what the general form doesn't show.
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.14e", value);
    // buf: [-]d.dddddddddddddde[+-]xx
    const char* p = buf;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    std::string digits;
    for (; *p && *p != 'e'; ++p)
        if (IsDigit(*p))
            digits += *p;
    const int exponent = std::atoi(p + 1);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= -5 && exponent < 15) {
        if (exponent < 0) {
            out += '0';
            out += decimalSeparator;
            out.append(static_cast<size_t>(-exponent - 1), '0');
            out += digits;
        } else {
            const size_t intLen = static_cast<size_t>(exponent) + 1;
            if (digits.size() <= intLen) {
                out += digits;
                out.append(intLen - digits.size(), '0');
            } else {
                out += digits.substr(0, intLen);
                out += decimalSeparator;
                out += digits.substr(intLen);
            }
        }
        return out;
    }
    out += digits[0];
    if (digits.size() > 1) {
        out += decimalSeparator;
        out += digits.substr(1);
    }
    out += 'E';
    out += std::to_string(exponent);
    return out;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

bool TryStrToBool(std::string_view text, bool& value)
{
    if (SameText(text, "True")) {
        value = true;
        return true;
    }
    if (SameText(text, "False")) {
        value = false;
        return true;
    }
    double number = 0;
    if (TryStrToFloat(text, number)) {
        value = number != 0;
        return true;
    }
    return false;
}

bool StrToBool(std::string_view text)
{
    bool v = false;
    if (!TryStrToBool(text, v))
        throw EConvertError(Format("'%.*s' is not a valid boolean value", static_cast<int>(text.size()), text.data()));
    return v;
}

std::string BoolToStr(bool value) { return value ? "True" : "False"; }

std::string Trim(std::string_view text)
{
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b]))
        ++b;
    while (e > b && IsBlank(text[e - 1]))
        --e;
    return std::string(text.substr(b, e - b));
}

std::string TrimLeft(std::string_view text)
{
    size_t b = 0;
    while (b < text.size() && IsBlank(text[b]))
        ++b;
    return std::string(text.substr(b));
}

std::string TrimRight(std::string_view text)
{
    size_t e = text.size();
    while (e > 0 && IsBlank(text[e - 1]))
        --e;
    return std::string(text.substr(0, e));
}

namespace {

template <class Map>
std::string MapAsciiCase(std::string_view text, Map map)
{
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) {
        if (GbkCharLength(out, i) == 2) {
            ++i;  // keep the trail byte as it is
            continue;
        }
        out[i] = map(out[i]);
    }
    return out;
}

}  // namespace

std::string UpperCase(std::string_view text)
{
    return MapAsciiCase(text, [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; });
}

std::string LowerCase(std::string_view text)
{
    return MapAsciiCase(text, [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
}

bool SameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && UpperCase(a) == UpperCase(b);
}
