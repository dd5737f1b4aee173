#include "crashreport/delivery/EXml.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "crashreport/capture/EEncrypt.h"
#include "crashreport/capture/ELogItem.h"
#include "crashreport/delivery/EBase64.h"
#include "crashreport/delivery/ELogFile.h"
#include "tests/crashreport/delivery/LogSamples.h"

namespace {

TEST(Xml, EscapesByteByByte)
{
    struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"a<b & \"c\"", "a&#060;b &#038; &#034;c&#034;"},
        {"\n", "&#010;"},
        {"\t\r", "&#009;&#013;"},
        {"\xD6\xD0", "&#214;&#208;"},
        {"\x01x\x1F", "?x?"},
        {"'>\x7F", "&#039;&#062;&#127;"},
        {"plain.Text_1", "plain.Text_1"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.in);
        EXPECT_EQ(c.out, XmlEscape(c.in));
    }
}

TEST(Xml, WritesElementsWithIndentedChildren)
{
    TXMLItem root("Doc");
    EXPECT_EQ("<Doc/>\r\n", root.GetText());
    TXMLItem* child = root.AddChild("Line");
    child->AddAttribute("ID", "1.2");
    child->AddChild("Empty");
    EXPECT_EQ(&root, child->Parent());
    EXPECT_EQ("<Doc>\r\n  <Line ID=\"1.2\">\r\n    <Empty/>\r\n  </Line>\r\n</Doc>\r\n", root.GetText());
}

TEST(Xml, ReportSectionsFollowTheVersion)
{
    struct {
        const char* version;
        bool processes, reproduce, leadingThread;
    } cases[] = {
        {"6.1.01 RC 1", true, false, false},
        {"5.1.2", false, false, false},
        {"4.2", false, true, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.version);
        // The steps the user gave, a section after the processor section.
        TLogFile log = SampleLog({SampleReport(c.version) + "\r\n\r\nSteps:\r\n------\r\nClick OK\r\nthen Cancel"});
        const std::string xml = ReportToXml(log, 0);
        EXPECT_EQ(0u, xml.find(std::string("<Log Version=\"") + c.version + "\">\r\n  <General>"));
        EXPECT_EQ(c.processes, xml.find("<Processes>") != std::string::npos);
        EXPECT_EQ(c.processes, xml.find("<Assembler>") != std::string::npos);
        EXPECT_EQ(c.reproduce, xml.find("<HoToReproduce Text=\"Click OK&#013;&#010;then Cancel\"/>") != std::string::npos)
            << xml;
        EXPECT_EQ(c.reproduce, xml.find("<HoToReproduce") != std::string::npos);
        EXPECT_EQ(c.leadingThread, xml.find("<CallStack>\r\n    <ExceptionThread>\r\n") != std::string::npos);
        EXPECT_LT(xml.find("<General>"), xml.find("<CallStack>"));
        EXPECT_LT(xml.find("<CallStack>"), xml.find("<Modules>"));
        EXPECT_LT(xml.find("<Modules>"), xml.find("<CPU>"));
        EXPECT_EQ(xml.size() - 6, xml.rfind("</Log>"));
    }
}

TEST(Xml, GeneralValuesComeBackAsBuilt)
{
    TLogFile log = SampleLog({SampleReport("6.1.01 RC 1")});
    const std::string xml = ReportToXml(log, 0);
    EXPECT_NE(std::string::npos, xml.find("<Group ID=\"1\" Label=\"Application\">"));
    EXPECT_NE(std::string::npos, xml.find("<Line ID=\"1.1\" Label=\"Start Date\" Value=\"Mon, 1 Jan 2024\"/>"));
    EXPECT_NE(std::string::npos, xml.find("<Line ID=\"2.6\" Label=\"Message\" Value=\"first: one&#013;&#010;&#013;&#010;third\"/>"));
    EXPECT_NE(std::string::npos, xml.find("<Line ID=\"2.9\" Label=\"Where\" Value=\"x&#013;&#010;Error at:\"/>"));
}

