#include "crashreport/capture/ERichText.h"

#include <gtest/gtest.h>

TEST(RichText, GoldenGeneralPage)
{
    const std::string text =
        "DuruvaDod 7.0\r\n"
        "General:\r\n"
        "--------\r\n"
        "  1.1 Path\\Name : C:\\Prog{1}\r\n"
        " indented: not a heading\r\n";
    const std::string expected =
        "{\\rtf1\\ansi\\ansicpg936\\deff0\\deflang1040{\\fonttbl{\\f0\\fmodern\\fprq1\\fcharset134 Courier New;}}\r\n"
        "{\\colortbl ;\\red0\\green100\\blue100;\\red0\\green0\\blue0;\\red40\\green40\\blue40;\\red0\\green0\\blue160;"
        "\\red160\\green0\\blue0;\\red80\\green80\\blue80;\\red0\\green100\\blue0;}\r\n"
        "\\f0\\fs20\r\n"
        "\\cf1\\b DuruvaDod 7.0\\b0\\par\r\n"
        "\\cf3\\b General:\\b0\\par\r\n"
        "\\cf3 --------\\par\r\n"
        "\\cf5   1.1\\cf2  Path\\\\Name : \\cf4 C:\\\\Prog\\{1\\}\\par\r\n"
        "\\cf5  indented:\\cf2  \\cf4 not a heading\\par\r\n"
        "}";
    EXPECT_EQ(expected, BuildPageRtf(TRichPage::General, text, "Courier New", 10, 0));
}

TEST(RichText, DoubleByteCharactersStayWhole)
{
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"\xD6\xD0\xCE\xC4", "\\'d6\\'d0\\'ce\\'c4"},   // 中文
        {"\x95\x5C{", "\\'95\\'5c\\{"},                   // a trail byte that reads as "\"
        {"{\x81", "\\{\\'81"},                            // a lead byte with no trail
        {"a\r\nb\nc", "a\\par\r\nb\nc"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out);
        EXPECT_EQ(c.out, EscapeRtfText(c.in));
    }
}

TEST(RichText, AssemblerAndCpuColouring)
{
    EXPECT_EQ("\\cf5 00401000 \\cf4\\b mov\\b0\\cf7  eax, ebx \\cf6 ; load\\par\r\n\\cf6 ; note",
              ColorAssemblerRtf("00401000 mov eax, ebx ; load\\par\r\n; note"));
    EXPECT_EQ("\\cf5 short\\cf4\\b \\b0", ColorAssemblerRtf("short"));

    const std::string cpu = ColorCpuRtf(
        "Registers:\\par\r\n"
        "----------\\par\r\n"
        "EAX: 00000001   EDI: 00000002\\par\r\n"
        "l4\\par\r\nl5\\par\r\nl6\\par\r\nl7\\par\r\n"
        "Stack:               Memory Dump:\\par\r\n",
        1800);
    EXPECT_NE(std::string::npos, cpu.find("\\cf3\\b Registers:\\cf2\\b0\\par"));
    EXPECT_NE(std::string::npos, cpu.find("\\cf3 ----------\\cf2\\par"));
    EXPECT_NE(std::string::npos, cpu.find("EAX: \\cf4 00000001\\cf2    EDI: \\cf4 00000002\\cf2 \\par"));
    EXPECT_NE(std::string::npos, cpu.find("\\pard\\tx1800\\cf3\\b Stack:\\tab Memory Dump:\\cf2\\b0\\par"));
}
