#include "crashreport/delivery/EReportFilesWin.h"

#include <gtest/gtest.h>
#include <windows.h>

#include "crashreport/capture/EOptions.h"
#include "crashreport/delivery/ELogFileWin.h"
#include "framework/CodePage.h"
#include "tests/crashreport/delivery/LogSamples.h"

namespace {

std::string TempFolder()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    return WideToGbk(temp);
}

void WriteLog(const std::string& name, int reports)
{
    DeleteFileW(GbkToWide(name).c_str());
    std::unique_ptr<TLogFile> log = OpenLogFile(name);
    for (int i = 0; i < reports; ++i) log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
    log->SaveLogFile();
}

TEST(ReportFilesOnDisk, DuplicateCheckCountsAndClosesTheLog)
{
    const std::string name = TempFolder() + "vidudo-duplicates.elf";
    WriteLog(name, 1);
    TVurazaModuleOptions options("C:\\Program\\Trader.exe");
    options.SetLogFilePath(name);

    options.SetLogFlags(0x30);
    EXPECT_FALSE(FindDuplicateReport(options, "1A2B", true));
    EXPECT_FALSE(DuplicateErrorFound);

    options.SetLogFlags(0x31);
    EXPECT_FALSE(FindDuplicateReport(options, "FFFF", true));
    EXPECT_TRUE(FindDuplicateReport(options, "1A2B", true));
    EXPECT_TRUE(DuplicateErrorFound);
    EXPECT_EQ(nullptr, ActiveLogFile);
    EXPECT_EQ("2", OpenLogFile(name)->GetReportItem("2.8", 0));
    EXPECT_TRUE(FindDuplicateReport(options, "1A2B", false));
    EXPECT_EQ("2", OpenLogFile(name)->GetReportItem("2.8", 0));

    const std::string moved = name + ".moved";
    DeleteFileW(GbkToWide(moved).c_str());
    EXPECT_TRUE(MoveFileW(GbkToWide(name).c_str(), GbkToWide(moved).c_str())) << "GetLastError=" << GetLastError();
}

TEST(ReportFilesOnDisk, ANewLogNameOpensANewLog)
{
    TVurazaModuleOptions options("C:\\Program\\Trader.exe");
    options.SetLogFilePath(TempFolder() + "vidudo-%VIDUDO_TEST_DAY%.elf");
    SetEnvironmentVariableW(L"VIDUDO_TEST_DAY", L"1");
    WriteLog(TempFolder() + "vidudo-1.elf", 1);
    WriteLog(TempFolder() + "vidudo-2.elf", 2);
    TLogFile* first = &OpenActiveLogFile(options);
    EXPECT_EQ(first, &OpenActiveLogFile(options));
    EXPECT_EQ(1, first->ReportCount());
    SetEnvironmentVariableW(L"VIDUDO_TEST_DAY", L"2");
    TLogFile& second = OpenActiveLogFile(options);
    EXPECT_EQ(TempFolder() + "vidudo-2.elf", ActiveLogFileOpenedName);
    EXPECT_EQ(2, second.ReportCount());
    CloseActiveLogFile();
}

TEST(ReportFilesOnDisk, XmlOfTheLogCopyAndTheWorkFolder)
{
    TVurazaModuleOptions options("C:\\Program\\Trader.exe");
    options.SetLogFilePath(TempFolder() + "vidudo-xml.elf");
    options.SetSendFlags(0x48);
    const TReportFileContext context = CurrentReportFileContext(0x400000, 45322.5);
    RemoveReportWorkFolder(context);
    ASSERT_TRUE(CreateReportWorkFolder(context));
    WriteLog(LogCopyFileName(options, context), 2);
    MakeXmlFile(options, context, "");
    const std::string xml = LoadTextFile(XmlFileName(options, context));
    EXPECT_EQ(0u, xml.find("<Doc>\r\n  <Log Version=\"6.1.01 RC 1\">"));
    EXPECT_EQ("", LoadTextFile(""));
    EXPECT_EQ("", LoadTextFile(TempFolder() + "no-such-file.txt"));

    SaveLastHtmlPage(options, context, "<html>boom</html>");
    EXPECT_EQ("<html>boom</html>", LoadTextFile(LastHtmlPageFileName(context)));

    RemoveReportWorkFolder(context);  // not empty: stays
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(GbkToWide(ReportWorkFolder(context)).c_str()));
    for (const std::string& f : {LogCopyFileName(options, context), XmlFileName(options, context), LastHtmlPageFileName(context)})
        DeleteFileW(GbkToWide(f).c_str());
    RemoveReportWorkFolder(context);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(GbkToWide(ReportWorkFolder(context)).c_str()));
}

}  // namespace
