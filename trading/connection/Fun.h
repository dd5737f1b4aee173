#pragma once
// The 30-field message record of the trading wire and its codec.

#include <array>
#include <string>
#include <string_view>

#include "framework/Exception.h"

constexpr int kCmdFieldCount = 30;
using TCmdStr = std::array<std::string, kCmdFieldCount>;

// A request field that would shift the record: "|", CR, LF or NUL.
class EInvalidCmdField : public Exception {
public:
    using Exception::Exception;
};

// 30 fields of "#"; the argument plays no part.
TCmdStr ClearCmd(const TCmdStr& = {});

// The joined form: each field followed by "|".
std::string JoinCmd(const TCmdStr& record);

// The transfer text of a request: joined, GBK -> UTF-8, zlib, Base64. Raises EInvalidCmdField.
std::string PackCmd(const TCmdStr& record);

// The record of one joined line, fields taken as they stand: up to the first NUL, at most 30
// fields, text after the last "|" dropped.
TCmdStr UnpackCmd(std::string_view line);

// A reply body to its decoded text, still UTF-8: Base64, then inflation.
std::string DecodeReplyBody(std::string_view body);

// One UTF-8 reply line (or a whole reply) to a GBK record. The split happens before the
// conversion: 0x7C is a legal GBK trail byte, so "|" can't be searched for in GBK text.
TCmdStr UnpackUtf8Cmd(std::string_view utf8Line);
