#include "crashreport/delivery/EReportFiles.h"

#include <gtest/gtest.h>

#include "crashreport/capture/EOptions.h"
#include "tests/crashreport/capture/FakePlatform.h"

namespace {

// 2024-01-31 23:59:59 as a date-time.
constexpr double kLastSecondOfJanuary = 45322.0 + (86399.0 / 86400.0);

TReportFileContext Context()
{
    TReportFileContext c;
    c.TempFolder = "C:\\Temp\\";
    c.ComputerName = "PC1";
    c.ExceptionTime = kLastSecondOfJanuary;
    c.ProcessId = 0x1A2B;
    c.ModuleHandle = 0x400000;
    return c;
}

TEST(ReportFiles, NamesLiveInAWorkFolderOfTheProcess)
{
    TFakePlatform platform;
    TVurazaModuleOptions o("C:\\Program\\Trader.exe");
    const TReportFileContext c = Context();
    EXPECT_EQ("C:\\Program\\Trader.elf", ActiveLogFileName(o));
    EXPECT_EQ("C:\\Temp\\DuruvaDod_00001A2B\\", ReportWorkFolder(c));
    EXPECT_EQ("C:\\Temp\\DuruvaDod_00001A2B\\Trader.elf", LogCopyFileName(o, c));
    EXPECT_EQ("C:\\Temp\\DuruvaDod_00001A2B\\Screenshot.png", ScreenshotFileName(c));
    EXPECT_EQ("C:\\Temp\\DuruvaDod_00001A2B\\BugReport.zip", ZipFileName(c));
    EXPECT_EQ("C:\\Temp\\DuruvaDod_00001A2B\\LastHTMLPage.html", LastHtmlPageFileName(c));
    EXPECT_EQ("C:\\Temp\\DuruvaDod_00001A2B\\Trader.xml", XmlFileName(o, c));
    EXPECT_EQ("C:\\Temp\\00001A2B00400000.bin", OptionsTempFileName(c));

    TReportFileContext other = c;
    other.ProcessId = 0x1A2C;
    EXPECT_NE(ScreenshotFileName(c), ScreenshotFileName(other));
}

TEST(ReportFiles, DecoratedNames)
{
    TFakePlatform platform;
    TVurazaModuleOptions o("C:\\Program\\Trader.exe");
    struct {
        uint16_t flags;
        const char* name;
    } cases[] = {
        {0x000, "Log.elf"},
        {0x100, "Log__20240131235959.elf"},
        {0x200, "Log__PC1.elf"},
        {0x300, "Log__PC1__20240131235959.elf"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.flags);
        o.SetSendFlags(c.flags);
        EXPECT_EQ(c.name, DecoratedFileName("C:\\Temp\\x\\Log.elf", o, Context()));
    }
    EXPECT_EQ("20000229000000", CompactDateTimeText(36585.0));
}

TEST(ReportFiles, AttachmentList)
{
    TFakePlatform platform;
    platform.environment["TEMP"] = "C:\\Temp";
    TVurazaModuleOptions o("C:\\Program\\Trader.exe");
    o.SetExtraAttachments("a.txt; b.txt;%TEMP%\\c.txt");
    o.SetSendFlags(0x18);
    TReportFileContext c = Context();
    c.AttachScreenshotChecked = true;
    TStringList list = BuildAttachmentList(false, o, c);
    ASSERT_EQ(6, list.Count());
    EXPECT_EQ("a.txt", list[0]);
    EXPECT_EQ("b.txt", list[1]);
    EXPECT_EQ("C:\\Temp\\c.txt", list[2]);
    EXPECT_EQ(LogCopyFileName(o, c), list[3]);
    EXPECT_EQ(ScreenshotFileName(c), list[4]);
    EXPECT_EQ(XmlFileName(o, c), list[5]);

    o.SetAppendReportToMessage(true);
    EXPECT_EQ(-1, BuildAttachmentList(true, o, c).IndexOf(LogCopyFileName(o, c)));
    EXPECT_EQ(3, BuildAttachmentList(false, o, c).IndexOf(LogCopyFileName(o, c)));
    c.AttachScreenshotChecked = false;
    c.HasLastHtmlPage = true;
    o.SetSendFlags(0x40);
    list = BuildAttachmentList(false, o, c);
    EXPECT_EQ(-1, list.IndexOf(ScreenshotFileName(c)));
    EXPECT_EQ(4, list.IndexOf(LastHtmlPageFileName(c)));
}

}  // namespace
