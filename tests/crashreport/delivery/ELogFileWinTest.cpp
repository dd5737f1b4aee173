#include "crashreport/delivery/ELogFileWin.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <set>

#include "framework/CodePage.h"
#include "framework/Exception.h"
#include "tests/crashreport/delivery/LogSamples.h"

namespace {

std::wstring TestFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

std::string TempLogName(const char* name)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::string file = WideToGbk(temp) + name;
    DeleteFileW(GbkToWide(file).c_str());
    return file;
}

PROCESS_INFORMATION StartLogTool(const std::wstring& arguments)
{
    std::wstring line = L"\"" + TestFolder() + L"log_tool.exe\" " + arguments;
    STARTUPINFOW si{sizeof si};
    PROCESS_INFORMATION pi{};
    EXPECT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        << "GetLastError=" << GetLastError();
    return pi;
}

DWORD Finish(PROCESS_INFORMATION& pi, DWORD timeoutMs)
{
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, timeoutMs));
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(LogFileOnDisk, SavesThroughATemporaryFileAndReadsBack)
{
    const std::string name = TempLogName("vidudo-log-roundtrip.elf");
    {
        std::unique_ptr<TLogFile> log = OpenLogFile(name);
        EXPECT_EQ(0, log->ReportCount());
        log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
        log->SaveLogFile();
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(GbkToWide(name + ".tmp").c_str()));
    std::unique_ptr<TLogFile> log = OpenLogFile(name);
    ASSERT_EQ(1, log->ReportCount());
    EXPECT_EQ("1A2B", log->GetReportItem("2.7", 0));
}

