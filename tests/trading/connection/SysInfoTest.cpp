#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <iterator>

#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Shell.h"
#include "trading/connection/SysInfo.h"
#include "trading/connection/myFun.h"

namespace {

class SysInfoFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        path = ProgramFolder() + "sysinfo_test.ini";
        DeleteFileW(GbkToWide(path).c_str());
        previous = SetMessageBoxHook([this](const TMessageBoxRequest& r) {
            boxes.push_back(r.text);
            return TModalAnswer::Ok;
        });
    }
    void TearDown() override
    {
        SetMessageBoxHook(previous);
        DeleteFileW(GbkToWide(path).c_str());
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void WriteFile(const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    std::string FileBytes()
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool QuitPosted()
    {
        MSG msg;
        return PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
    }

    std::string path;
    std::vector<std::string> boxes;
    MessageBoxHook previous;
    TFun fun;
};

}  // namespace

TEST_F(SysInfoFile, MissingFileGivesDefaults)
{
    TSysInfo info;
    ASSERT_TRUE(ReadSysinfoFile(info, fun, path));
    EXPECT_EQ(0, info.HostCount);
    EXPECT_EQ(0, info.HostNames.Count());
    EXPECT_EQ(0, info.HostIdx);
    EXPECT_EQ("Vidudo期货模拟交易系统", info.AppName);
    EXPECT_FALSE(info.SaveUserEnabled);
    EXPECT_FALSE(info.ProxyEnabled);
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(QuitPosted());
}

TEST_F(SysInfoFile, RoundTripWritesTheKeysInGbk)
{
    TSysInfo info;
    info.AppName = "模拟交易";
    info.SaveUserEnabled = true;
    info.UserName = "80001";
    info.ProxyEnabled = true;
    info.HostIdx = 1;
    info.gid = "g7";
    info.HostNames.Add("电信");
    info.Hosts.Add("127.0.0.1");
    info.Ports.Add("8080");
    info.HostNames.Add("網通");
    info.Hosts.Add("localhost");
    info.Ports.Add("80");
    info.ProxyType = "Socks5";
    info.ProxyServer = "proxy";
    info.ProxyPort = "1080";
    info.ProxyUserName = "pu";
    info.ProxyPasswd = "pp";
    ASSERT_TRUE(SaveSysinfoFile(info, fun, path));

    const std::string bytes = FileBytes();
    for (const char* line : {"[Application]", "SaveUserEnabled=True", "ProxyEnabled=True", "gid=g7", "UserName=80001",
                             "[NetWork]", "HostCount=2", "HostIdx=1", "HostName0=电信", "Host0=127.0.0.1", "Port0=8080",
                             "HostName1=網通", "ProxyType=Socks5", "ProxyUSerName=pu", "ProxyPasswd=pp"})
        EXPECT_NE(std::string::npos, bytes.find(line)) << line << "\n" << bytes;
    EXPECT_NE(std::string::npos, bytes.find("HostName1=\xBE\x57\xCD\xA8\r\n")) << "網通 in GBK";
    EXPECT_EQ(std::string::npos, bytes.find("AppName")) << "AppName is read, never written";

    TSysInfo back;
    ASSERT_TRUE(ReadSysinfoFile(back, fun, path));
    EXPECT_EQ(2, back.HostCount);
    EXPECT_EQ("網通", back.HostNames[1]);
    EXPECT_EQ("80", back.Ports[1]);
    EXPECT_EQ(1, back.HostIdx);
    EXPECT_EQ("80001", back.UserName);
    EXPECT_EQ("pu", back.ProxyUserName);
    EXPECT_TRUE(back.SaveUserEnabled);
    EXPECT_TRUE(back.ProxyEnabled);
    EXPECT_EQ("g7", back.gid);
}

