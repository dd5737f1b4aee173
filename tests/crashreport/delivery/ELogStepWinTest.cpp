#include "crashreport/delivery/ELogStepWin.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "crashreport/capture/ELogItem.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/delivery/ELogFileWin.h"
#include "crashreport/delivery/EReportFilesWin.h"
#include "framework/CodePage.h"

namespace {

std::string Report(const std::string& version, const std::string& bugId)
{
    TLogItem item(0);
    item.AddHeader("Application");
    item.AddItem("Start Date", "Mon, 1 Jan 2024 10:00:00 +0800");
    item.AddItem("Name/Description", "Trader.exe");
    item.AddItem("Version Number", version);
    item.AddHeader("Exception");
    for (int i = 1; i <= 6; ++i) item.AddItem("Item" + std::to_string(i), "v");
    item.AddItem("ID", bugId);
    item.AddItem("Count", "1");
    return "DuruvaDod 6.1.01 RC 1\r\n\r\n" + item.GetFormattedText() +
           "\r\n\r\nCall Stack Information:\r\n---\r\n|a|\r\n---\r\n";
}

class LogStepOnDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        name_ = WideToGbk(temp) + "vidudo-log-step.elf";
        DeleteFileW(GbkToWide(name_).c_str());
        options_.SetLogFilePath(name_);
    }
    void TearDown() override { DeleteFileW(GbkToWide(name_).c_str()); }
    void Store(const std::vector<std::string>& reports)
    {
        std::unique_ptr<TLogFile> log = OpenLogFile(name_);
        for (const std::string& r : reports) log->AddLogReport(r, -1);
        log->SaveLogFile();
    }
    std::unique_ptr<TLogFile> Reload() { return OpenLogFile(name_); }
    // The log step saves the report with the duplicate search's finding; the log is read back.
    std::unique_ptr<TLogFile> SaveAndReload(const std::string& report)
    {
        TLogStepState state;
        state.LastReportText = report;
        state.DuplicateErrorFound = DuplicateErrorFound;
        EXPECT_TRUE(SaveReportToLog(options_, state, {}));
        return Reload();
    }
    bool Exists() const { return GetFileAttributesW(GbkToWide(name_).c_str()) != INVALID_FILE_ATTRIBUTES; }

    std::string name_;
    TVurazaModuleOptions options_{"C:\\Program\\Trader.exe"};
};

TEST_F(LogStepOnDisk, ALogOfAnotherVersionGoesBeforeTheDuplicateSearch)
{
    // The upgrade's first report has the BugID an old report has: it must still be logged.
    Store({Report("1.0.0.0", "1A2B")});
    options_.SetLogFlags(0x35);
    EXPECT_FALSE(PrepareLogForReport(options_, "1A2B", "2.0.0.0"));
    EXPECT_FALSE(DuplicateErrorFound);
    EXPECT_FALSE(Exists());

    std::unique_ptr<TLogFile> log = SaveAndReload(Report("2.0.0.0", "1A2B"));
    ASSERT_EQ(log->ReportCount(), 1);
    EXPECT_EQ(log->GetReportItem("1.3", 0), "2.0.0.0");
    EXPECT_EQ(log->GetReportItem("2.8", 0), "1");
}

TEST_F(LogStepOnDisk, ALogOfTheSameVersionStaysAndCountsTheDuplicate)
{
    Store({Report("2.0.0.0", "1A2B")});
    options_.SetLogFlags(0x35);
    EXPECT_TRUE(PrepareLogForReport(options_, "1A2B", "2.0.0.0"));
    EXPECT_FALSE(ActiveLogFile);

    std::unique_ptr<TLogFile> log = SaveAndReload(Report("2.0.0.0", "1A2B"));
    ASSERT_EQ(log->ReportCount(), 1);
    EXPECT_EQ(log->GetReportItem("2.8", 0), "2");
}

TEST_F(LogStepOnDisk, WithoutTheVersionSwitchAnOldLogStays)
{
    Store({Report("1.0.0.0", "1A2B")});
    options_.SetLogFlags(0x30);
    EXPECT_FALSE(DeleteLogOfOtherVersion(options_, "2.0.0.0"));
    options_.SetLogFlags(0x34);
    EXPECT_FALSE(DeleteLogOfOtherVersion(options_, "1.0.0.0"));
    EXPECT_TRUE(Exists());
    EXPECT_TRUE(DeleteLogOfOtherVersion(options_, "2.0.0.0"));
    EXPECT_FALSE(Exists());
}

TEST_F(LogStepOnDisk, TheStepAppendsTellsTheHandlersAndClosesTheLog)
{
    Store({Report("2.0.0.0", "0001")});
    std::vector<int> codes;
    TLogStepNotifications notifications;
    notifications.Action = [&](int code, bool&) { codes.push_back(code); };
    notifications.Error = [&](int code, bool&) { codes.push_back(100 + code); };
    TLogStepState state;
    state.LastReportText = Report("2.0.0.0", "0002");
    options_.SetSendFlags(0x04);
    EXPECT_TRUE(SaveReportToLog(options_, state, notifications));
    EXPECT_EQ(codes, (std::vector<int>{2, 3}));
    EXPECT_FALSE(ActiveLogFile);
    // The log is closed: the file can be renamed at once.
    const std::string moved = name_ + ".moved";
    ASSERT_TRUE(MoveFileW(GbkToWide(name_).c_str(), GbkToWide(moved).c_str()));
    MoveFileW(GbkToWide(moved).c_str(), GbkToWide(name_).c_str());
    std::unique_ptr<TLogFile> log = Reload();
    ASSERT_EQ(log->ReportCount(), 2);
    EXPECT_EQ(log->GetReportItem("2.7", 1), "0002");
    EXPECT_EQ(state.LogReportText, log->GetLogText());
}

}  // namespace
