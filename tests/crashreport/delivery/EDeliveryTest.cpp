#include "crashreport/delivery/EDelivery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <stdexcept>

#include "crashreport/capture/EOptions.h"

namespace {

// Disk, handlers, boxes and senders in memory; every call is logged in order.
class TFakePlatform : public TDeliveryPlatform {
public:
    std::map<std::string, std::string> files;
    std::vector<std::string> log;
    std::map<std::string, std::vector<std::string>> zips;  // zip name -> entries of its last write
    std::vector<TMailRequest> mails;
    std::vector<TWebStepRequest> webs;
    bool mapiResult = false, mailtoResult = true, smtpResult = true, webResult = true;
    bool zipResult = true;
    bool webShowsItsBox = false;  // a tracker's "bug closed" box
    bool clearContinueAt4 = false;
    int retries = 0;  // how often an error notification asks again
    bool throwInMakeXml = false;
    std::vector<int> scheduled;
    int terminated = -1;  // 0 terminate, 1 restart
    int workFolderPresentAtCheck = -1;

    void WriteTextFile(const std::string& name, const std::string& text) override
    {
        files[name] = text;
        log.push_back("write " + name);
    }
    bool FileExists(const std::string& name) override { return files.count(name) != 0; }
    void DeleteFile(const std::string& name) override
    {
        if (files.erase(name)) log.push_back("delete " + name);
    }
    bool MoveFile(const std::string& from, const std::string& to) override
    {
        auto it = files.find(from);
        if (it == files.end()) return false;
        files[to] = it->second;
        files.erase(from);
        log.push_back("move " + from + " " + to);
        return true;
    }
    std::vector<std::string> ListFiles(const std::string& folder) override
    {
        std::vector<std::string> names;
        for (auto& [name, _] : files)
            if (name.rfind(folder, 0) == 0 && name.find('\\', folder.size()) == std::string::npos)
                names.push_back(name.substr(folder.size()));
        std::reverse(names.begin(), names.end());  // no order promised
        return names;
    }
    bool ZipFiles(const std::string& zipName, const TStringList& list, const std::string& password) override
    {
        std::string bytes = "zip[" + password + "]";
        for (const std::string& f : list) bytes += "|" + f;
        files[zipName] = bytes;
        zips[zipName] = list.Items();
        log.push_back("zip " + std::to_string(list.Count()));
        if (!zipResult) files.erase(zipName);
        return zipResult;
    }
    void SaveLastHtmlPage(const TDeliveryReport&) override { log.push_back("page"); }
    void MakeXmlFile(const TDeliveryReport&) override
    {
        if (throwInMakeXml) throw std::runtime_error("disk full");
        log.push_back("xml");
    }
    void ActionNotify(int action, bool& continueFlag) override
    {
        log.push_back("action " + std::to_string(action));
        if (action == 4 && clearContinueAt4) continueFlag = false;
    }
    void ErrorNotify(int code, bool& retry) override
    {
        log.push_back("error " + std::to_string(code));
        EXPECT_FALSE(retry);
        if (retries > 0) {
            --retries;
            retry = true;
        }
    }
    void AttachedFilesRequest(TStringList& list) override { list.Add("C:\\data\\missing.txt"); }
    void CustomWebFields(TStringList& fields) override { fields.Add("a=1"); }
    void ShowResultBox(bool success) override { log.push_back(success ? "box 144" : "box 145"); }
    void CopyToClipboard(const std::string& text) override { log.push_back("clipboard " + text); }
    void BeginSendProgress(bool topMost) override { log.push_back(topMost ? "progress top" : "progress"); }
    bool SendByMapi(const TMailRequest& mail) override
    {
        mails.push_back(mail);
        log.push_back("mapi");
        return mapiResult;
    }
    bool SendByMailto(const TMailRequest& mail) override
    {
        mails.push_back(mail);
        log.push_back("mailto");
        return mailtoResult;
    }
    bool SendBySmtp(const TMailRequest& mail, bool direct) override
    {
        mails.push_back(mail);
        log.push_back(direct ? "smtp direct" : "smtp");
        return smtpResult;
    }
    bool SendToWeb(TWebStepRequest& request, bool& messageShown) override
    {
        webs.push_back(request);
        log.push_back("web");
        if (webShowsItsBox) messageShown = true;
        return webResult;
    }
    void RemoveWorkFolder() override
    {
        workFolderPresentAtCheck = static_cast<int>(std::count_if(files.begin(), files.end(), [](auto& f) {
            return f.first.rfind("C:\\tmp\\DuruvaDod_", 0) == 0;
        }));
        log.push_back("remove folder");
    }
    // Stands for the road's flag: the crash rate's action sets it.
    void ScheduleTerminate(int action) override
    {
        scheduled.push_back(action);
        terminatePressed = true;
    }
    bool TerminatePressed() override { return terminatePressed; }
    bool terminatePressed = false;
    void RestartOrTerminate(bool restart) override
    {
        terminated = restart;
        throw 42;  // stands for the end of the process
    }

