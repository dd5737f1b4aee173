#include "crashreport/capture/EGoToSource.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
int32_t IntAt(const TGoToSourceRecord& r, size_t offset)
{
    int32_t v;
    std::memcpy(&v, r.data() + offset, 4);
    return v;
}
std::string TextAt(const TGoToSourceRecord& r, size_t offset)
{
    return std::string(reinterpret_cast<const char*>(r.data() + offset),
                       strnlen(reinterpret_cast<const char*>(r.data() + offset), 90));
}
}  // namespace

TEST(GoToSource, RowsAndTheirLines)
{
    struct {
        const char* line;
        bool sent;
        int32_t number, offset;
    } cases[] = {
        {"123 [45]", true, 123, 45}, {"7", true, 7, -1}, {" 88 [x]", true, 88, -1}, {"0", false, 0, 0},
        {"", false, 0, 0},           {"[5]", false, 0, 0}, {"99999999999", true, INT32_MAX, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto request = ParseGoToSourceRow("0040A0fF", " Main ", "TForm1", "Button1Click", c.line);
        ASSERT_EQ(c.sent, request.has_value());
        if (!request)
            continue;
        EXPECT_EQ(0x40A0FFu, request->address);
        EXPECT_EQ(c.number, request->line);
        EXPECT_EQ(c.offset, request->offset);
        EXPECT_EQ("Main", request->unit);
    }
}

TEST(GoToSource, RecordLayout)
{
    TGoToSourceRequest request;
    request.unit = std::string(200, 'u');
    request.className = "TForm1";
    request.procedure = std::string(88, 'p') + "\xD6\xD0";  // the last character would not fit whole
    request.line = 321;
    request.offset = -1;
    const TGoToSourceRecord r = EncodeGoToSourceRecord(request, 0x11223344, 0x55667788);
    ASSERT_EQ(376u, r.size());
    for (size_t i = 0; i < 90; ++i)
        ASSERT_EQ(0, r[i]) << i;
    EXPECT_EQ(std::string(89, 'u'), TextAt(r, 90));
    EXPECT_EQ(0, r[179]);
    EXPECT_EQ("TForm1", TextAt(r, 180));
    EXPECT_EQ(std::string(88, 'p'), TextAt(r, 270));
    EXPECT_EQ(321, IntAt(r, 360));
    EXPECT_EQ(-1, IntAt(r, 364));
    EXPECT_EQ(0x11223344, IntAt(r, 368));
    EXPECT_EQ(0x55667788, IntAt(r, 372));
    EXPECT_EQ("\\\\.\\mailslot\\DuruvaDod4242", GoToSourceMailslotName(4242));
}