TEST(Xml, CallStackThreadsAndLines)
{
    TLogFile log = SampleLog({SampleReport("6.1.01 RC 1")});
    const std::string xml = ReportToXml(log, 0);
    EXPECT_NE(std::string::npos,
              xml.find("<ExceptionThread ID=\"1234\" Priority=\"0\" Class=\"\" MainThread=\"True\">"));
    EXPECT_NE(std::string::npos, xml.find("<Line Address=\"00401A2C\" Module=\"a.exe\" Unit=\"a.cpp\" Class=\"TFoo\" "
                                          "Procedure=\"_Foo\" Number=\"57\" Offset=\"3\"/>"));
    EXPECT_NE(std::string::npos, xml.find("      <CallingThread ID=\"1234\" Priority=\"0\" Class=\"\" MainThread=\"False\">"));
    EXPECT_NE(std::string::npos, xml.find("    <RunningThread ID=\"99\" Priority=\"1\" Class=\"TWorker\" MainThread=\"False\">"));
}

TEST(Xml, CpuRegistersStackAndDump)
{
    TLogFile log = SampleLog({SampleReport("6.1.01 RC 1")});
    const std::string xml = ReportToXml(log, 0);
    EXPECT_NE(std::string::npos, xml.find("<Registers EAX=\"00000001\" EBX=\"00000002\" ECX=\"00000003\" EDX=\"00000004\" "
                                          "EDI=\"00000005\" ESI=\"00000006\" EIP=\"00000008\"/>"));
    size_t lines = 0;
    for (size_t at = xml.find("<Stack>"); (at = xml.find("<Line Address=\"0012FF", at + 1)) < xml.find("</Stack>");) ++lines;
    EXPECT_EQ(16u, lines);
    EXPECT_NE(std::string::npos, xml.find("<Line Address=\"00401000\" Bytes=\"C6 00 05 90 90 90 90 90 90 90 90 90 90 90 90 90\" "
                                          "Chars=\"................\"/>"));
}

TEST(Xml, ScrambledNamesDecodeWithThePassword)
{
    const std::string key = "secret";
    auto scramble = [&](std::string_view text) {
        SetCipherKey(key);
        std::string out(text.size(), '\0');
        EncryptBuffer(reinterpret_cast<const uint8_t*>(text.data()), reinterpret_cast<uint8_t*>(out.data()), text.size());
        return Base64EncodeString(out);
    };
    const std::string row = "|00401A2C|a.exe|?p" + scramble("EHook") + "||?" + scramble("TFoo.Bar") + "|12[0]|";
    const std::string garbage = "|00401A2D|a.exe|?pAAAA||?BBBB|13[0]|";
    TLogFile log = SampleLog({SampleReport("6.1.01 RC 1", {row, garbage})});
    log.Password = key;
    const std::string xml = ReportToXml(log, 0);
    EXPECT_NE(std::string::npos, xml.find("Unit=\"EHook.pas\" Class=\"TFoo\" Procedure=\"Bar\""));
    EXPECT_NE(std::string::npos, xml.find("Unit=\"?pAAAA\" Class=\"\" Procedure=\"?BBBB\""));
}

TEST(Xml, LogHoldsEveryReport)
{
    TLogFile log = SampleLog({SampleReport("6.1.01 RC 1"), SampleReport("5.0")});
    const std::string xml = LogToXml(log);
    EXPECT_EQ(0u, xml.find("<Doc>\r\n  <Log Version=\"6.1.01 RC 1\">\r\n    <General>"));
    EXPECT_NE(std::string::npos, xml.find("\r\n  </Log>\r\n  <Log Version=\"5.0\">\r\n"));
    EXPECT_EQ(xml.size() - 6, xml.rfind("</Doc>"));
}

}  // namespace