    size_t Index(const std::string& entry) const
    {
        return static_cast<size_t>(std::find(log.begin(), log.end(), entry) - log.begin());
    }
};

struct DeliveryTest : testing::Test {
    TVurazaModuleOptions options{"C:\\app\\Test.exe"};
    TDeliveryReport report;
    TFakePlatform platform;

    DeliveryTest()
    {
        options.SetLogFilePath("C:\\logs\\Test.elf");
        options.SetSendFlags(0x2);
        options.SetBehaviourFlags(0);
        options.SetMailRecipients("a@x.test");
        report.Files.TempFolder = "C:\\tmp\\";
        report.Files.ProcessId = 0x10;
        report.Files.ComputerName = "PC1";
        report.Files.ExceptionTime = 45322.999988;  // 2024-01-31 23:59:59
        report.LogReportText = "log text";
        report.LastReportText = "shown text";
    }
    std::string Temp(const std::string& name) const { return "C:\\tmp\\DuruvaDod_00000010\\" + name; }
    bool AnyTemporaryFile() const
    {
        return std::any_of(platform.files.begin(), platform.files.end(),
                           [](auto& f) { return f.first.rfind("C:\\tmp\\", 0) == 0; });
    }
};

TEST_F(DeliveryTest, NoChannelWritesAndDeletesOnlyTheTemporaryFilesAndShowsNoBox)
{
    options.SetSendFlags(0x2 | 0x8);
    EXPECT_TRUE(SendReport(options, report, platform));
    EXPECT_EQ(0u, platform.Index("write " + Temp("Test.elf")));
    EXPECT_LT(platform.Index("delete " + Temp("Test.elf")), platform.log.size());
    EXPECT_FALSE(AnyTemporaryFile());
    EXPECT_EQ(platform.log.end(), std::find(platform.log.begin(), platform.log.end(), "box 144"));
    RunDelivery(options, report, {}, platform);
    EXPECT_EQ(0, platform.workFolderPresentAtCheck);
}

TEST_F(DeliveryTest, TheLogCopyEndsWithThreeLineEndsOnce)
{
    // The copy, caught before it is deleted.
    struct TCatch : TFakePlatform {
        std::string copy;
        void DeleteFile(const std::string& name) override
        {
            if (name.size() > 8 && name.compare(name.size() - 8, 8, "Test.elf") == 0) copy = files[name];
            TFakePlatform::DeleteFile(name);
        }
    };
    for (const char* text : {"log text", "log text\r\n\r\n\r\n"}) {
        report.LogReportText = text;
        TCatch p;
        SendReport(options, report, p);
        EXPECT_EQ("log text\r\n\r\n\r\n", p.copy);
    }
}

TEST_F(DeliveryTest, AClearedContinueFlagSkipsTheMailButNotTheWeb)
{
    options.SetMailMethod(2);
    options.SetUploadMethod(1);
    platform.clearContinueAt4 = true;
    EXPECT_FALSE(SendReport(options, report, platform));
    EXPECT_EQ(platform.log.size(), platform.Index("smtp"));
    EXPECT_EQ(platform.log.size(), platform.Index("action 5"));
    EXPECT_LT(platform.Index("web"), platform.log.size());
    EXPECT_LT(platform.Index("action 7"), platform.log.size());
    EXPECT_LT(platform.Index("box 145"), platform.log.size());
}

TEST_F(DeliveryTest, MailAndWebEachGetTheZipUnderItsDecoratedName)
{
    options.SetMailMethod(2);
    options.SetUploadMethod(1);
    options.SetSendFlags(0x2 | 0x8 | 0x100 | 0x200);
    // The XML file exists once MakeXmlFile ran; the fake writes it here.
    struct TXml : TFakePlatform {
        std::string xml;
        void MakeXmlFile(const TDeliveryReport&) override { files[xml] = "<xml/>"; }
    } p;
    p.xml = Temp("Test.xml");
    for (bool append : {false, true}) {
        SCOPED_TRACE(append);
        options.SetAppendReportToMessage(append);
        p.mails.clear();
        p.webs.clear();
        p.log.clear();
        EXPECT_TRUE(SendReport(options, report, p));
        ASSERT_EQ(1u, p.mails.size());
        ASSERT_EQ(1u, p.webs.size());
        const TStringList zipOnly = [&] { TStringList l; l.Add(Temp("BugReport.zip")); return l; }();
        EXPECT_EQ(zipOnly.Items(), p.mails[0].Files.Items());
        EXPECT_EQ(zipOnly.Items(), p.webs[0].Files.Items());
        EXPECT_EQ("BugReport__PC1__20240131235959.zip", p.mails[0].DisplayNames[0]);
        EXPECT_EQ("BugReport__PC1__20240131235959.zip", p.webs[0].DisplayNames[0]);
        EXPECT_EQ(append ? "\r\n\r\n\r\nlog text" : "", p.mails[0].Body);
        EXPECT_EQ("a=1", p.webs[0].CustomFields[0]);
        // Missing files are left out; with the report in the mail only the web zip has the log copy.
        const auto count = std::count(p.log.begin(), p.log.end(), append ? "zip 1" : "zip 2");
        EXPECT_EQ(1, count);
        if (append) {
            EXPECT_EQ(1, std::count(p.log.begin(), p.log.end(), "zip 2"));
        }
        EXPECT_EQ((std::vector<std::string>{Temp("Test.elf"), Temp("Test.xml")}), p.zips[Temp("BugReport.zip")]);
        EXPECT_TRUE(p.log.back() == "delete " + Temp("Test.elf"));
        EXPECT_FALSE(p.FileExists(Temp("BugReport.zip")));
        EXPECT_FALSE(p.FileExists(Temp("Test.xml")));
    }
}

TEST_F(DeliveryTest, MapiFallsBackToMailtoButSmtpDoesNot)
{
    const struct {
        int method;
        bool mapi, mailto, smtp;
        std::vector<std::string> senders;
        bool success;
    } cases[] = {
        {1, true, false, true, {"mapi"}, true},
        {1, false, true, true, {"mapi", "mailto"}, true},
        {1, false, false, true, {"mapi", "mailto"}, false},
        {2, false, true, false, {"progress top", "smtp"}, false},
        {3, false, true, true, {"progress top", "smtp direct"}, true},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.method);
        TFakePlatform p;
        p.mapiResult = c.mapi;
        p.mailtoResult = c.mailto;
        p.smtpResult = c.smtp;
        options.SetMailMethod(c.method);
        EXPECT_EQ(c.success, SendReport(options, report, p));
        std::vector<std::string> senders;
        for (auto& e : p.log)
            if (e == "mapi" || e == "mailto" || e.rfind("smtp", 0) == 0 || e.rfind("progress", 0) == 0) senders.push_back(e);
        EXPECT_EQ(c.senders, senders);
        EXPECT_LT(p.Index(c.success ? "box 144" : "box 145"), p.log.size());
    }
}