// Shared for reading and writing but not for deletion: the log can't be replaced while held.
HANDLE HoldLog(const std::string& name)
{
    return CreateFileW(GbkToWide(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

static DWORD WINAPI CloseAfterHalfASecond(void* handle)
{
    Sleep(500);
    CloseHandle(static_cast<HANDLE>(handle));
    return 0;
}

std::string SavedLogWithOneReport(const char* file)
{
    const std::string name = TempLogName(file);
    std::unique_ptr<TLogFile> log = OpenLogFile(name);
    log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
    log->SaveLogFile();
    return name;
}

TEST(LogFileOnDisk, ALogHeldOpenByOthersIsReplacedOnceTheyLetGo)
{
    const std::string name = SavedLogWithOneReport("vidudo-log-held.elf");
    HANDLE held = HoldLog(name);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    HANDLE letGo = CreateThread(nullptr, 0, &CloseAfterHalfASecond, held, 0, nullptr);
    ASSERT_NE(nullptr, letGo);
    {
        std::unique_ptr<TLogFile> log = OpenLogFile(name);
        log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
        EXPECT_NO_THROW(log->SaveLogFile());
    }
    WaitForSingleObject(letGo, INFINITE);
    CloseHandle(letGo);
    EXPECT_EQ(2, OpenLogFile(name)->ReportCount());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(GbkToWide(name + ".tmp").c_str()));
}

// Writing in place would cut the only copy of every earlier report: the save fails instead.
TEST(LogFileOnDisk, ALogHeldThroughoutStaysWholeAndTheSaveFails)
{
    const std::string name = SavedLogWithOneReport("vidudo-log-held-long.elf");
    const std::string before = OpenLogFile(name)->GetLogText();
    HANDLE held = HoldLog(name);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    {
        std::unique_ptr<TLogFile> log = OpenLogFile(name);
        log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
        EXPECT_THROW(log->SaveLogFile(), Exception);
    }
    CloseHandle(held);
    EXPECT_EQ(before, OpenLogFile(name)->GetLogText());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(GbkToWide(name + ".tmp").c_str()));
}

static DWORD WINAPI HoldTheLockHalfASecond(void* name)
{
    std::unique_ptr<TLogFileStore> store = OpenLogFileStore(*static_cast<const std::string*>(name));
    Sleep(500);
    return 0;
}

TEST(LogFileOnDisk, EverySpellingOfTheLogPathSharesOneLock)
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"vidudo log folder of a long name";
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::string longName = WideToGbk(folder) + "\\the shared log.elf";
    wchar_t shortFolder[MAX_PATH];
    ASSERT_NE(0u, GetShortPathNameW(folder.c_str(), shortFolder, MAX_PATH)) << "GetLastError=" << GetLastError();
    const std::string shortName = WideToGbk(shortFolder) + "\\the shared log.elf";
    ASSERT_NE(longName, shortName);
    // The log may not exist yet, when the lock is taken for its first save.
    for (bool exists : {false, true}) {
        SCOPED_TRACE(exists);
        DeleteFileW(GbkToWide(longName).c_str());
        if (exists)
            OpenLogFile(longName)->SaveLogFile();
        HANDLE holder = CreateThread(nullptr, 0, &HoldTheLockHalfASecond, const_cast<std::string*>(&longName), 0, nullptr);
        ASSERT_NE(nullptr, holder);
        Sleep(150);
        const DWORD start = GetTickCount();
        { std::unique_ptr<TLogFileStore> store = OpenLogFileStore(shortName); }
        const DWORD waited = GetTickCount() - start;
        WaitForSingleObject(holder, INFINITE);
        CloseHandle(holder);
        EXPECT_GE(waited, 200u) << "the short spelling took a lock of its own";
    }
    DeleteFileW(GbkToWide(longName).c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST(LogFileOnDisk, TwoProcessesAppendingAtOnceLoseNothing)
{
    const std::string name = TempLogName("vidudo-log-shared.elf");
    const std::wstring file = GbkToWide(name);
    PROCESS_INFORMATION a = StartLogTool(L"append \"" + file + L"\" 50 A");
    PROCESS_INFORMATION b = StartLogTool(L"append \"" + file + L"\" 50 B");
    EXPECT_EQ(0u, Finish(a, 60000));
    EXPECT_EQ(0u, Finish(b, 60000));
    std::unique_ptr<TLogFile> log = OpenLogFile(name);
    ASSERT_EQ(100, log->ReportCount());
    std::set<std::string> ids;
    for (int i = 0; i < log->ReportCount(); ++i) ids.insert(log->GetReportItem("2.7", i));
    EXPECT_EQ(100u, ids.size());
    EXPECT_EQ(1u, ids.count("A-49"));
    EXPECT_EQ(1u, ids.count("B-0"));
}

TEST(LogFileOnDisk, AProcessKilledWhileSavingLeavesTheLogWhole)
{
    const std::string name = TempLogName("vidudo-log-killed.elf");
    {
        std::unique_ptr<TLogFile> log = OpenLogFile(name);
        for (int i = 0; i < 400; ++i) log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
        log->SaveLogFile();
    }
    for (DWORD delay : {150u, 230u, 310u, 390u, 470u}) {
        SCOPED_TRACE(delay);
        PROCESS_INFORMATION churn = StartLogTool(L"churn \"" + GbkToWide(name) + L"\"");
        Sleep(delay);
        TerminateProcess(churn.hProcess, 9);
        Finish(churn, 10000);
        std::unique_ptr<TLogFile> log = OpenLogFile(name);
        EXPECT_EQ(400, log->ReportCount());
        EXPECT_EQ("1A2B", log->GetReportItem("2.7", 399));
    }
}

// Killed at the hook between writing "<log>.tmp" and replacing the log: the old log is whole,
// and the next save goes through over the temporary file left behind.
TEST(LogFileOnDisk, AProcessKilledBetweenTheTemporaryFileAndTheReplaceLeavesTheOldLog)
{
    const std::string name = TempLogName("vidudo-log-stopped.elf");
    const std::wstring temp = GbkToWide(name + ".tmp");
    DeleteFileW(temp.c_str());
    std::string before;
    {
        std::unique_ptr<TLogFile> log = OpenLogFile(name);
        for (int i = 0; i < 50; ++i) log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
        log->SaveLogFile();
        before = log->GetLogText();
    }
    const std::wstring eventName = L"Local\\VidudoLogSaveStop" + std::to_wstring(GetCurrentProcessId());
    HANDLE stopped = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(nullptr, stopped) << "GetLastError=" << GetLastError();
    PROCESS_INFORMATION tool = StartLogTool(L"stop \"" + GbkToWide(name) + L"\" " + eventName);
    ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(stopped, 30000)) << "the tool never reached the hook";
    CloseHandle(stopped);
    TerminateProcess(tool.hProcess, 9);
    EXPECT_EQ(9u, Finish(tool, 10000));

    // The new text was written beside the log, which still holds the old one.
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(temp.c_str()));
    {
        std::unique_ptr<TLogFile> log = OpenLogFile(name);
        ASSERT_EQ(50, log->ReportCount());
        EXPECT_EQ(before, log->GetLogText());
        EXPECT_EQ("1", log->GetReportItem("2.8", 49));
        log->AddLogReport(SampleReport("6.1.01 RC 1"), -1);
        log->SaveLogFile();
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(temp.c_str()));
    std::unique_ptr<TLogFile> log = OpenLogFile(name);
    ASSERT_EQ(51, log->ReportCount());
    EXPECT_EQ("1", log->GetReportItem("2.8", 0));
}

}  // namespace
