#include "crashreport/delivery/ELogFile.h"

#include <gtest/gtest.h>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ELogItem.h"

namespace {

// A log file in memory: what was written is what the next log object reads.
class TMemoryStore : public TLogFileStore {
public:
    explicit TMemoryStore(std::optional<std::string>* file) : file_(file) {}
    std::optional<std::string> Read() override { return *file_; }
    void Write(std::string_view text) override { *file_ = std::string(text); }

private:
    std::optional<std::string>* file_;
};

std::unique_ptr<TLogFileStore> Store(std::optional<std::string>& file)
{
    return std::make_unique<TMemoryStore>(&file);
}

const char kTable[] =
    "Call Stack Information:\r\n"
    "---------------------\r\n"
    "|Address |Module   |\r\n"
    "---------------------\r\n"
    "|00401000|a.exe    |\r\n"
    "---------------------";

// A report as the builder writes it: product line, general sections, the call-stack table.
std::string Report(const std::string& bugId, const std::string& count = "1", const std::string& message = "boom")
{
    TLogItem item(0);
    item.AddHeader("Application");
    item.AddItem("Start Date", "Mon, 1 Jan 2024");
    item.AddHeader("Exception");
    for (int i = 1; i <= 5; ++i) item.AddItem("Item" + std::to_string(i), "v" + std::to_string(i));
    item.AddItem("Message", message);
    item.AddItem("ID", bugId);
    item.AddItem("Count", count);
    item.AddItem("Status", "New");
    item.AddItem("Note", "-");
    return "DuruvaDod 6.1.01 RC 1\r\n\r\n" + item.GetFormattedText() + "\r\n\r\n" + kTable;
}

TEST(LogItem, AlignsItemsAndContinuationLinesAndWidensRules)
{
    TLogItem item(0);
    item.AddHeader("General");
    item.AddItem("A", "x");
    item.AddItem("Longer", "first\r\nsecond: two\n\nfourth");
    item.AddItem("Hidden", "y", false);
    item.AddItem("B", "z");
    EXPECT_EQ(
        "General:\r\n" + std::string(25, '-') + "\r\n"
        "  1.1 A     : x\r\n"
        "  1.2 Longer: first\r\n"
        "              second:_two\r\n"
        "              .\r\n"
        "              fourth\r\n"
        "  1.4 B     : z",
        item.GetFormattedText());
}

TEST(LogItem, DropsSectionsWithoutItemsAndKeepsValuesEndingInColon)
{
    TLogItem item(0);
    item.AddHeader("Empty");
    item.AddItem("Gone", "x", false);
    item.AddHeader("Kept");
    item.AddItem("Where", "first\r\nError at:");
    item.AddHeader("Empty too");
    EXPECT_EQ(
        "Kept:\r\n" + std::string(22, '-') + "\r\n"
        "  2.1 Where: first\r\n"
        "             Error at:",
        item.GetFormattedText());
}

TEST(LogFile, LoadsEveryLineBreakFormAndDropsFreeText)
{
    const std::string a = Report("AAAA"), b = Report("BBBB");
    struct {
        const char* name;
        std::string text;
    } cases[] = {
        {"CR LF", a + "\r\n\r\n\r\n\r\n" + b + "\r\n\r\n\r\n\r\n"},
        {"LF only", [&] { std::string t = a + "\r\n\r\n\r\n\r\n" + b; std::string o; for (char c : t) if (c != '\r') o += c; return o; }()},
        {"CR only", [&] { std::string t = a + "\r\n\r\n\r\n\r\n" + b; std::string o; for (char c : t) if (c != '\n') o += c; return o; }()},
        {"no closing breaks", a + "\r\n\r\n\r\n\r\n" + b},
        {"free text between", a + "\r\n\r\n\r\n\r\nnot a report\r\n\r\n\r\n\r\n" + b + "\r\n\r\n\r\n\r\n"},
        {"report ending in CR LF", a + "\r\n\r\n\r\n\r\n\r\n" + b + "\r\n\r\n\r\n\r\n"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<std::string> file = c.text;
        TLogFile log(Store(file));
        ASSERT_EQ(2, log.ReportCount());
        EXPECT_EQ("AAAA", log.GetReportItem("2.7", 0));
        EXPECT_EQ("BBBB", log.GetReportItem("2.7", 1));
        EXPECT_EQ("6.1.01 RC 1", ReportVersion(log.Report(1)));
        log.SaveLogFile();
        EXPECT_EQ(a + "\r\n\r\n\r\n\r\n" + b + "\r\n\r\n\r\n\r\n", *file);
    }
}

TEST(LogFile, KeepsTheNewestReports)
{
    struct {
        int stored, keep, expected;
    } cases[] = {{3, 3, 3}, {5, 1, 1}, {5, -1, 6}, {5, 0, 1}, {5, -7, 1}, {0, 2, 1}};
    for (auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.stored << " stored, keep " << c.keep);
        std::optional<std::string> file;
        TLogFile log(Store(file));
        for (int i = 0; i < c.stored; ++i) log.AddLogReport(Report("ID" + std::to_string(i)), -1);
        log.AddLogReport(Report("NEW"), c.keep);
        ASSERT_EQ(c.expected, log.ReportCount());
        EXPECT_EQ("NEW", log.GetReportItem("2.7", c.expected - 1));
        if (c.expected > 1) {
            EXPECT_EQ("ID" + std::to_string(c.stored - c.expected + 1), log.GetReportItem("2.7", 0));
        }
    }
}

TEST(LogFile, ItemValuesSurviveASaveAndLoad)
{
    const std::string values[] = {"a: b", "one\r\n\r\nthree", "first\r\nError at:", std::string(200, 'x')};
    for (const std::string& value : values) {
        SCOPED_TRACE(value);
        std::optional<std::string> file;
        {
            TLogFile log(Store(file));
            log.AddLogReport(Report("ID", "1", value), -1);
            log.SaveLogFile();
        }
        TLogFile log(Store(file));
        EXPECT_EQ(value, log.GetReportItem("2.6", 0));
        EXPECT_EQ("ID", log.GetReportItem("2.7", 0));
        EXPECT_EQ("", log.GetReportItem("2.12", 0));
        EXPECT_EQ("", log.GetReportItem("2.7", 1));
    }
}

TEST(LogFile, SetReportItemChangesOnlyItsLine)
{
    std::optional<std::string> file;
    TLogFile log(Store(file));
    log.AddLogReport(Report("ID"), -1);
    const std::string before = log.Report(0);
    log.SetReportItem("2.8", "2", 0, "Count");
    std::string expected = before;
    expected.replace(expected.find("Count  : 1"), 10, "Count  : 2");
    EXPECT_EQ(expected, log.Report(0));

    log.SetReportItem("2.11", "late", 0, "Extra");
    EXPECT_EQ("late", log.GetReportItem("2.11", 0));
    EXPECT_NE(std::string::npos, log.Report(0).find("  2.10 Note  : -\r\n  2.11 Extra : late\r\n\r\nCall Stack"))
        << log.Report(0);
    log.SetReportItem("9.1", "x", 0, "None");
    log.SetReportItem("2.8", "x", 5, "Count");
    EXPECT_EQ("2", log.GetReportItem("2.8", 0));
}

TEST(LogFile, SetReportItemOnTheLastGeneralItemChangesOnlyItsValue)
{
    // 2.8 ends section 2, then the call-stack title follows after an empty line, straight on, or
    // after a continuation of its value.
    TLogItem item(1);
    item.AddHeader("Exception");
    for (int i = 1; i <= 6; ++i) item.AddItem("Item" + std::to_string(i), "v", i == 2);
    item.AddItem("ID", "1A2B");
    item.AddItem("Count", "1");
    const std::string general = "DuruvaDod 6.1.01 RC 1\r\n\r\n" + item.GetFormattedText();
    struct {
        const char* name;
        std::string report, changed;
    } cases[] = {
        {"empty line", general + "\r\n\r\n" + kTable, general.substr(0, general.size() - 1) + "2\r\n\r\n" + kTable},
        {"no empty line", general + "\r\n" + kTable, general.substr(0, general.size() - 1) + "2\r\n" + kTable},
        {"many lines", general + "\r\n         next\r\n" + kTable, general.substr(0, general.size() - 1) + "2\r\n" + kTable},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<std::string> file;
        TLogFile log(Store(file));
        log.AddLogReport(c.report, -1);
        EXPECT_EQ("1", log.GetReportItem("2.8", 0).substr(0, 1));
        log.SetReportItem("2.8", "2", 0, "Count");
        EXPECT_EQ(c.changed + "\r\n\r\n\r\n", log.Report(0));
        EXPECT_EQ("2", log.GetReportItem("2.8", 0));
        EXPECT_EQ("1A2B", log.GetReportItem("2.7", 0));
        EXPECT_EQ(std::string(kTable).substr(std::string(kTable).find("-")), log.CallStackTable(0));
    }
}

TEST(LogFile, CountsRepeatsOfABugId)
{
    std::optional<std::string> file;
    TLogFile log(Store(file));
    log.AddLogReport(Report("1A2B", "abc"), -1);
    log.AddLogReport(Report("FFFF"), -1);
    EXPECT_TRUE(log.CountRepeat("1A2B"));
    EXPECT_EQ("2", log.GetReportItem("2.8", 0));
    EXPECT_TRUE(log.CountRepeat("1A2B"));
    EXPECT_EQ("3", log.GetReportItem("2.8", 0));
    EXPECT_FALSE(log.CountRepeat("0000"));
    TLogFile reloaded(Store(file));
    EXPECT_EQ("3", reloaded.GetReportItem("2.8", 0));

    // A count edited up to the largest number stays there.
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        log.SetReportItem("2.8", i == 0 ? "2147483647" : log.GetReportItem("2.8", 0), 0, "Count");
        EXPECT_TRUE(log.CountRepeat("1A2B"));
        EXPECT_EQ("2147483647", log.GetReportItem("2.8", 0));
    }
}