TEST_F(DeliveryTest, AZipThatCannotBeMadeFailsItsChannel)
{
    const struct {
        int mail, upload;
    } cases[] = {{1, 0}, {0, 6}, {2, 6}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.mail * 10 + c.upload);
        TFakePlatform p;
        p.zipResult = false;  // the log copy is there to be zipped
        options.SetMailMethod(c.mail);
        options.SetUploadMethod(c.upload);
        EXPECT_FALSE(SendReport(options, report, p));
        EXPECT_TRUE(p.mails.empty());
        EXPECT_TRUE(p.webs.empty());
        EXPECT_EQ(p.log.size(), p.Index("box 144"));
        EXPECT_LT(p.Index("box 145"), p.log.size());
    }
}

TEST_F(DeliveryTest, TheResultBoxIsLeftOutWhenTheWebStepShowedItsOwn)
{
    options.SetUploadMethod(6);
    const struct {
        int mail;
        bool webShows;
        std::vector<std::string> boxes;
    } cases[] = {{0, false, {"box 144"}}, {0, true, {}}, {2, true, {}}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.mail * 10 + c.webShows);
        TFakePlatform p;
        p.webShowsItsBox = c.webShows;
        options.SetMailMethod(c.mail);
        EXPECT_TRUE(SendReport(options, report, p));
        std::vector<std::string> boxes;
        std::copy_if(p.log.begin(), p.log.end(), std::back_inserter(boxes), [](auto& e) { return e.rfind("box", 0) == 0; });
        EXPECT_EQ(c.boxes, boxes);
    }
}

