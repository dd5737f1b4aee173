#include "trading/connection/Fun.h"

#include <cstring>

#include "framework/CodePage.h"
#include "trading/connection/StringZip.h"

TCmdStr ClearCmd(const TCmdStr&)
{
    TCmdStr record;
    record.fill("#");
    return record;
}

std::string JoinCmd(const TCmdStr& record)
{
    size_t size = 0;
    for (const auto& f : record)
        size += f.size() + 1;
    std::string joined;
    joined.reserve(size);
    for (const auto& f : record) {
        joined += f;
        joined += '|';
    }
    return joined;
}

std::string PackCmd(const TCmdStr& record)
{
    // Checked in UTF-8, where a "|" byte is always the character: in GBK, 0x7C is also a
    // trail byte ("東" is 96 7C).
    std::string joined;
    for (int i = 0; i < kCmdFieldCount; ++i) {
        const std::string field = GbkToUtf8(record[static_cast<size_t>(i)]);
        if (field.find_first_of(std::string_view("|\r\n\0", 4)) != std::string::npos)
            throw EInvalidCmdField(Format("Field %d of the request holds a separator or line break", i));
        joined += field;
        joined += '|';
    }
    return ZipString(joined, true);
}

namespace {

// Splits a joined line and stores each field through store(field, text).
template <class Store>
void SplitCmd(std::string_view line, Store store)
{
    const size_t nul = line.find('\0');
    if (nul != std::string_view::npos)
        line = line.substr(0, nul);
    const char* const begin = line.data();
    const char* const end = begin + line.size();
    const char* start = begin;
    for (size_t field = 0; field < kCmdFieldCount; ++field) {
        const auto* bar = static_cast<const char*>(std::memchr(start, '|', static_cast<size_t>(end - start)));
        if (!bar)
            return;
        store(field, std::string_view(start, static_cast<size_t>(bar - start)));
        start = bar + 1;
    }
}

bool IsAscii(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

}  // namespace

TCmdStr UnpackCmd(std::string_view line)
{
    TCmdStr record;
    SplitCmd(line, [&](size_t i, std::string_view text) { record[i].assign(text); });
    return record;
}

std::string DecodeReplyBody(std::string_view body) { return ZipString(body, false); }

TCmdStr UnpackUtf8Cmd(std::string_view utf8Line)
{
    TCmdStr record;
    SplitCmd(utf8Line, [&](size_t i, std::string_view text) {
        if (IsAscii(text))
            record[i].assign(text);
        else
            AppendUtf8AsGbk(record[i], text);
    });
    return record;
}