TEST(LogFile, ExtractsTheSectionsOfAReport)
{
    const std::string report = Report("ID") +
        "\r\n\r\nModules Information:\r\n----\r\n|Handle  |Name|\r\n----\r\n|00400000|a.exe|\r\n----"
        "\r\n\r\nProcesses Information:\r\n----\r\n|ID  |Name|\r\n----\r\n|0001|a.exe|\r\n----"
        "\r\n\r\nAssembler Information:\r\n----\r\n; a.cpp.Foo (Line=1 - Offset=0)\r\n00401000  nop"
        "\r\n\r\nProcessor Information:\r\n----\r\n  EAX: 00000000  EDI: 00000000";
    // The general part ends before the call-stack title, also when no empty line parts them
    // (as logs written before did).
    const std::string general = Report("ID").substr(0, Report("ID").find("\r\n\r\nCall Stack"));
    const std::string cpu = "Registers:\r\n----\r\nEAX: 00000000   EDI: 00000000\r\n\r\n"
                            "Stack:  Memory Dump:\r\n---   ---\r\n0012FF00: 00000000   00401000: 90";
    const std::string reports[] = {report, ReplaceAllText(report, "\r\n\r\nCall Stack", "\r\nCall Stack"),
                                   report.substr(0, report.find("Processor")) + cpu,
                                   report.substr(0, report.find("Processor")) + cpu + "\r\n\r\nSteps:\r\n---\r\nx"};
    for (const std::string& r : reports) {
        SCOPED_TRACE(r);
        std::optional<std::string> file;
        TLogFile log(Store(file));
        log.AddLogReport(r, -1);
        EXPECT_EQ(general, log.GeneralPart(0));
        EXPECT_EQ(std::string(kTable).substr(std::string(kTable).find("-")), log.CallStackTable(0));
        EXPECT_EQ("----\r\n|Handle  |Name|\r\n----\r\n|00400000|a.exe|\r\n----", log.ModulesTable(0));
        EXPECT_EQ("----\r\n|ID  |Name|\r\n----\r\n|0001|a.exe|\r\n----", log.ProcessesTable(0));
        EXPECT_EQ("; a.cpp.Foo (Line=1 - Offset=0)\r\n00401000  nop", log.AssemblerLines(0));
        // The CPU section runs over its inner empty line up to the next titled section.
        if (r.find("Processor") != std::string::npos)
            EXPECT_EQ("Processor Information:\r\n----\r\n  EAX: 00000000  EDI: 00000000", log.ProcessorSection(0));
        else
            EXPECT_EQ(cpu, log.ProcessorSection(0));
    }
}

}  // namespace