TEST_F(DeliveryTest, AnErrorHandlerAsksAgain)
{
    options.SetMailMethod(2);
    options.SetUploadMethod(3);
    options.SetSendFlags(0x80);
    platform.smtpResult = false;
    platform.webResult = false;
    platform.retries = 1;
    EXPECT_FALSE(SendReport(options, report, platform));
    std::vector<std::string> expected = {"action 4", "progress", "smtp", "error 5", "progress", "smtp", "error 5",
                                         "action 5", "action 6", "progress", "web", "error 7", "action 7"};
    std::vector<std::string> got;
    for (auto& e : platform.log)
        if (e.rfind("write", 0) && e.rfind("delete", 0) && e.rfind("zip", 0) && e != "page" && e != "xml") got.push_back(e);
    EXPECT_EQ(expected, got);
}

TEST_F(DeliveryTest, FailureCopiesTheReportAndKeepsTheTenLastReportZips)
{
    options.SetUploadMethod(1);
    options.SetBehaviourFlags(0x10 | 0x20);
    options.SetSendFlags(0x100);
    platform.webResult = false;
    for (int i = 0; i < 12; ++i) platform.files["C:\\logs\\BugReport__2024010100000" + std::string(1, 'a' + i) + ".zip"] = "old";
    platform.files["C:\\logs\\photos.zip"] = "mine";
    platform.files["C:\\logs\\Test.elf"] = "log";
    EXPECT_FALSE(SendReport(options, report, platform));
    EXPECT_LT(platform.Index("clipboard shown text"), platform.log.size());
    std::vector<std::string> remaining = platform.ListFiles("C:\\logs\\");
    std::sort(remaining.begin(), remaining.end());
    std::vector<std::string> expected;
    for (int i = 3; i < 12; ++i) expected.push_back("BugReport__2024010100000" + std::string(1, 'a' + i) + ".zip");
    expected.push_back("BugReport__20240131235959.zip");  // this report's, named as it was sent
    expected.push_back("Test.elf");
    expected.push_back("photos.zip");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(expected, remaining);
    EXPECT_FALSE(AnyTemporaryFile());
}

TEST_F(DeliveryTest, ARaisingStepStillDeletesTheFilesAndLetsTerminateRun)
{
    options.SetMailMethod(1);
    options.SetTerminateButtonAction(1);
    platform.throwInMakeXml = true;
    platform.terminatePressed = true;
    EXPECT_THROW(RunDelivery(options, report, {}, platform), int);  // the process ends
    EXPECT_EQ(0, platform.terminated);
    EXPECT_FALSE(AnyTemporaryFile());
    EXPECT_EQ(0, platform.workFolderPresentAtCheck);

    TFakePlatform quiet;
    quiet.throwInMakeXml = true;
    EXPECT_THROW(RunDelivery(options, report, {}, quiet), std::runtime_error);  // travels on
    EXPECT_EQ(-1, quiet.terminated);
    EXPECT_LT(quiet.Index("remove folder"), quiet.log.size());
}

TEST_F(DeliveryTest, TheCrashRateActionIsAppliedByTheSameDelivery)
{
    // Reached while this report is delivered: the action is asked for after the delivery began.
    options.SetCrashRateCount(2);
    options.SetCrashRateMinutes(1);
    options.SetCrashRateAction(2);
    options.SetTerminateButtonAction(2);
    const double t = 45322.5, second = 1.0 / 86400;
    TDeliveryRun run;
    run.CrashTimes = {t, t + second};
    EXPECT_THROW(RunDelivery(options, report, run, platform), int);  // the process restarts
    EXPECT_EQ(std::vector<int>{2}, platform.scheduled);
    EXPECT_EQ(1, platform.terminated);
}

TEST_F(DeliveryTest, TheCrashRateSchedulesItsAction)
{
    options.SetCrashRateCount(3);
    options.SetCrashRateMinutes(1);
    options.SetCrashRateAction(2);
    const double t = 45322.5, second = 1.0 / 86400;
    const struct {
        std::vector<double> times;
        bool ide;
        bool scheduled;
    } cases[] = {
        {{t, t + 20 * second, t + 40 * second}, false, true},
        {{t, t + 30 * second, t + 60 * second}, false, true},
        {{t, t + 30 * second, t + 61 * second}, false, false},
        {{t, t + 20 * second}, false, false},
        {{t, t + 20 * second, t + 40 * second}, true, false},
    };
    for (auto& c : cases) {
        TFakePlatform p;
        p.files[Temp("Screenshot.png")] = "png";
        CheckCrashRate(options, report, c.times, c.ide, p);
        EXPECT_EQ(c.scheduled ? std::vector<int>{2} : std::vector<int>{}, p.scheduled);
        EXPECT_FALSE(p.FileExists(Temp("Screenshot.png")));
    }
    options.SetCrashRateAction(0);
    CheckCrashRate(options, report, {t, t, t}, false, platform);
    EXPECT_TRUE(platform.scheduled.empty());
}

}  // namespace
