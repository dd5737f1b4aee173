#include "crashreport/capture/EGoToSource.h"

#include <algorithm>
#include <cstring>

#include "framework/SysUtils.h"

namespace {

// Leading decimal digits; false when there are none. Saturates instead of overflowing.
bool LeadingNumber(std::string_view text, int32_t& value)
{
    size_t i = 0;
    int64_t n = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        n = std::min<int64_t>(n * 10 + (text[i] - '0'), INT32_MAX);
        ++i;
    }
    value = static_cast<int32_t>(n);
    return i > 0;
}

void PutText(TGoToSourceRecord& record, size_t offset, std::string_view text)
{
    size_t n = 0;
    // At most 89 bytes and a zero; a double-byte character that doesn't fit is left out whole.
    while (n < text.size()) {
        const size_t len = GbkCharLength(text, n);
        if (n + len > GoToSourceTextSize - 1)
            break;
        n += len;
    }
    std::memcpy(record.data() + offset, text.data(), n);
}

void PutInt(TGoToSourceRecord& record, size_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        record[offset + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

std::optional<TGoToSourceRequest> ParseGoToSourceRow(std::string_view address, std::string_view unit,
                                                     std::string_view className, std::string_view procedure,
                                                     std::string_view line)
{
    TGoToSourceRequest r;
    const std::string lineText = Trim(line);
    if (!LeadingNumber(lineText, r.line) || r.line == 0)
        return std::nullopt;
    const size_t bracket = lineText.find('[');
    int32_t offset = 0;
    if (bracket != std::string::npos && LeadingNumber(std::string_view(lineText).substr(bracket + 1), offset))
        r.offset = offset;
    for (char c : Trim(address)) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            break;
        r.address = r.address << 4 | static_cast<uint32_t>(digit);
    }
    r.unit = Trim(unit);
    r.className = Trim(className);
    r.procedure = Trim(procedure);
    return r;
}

TGoToSourceRecord EncodeGoToSourceRecord(const TGoToSourceRequest& request, uint32_t moduleFirst,
                                         uint32_t moduleSecond)
{
    TGoToSourceRecord record{};
    PutText(record, 90, request.unit);
    PutText(record, 180, request.className);
    PutText(record, 270, request.procedure);
    PutInt(record, 360, static_cast<uint32_t>(request.line));
    PutInt(record, 364, static_cast<uint32_t>(request.offset));
    PutInt(record, 368, moduleFirst);
    PutInt(record, 372, moduleSecond);
    return record;
}

std::string GoToSourceMailslotName(uint32_t processId)
{
    return "\\\\.\\mailslot\\DuruvaDod" + std::to_string(processId);
}