TEST_F(SysInfoFile, HostCountBeyondTheSitesInTheFileReadsOnlyThoseSites)
{
    const struct {
        const char* count;
        int sites;
        DWORD bound;  // milliseconds
    } cases[] = {
        {"2000000000", 2, 2000},
        {"5", 2, 2000},
        {"2", 2, 2000},
        {"1", 1, 2000},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        WriteFile(std::string("[NetWork]\r\nHostCount=") + c.count +
                  "\r\nHostIdx=1\r\nHostName0=a\r\nHost0=127.0.0.1\r\nPort0=80\r\n"
                  "Host1=127.0.0.2\r\nPort1=\r\nHostName3=gap\r\n");
        TSysInfo info;
        const DWORD start = GetTickCount();
        ASSERT_TRUE(ReadSysinfoFile(info, fun, path));
        EXPECT_LT(GetTickCount() - start, c.bound);
        EXPECT_EQ(c.sites, info.HostCount);
        ASSERT_EQ(c.sites, info.HostNames.Count());
        EXPECT_EQ(c.sites, info.Hosts.Count());
        EXPECT_EQ(c.sites, info.Ports.Count());
        EXPECT_EQ("a", info.HostNames[0]);
        if (c.sites > 1) {
            EXPECT_EQ("", info.HostNames[1]) << "a missing key of a present site reads empty";
            EXPECT_EQ("127.0.0.2", info.Hosts[1]);
            EXPECT_EQ("", info.Ports[1]);
        }
        EXPECT_TRUE(boxes.empty());
    }
}

TEST_F(SysInfoFile, SavedUserIsReadOnlyWhenRemembered)
{
    WriteFile("[Application]\r\nSaveUserEnabled=false\r\nUserName=80001\r\n");
    TSysInfo info;
    ASSERT_TRUE(ReadSysinfoFile(info, fun, path));
    EXPECT_EQ("", info.UserName);
    ASSERT_TRUE(SaveSysinfoFile(info, fun, path));
    EXPECT_NE(std::string::npos, FileBytes().find("UserName=\r\n"));
}

TEST_F(SysInfoFile, BadNumberStopsReadingWithTheWarningAndQuits)
{
    WriteFile("[NetWork]\r\nHostCount=abc\r\n[Application]\r\ngid=g\r\n");
    TSysInfo info;
    info.gid = "old";
    EXPECT_FALSE(ReadSysinfoFile(info, fun, path));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("读出配置文件出错,请重新安装软件!", boxes[0]);
    EXPECT_EQ("old", info.gid) << "reading stopped at HostCount";
    EXPECT_TRUE(QuitPosted());

    boxes.clear();
    WriteFile("[NetWork]\r\nHostCount=1\r\nHostIdx=x\r\n[Application]\r\ngid=new\r\n");
    EXPECT_FALSE(ReadSysinfoFile(info, fun, path));
    EXPECT_EQ("new", info.gid) << "fields read before the failure keep their values";
    EXPECT_EQ(0, info.HostNames.Count()) << "the file holds no site";
    EXPECT_EQ(1u, boxes.size());
}

TEST_F(SysInfoFile, RefusedWriteShowsTheSaveWarning)
{
    TSysInfo info;
    EXPECT_FALSE(SaveSysinfoFile(info, fun, "Z:\\proc\\no such folder\\Client.ini"));
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("保存配置文件失败,请检查配置", boxes[0]);
}

TEST(Fun, NumberTests)
{
    TFun fun;
    for (const char* t : {"8080", "  80", "-5", "$1F"})
        EXPECT_TRUE(fun.IsInteger(t)) << t;
    for (const char* t : {"", "12a", "1.5", "80 ", "2147483648"})
        EXPECT_FALSE(fun.IsInteger(t)) << t;
    // The test prefix's locale uses ".".
    ASSERT_EQ('.', UserDecimalSeparator());
    for (const char* t : {"1.5", "2e3"})
        EXPECT_TRUE(fun.IsFloat(t)) << t;
    for (const char* t : {"nan", "inf", "0x10", ""})
        EXPECT_FALSE(fun.IsFloat(t)) << t;
}
