// The real program failing while it runs: a thread started in its own code with a bad object
// faults, as a thread of the program handed a freed object would, and no frame of it handles
// the fault. The reporter shows its dialog, keeps the report in the log beside the program,
// mails it and ends the program: through the program's
// own Simple MAPI settings (a test provider named in the registry), and, in a copy stamped for
// SMTP, to a peer in a network namespace (crash_mail_netns.py).
#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/delivery/ELogFile.h"
#include "crashreport/delivery/ELogFileWin.h"
#include "framework/CodePage.h"
#include "framework/Shell.h"
#include "framework/SysUtils.h"
#include "tests/support/FixturePeer.h"
#include "tests/support/UiDriver.h"

namespace {

// The framework's thread entry: it reads the thread object it is given first.
const char kFaultingEntry[] = "__ZN7TThread10ThreadProcEPv@4";
// A thread object in the first page of the address space: nothing is mapped there.
void* const kBadObject = reinterpret_cast<void*>(0x10);

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    ReadWholeFile(path, bytes, AnyFileSize, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    return bytes;
}

bool Exists(const std::string& path) { return GetFileAttributesW(GbkToWide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

template <class T>
T At(const std::string& image, size_t offset)
{
    T value{};
    if (offset + sizeof(T) <= image.size())
        std::memcpy(&value, image.data() + offset, sizeof(T));
    return value;
}

// The relative address of a symbol from the program file's COFF symbol table; 0 when absent.
uint32_t SymbolRva(const std::string& image, const std::string& name)
{
    const auto pe = At<uint32_t>(image, 0x3C);
    if (At<uint32_t>(image, pe) != IMAGE_NT_SIGNATURE)
        return 0;
    const auto file = At<IMAGE_FILE_HEADER>(image, pe + 4);
    const size_t sections = pe + 4 + sizeof(IMAGE_FILE_HEADER) + file.SizeOfOptionalHeader;
    const size_t strings = file.PointerToSymbolTable + size_t{file.NumberOfSymbols} * 18;
    for (size_t i = 0; i < file.NumberOfSymbols; ++i) {
        const size_t at = file.PointerToSymbolTable + i * 18;
        std::string symbol;
        if (At<uint32_t>(image, at) == 0) {
            const size_t text = strings + At<uint32_t>(image, at + 4);
            if (text < image.size())
                symbol = image.c_str() + text;
        } else {
            symbol.assign(image.data() + at, 8);
            symbol.resize(std::strlen(symbol.c_str()));
        }
        const auto section = At<int16_t>(image, at + 12);
        if (symbol == name && section > 0 && section <= file.NumberOfSections) {
            const auto header = At<IMAGE_SECTION_HEADER>(image, sections + (section - 1) * sizeof(IMAGE_SECTION_HEADER));
            return header.VirtualAddress + At<uint32_t>(image, at + 8);
        }
        i += At<uint8_t>(image, at + 17);
    }
    return 0;
}

uintptr_t ProgramBase(DWORD pid)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    const uintptr_t base = Module32FirstW(snapshot, &module) ? reinterpret_cast<uintptr_t>(module.modBaseAddr) : 0;
    CloseHandle(snapshot);
    return base;
}

// The detailed exception dialog of process pid, once it is up.
HWND FindExceptionDialog(DWORD pid)
{
    for (HWND h : ui::TopLevelWindows(pid, L"#32770"))
        if (IsWindowVisible(h) && GetDlgItem(h, 3000))
            return h;
    return nullptr;
}

// The folder part of a Windows path, with its final backslash.
std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\') + 1); }

// A log's text held in memory.
class TTextStore : public TLogFileStore {
public:
    explicit TTextStore(std::string text) : text_(std::move(text)) {}
    std::optional<std::string> Read() override { return text_; }
    void Write(std::string_view text) override { text_ = text; }

private:
    std::string text_;
};

struct TReportSeen {
    std::string caption, message;
    bool sendShown = false, sendChecked = false;
    DWORD threadId = 0;
};

class ProgramCrashTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        port = PeerPort("VIDUDO_SERVER_PORT");
        ASSERT_NE(0, port) << "run this test with the trading fixture (with_peers.py)";
        fixture.Reset();
    }

    // Starts the program from its folder against the fixture and waits for its login window.
    void Start(const std::string& programFolder)
    {
        folder = programFolder;
        logName = folder + "Vidudo.elf";
        const std::string ini = "[Application]\r\nAppName=Vidudo期货模拟交易系统\r\ngid=1001\r\n[NetWork]\r\nHostCount=1\r\n"
                                "HostIdx=0\r\nHostName0=本地\r\nHost0=127.0.0.1\r\nPort0=" + IntToStr(port) + "\r\n";
        HANDLE f = CreateFileW(GbkToWide(folder + "Client.ini").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, f);
        DWORD put = 0;
        WriteFile(f, ini.data(), static_cast<DWORD>(ini.size()), &put, nullptr);
        CloseHandle(f);
        program = std::make_unique<ui::Program>(folder + "Vidudo.exe", "", folder);
        login = program->WaitForWindow("LoginForm", 30000);
        ASSERT_NE(nullptr, login);
        HWND accounts = ui::FindByName("accountname", login, program->Pid());
        ASSERT_TRUE(ui::WaitFor([&] { return ui::WindowText(accounts) == "演示基金"; }, 10000)) << "the login window is up";
    }

    // Starts a thread in the program's own code that faults, then reads the dialog the
    // reporter shows for it and closes it with OK.
    void FaultAndCloseTheDialog(TReportSeen& seen, bool attachScreenshot)
    {
        const uint32_t rva = SymbolRva(ReadFileBytes(folder + "Vidudo.exe"), kFaultingEntry);
        ASSERT_NE(0u, rva) << "the program's symbol table has no " << kFaultingEntry;
        const uintptr_t base = ProgramBase(program->Pid());
        ASSERT_NE(0u, base);
        HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, program->Pid());
        ASSERT_NE(nullptr, process);
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(base + rva),
                                           kBadObject, 0, &seen.threadId);
        CloseHandle(process);
        ASSERT_NE(nullptr, thread) << "GetLastError=" << GetLastError();
        HWND dialog = nullptr;
        // A loaded machine may take long to build the report the dialog waits for.
        ASSERT_TRUE(ui::WaitFor([&] { return (dialog = FindExceptionDialog(program->Pid())) != nullptr; }, 90000))
            << "no exception dialog; the program " << (program->Running() ? "still runs" : "has ended")
            << ", its thread " << (WaitForSingleObject(thread, 0) == WAIT_OBJECT_0 ? "has ended" : "still runs");
        seen.caption = ui::WindowText(dialog);
        seen.message = ui::WindowText(GetDlgItem(dialog, 101));
        HWND send = GetDlgItem(dialog, 3000);
        seen.sendShown = IsWindowVisible(send) != FALSE;
        seen.sendChecked = SendMessageW(send, BM_GETCHECK, 0, 0) == BST_CHECKED;
        if (attachScreenshot)
            SendMessageW(GetDlgItem(dialog, 4000), BM_SETCHECK, BST_CHECKED, 0);
        PostMessageW(dialog, WM_COMMAND, 102, 0);
        CloseHandle(thread);
        EXPECT_TRUE(ui::WaitFor([&] { return !IsWindow(dialog); }, 10000)) << "the dialog stays";
    }

    // The log beside the program once it holds a report: read under the log's own lock, which
    // is let go at once (the program waits for it to save), and kept as a copy.
    std::unique_ptr<TLogFile> WaitForLog(int reports)
    {
        std::string text;
        ui::WaitFor([&] {
            if (!Exists(logName))
                return false;
            try {
                const std::unique_ptr<TLogFile> log = OpenLogFile(logName);
                if (log->ReportCount() < reports)
                    return false;
                text = log->GetLogText();
            } catch (...) {
                return false;
            }
            return true;
        }, 30000);
        return text.empty() ? nullptr : std::make_unique<TLogFile>(std::make_unique<TTextStore>(text));
    }

    // The program's own report of the fault: its module, its message, its thread, its stack.
    void CheckReport(const TLogFile& log, int index, const TReportSeen& seen)
    {
        const std::string& report = log.Report(index);
        EXPECT_EQ(0u, report.find("DuruvaDod ")) << report.substr(0, 80);
        EXPECT_EQ("EAccessViolation", log.GetReportItem("2.5", index));
        EXPECT_NE(std::string::npos, log.GetReportItem("2.3", index).find("Vidudo.exe")) << "the faulting module";
        const std::string message = log.GetReportItem("2.6", index);
        EXPECT_NE(std::string::npos, message.find("'Vidudo.exe'")) << message;
        EXPECT_NE(std::string::npos, message.find(log.GetReportItem("2.2", index))) << "the fault's address in " << message;
        EXPECT_EQ("1", log.GetReportItem("2.8", index));
        // The dialog tells the message as the report words it (the report ends it with a ".").
        EXPECT_EQ(message, seen.message + ".") << "the dialog's message";
        const std::string stack = log.CallStackTable(index);
        const std::string threadRow = "|*Exception Thread: ID=" + IntToStr(static_cast<int>(seen.threadId)) + ";";
        const size_t thread = stack.find(threadRow);
        ASSERT_NE(std::string::npos, thread) << "the faulting thread " << seen.threadId << " in\n" << stack;
        // Its first line below the rule: the thread entry in the program's own module and unit.
        size_t line = stack.find("\r\n|", thread);
        while (line != std::string::npos && stack.compare(line + 2, 2, "|-") == 0)
            line = stack.find("\r\n|", line + 2);
        ASSERT_NE(std::string::npos, line) << stack;
        std::vector<std::string> fields;
        const std::string row = stack.substr(line + 3, stack.find("\r\n", line + 2) - line - 3);
        for (size_t at = 0; at <= row.size();) {
            const size_t bar = std::min(row.find('|', at), row.size());
            fields.push_back(Trim(row.substr(at, bar - at)));
            at = bar + 1;
        }
        ASSERT_GE(fields.size(), 6u) << row;
        EXPECT_EQ(log.GetReportItem("2.2", index), fields[0]) << row;
        EXPECT_EQ("Vidudo.exe", fields[1]) << row;
        EXPECT_EQ("Thread.cpp", fields[2]) << row;
        EXPECT_EQ("TThread", fields[3]) << row;
        EXPECT_EQ("ThreadProc", fields[4]) << row;
    }

    // The whole road up to the stored report: the program started, its fault, its dialog
    // (offering to send, checked) and its own entry in the log beside it.
    // The log then holds `reports` reports, this fault's the last.
    std::unique_ptr<TLogFile> FailAndCheckTheReport(const std::string& programFolder, bool attachScreenshot, int reports)
    {
        Start(programFolder);
        if (HasFatalFailure())
            return nullptr;
        TReportSeen seen;
        FaultAndCloseTheDialog(seen, attachScreenshot);
        if (HasFatalFailure())
            return nullptr;
        EXPECT_TRUE(seen.sendShown && seen.sendChecked) << "the dialog offers to send, checked";
        std::unique_ptr<TLogFile> log = WaitForLog(reports);
        EXPECT_NE(nullptr, log) << "no report in " << logName;
        if (log) {
            EXPECT_EQ(reports, log->ReportCount());
            CheckReport(*log, reports - 1, seen);
        }
        return log;
    }

    // A fault no frame of its thread handles ends the program with its code once it was
    // reported.
    void ExpectTheProgramEndsWithTheFault()
    {
        EXPECT_EQ(static_cast<int>(EXCEPTION_ACCESS_VIOLATION), program->Wait(30000));
    }

    int port = 0;
    TFixture fixture;
    std::string folder, logName;
    std::unique_ptr<ui::Program> program;
    HWND login = nullptr;
};

void SetKey(HKEY root, const char* path, const char* name, const std::string& value)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr));
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

std::string WindowsPath(std::string unixPath)
{
    for (char& c : unixPath)
        if (c == '/')
            c = '\\';
    return "Z:" + unixPath;
}

// The default mail program is the test provider (as the e-mail delivery test names it), which
// notes its calls in mapiLog.
void UseTestMailProvider(const std::string& mapiLog)
{
    const std::string peers = WindowsPath(VIDUDO_MAIL_PEERS_DIR) + "\\";
    SetKey(HKEY_CURRENT_USER, "SOFTWARE\\Clients\\Mail", nullptr, "VidudoTestMail");
    SetKey(HKEY_CURRENT_USER, "SOFTWARE\\Clients\\Mail\\VidudoTestMail", "DLLPath", peers + "mapi_provider.dll");
    SetKey(HKEY_CLASSES_ROOT, "mailto\\shell\\open\\command", nullptr, "\"" + peers + "fake_mailer.exe\" %1");
    SetEnvironmentVariableA("VIDUDO_MAPI_LOG", mapiLog.c_str());
    SetEnvironmentVariableA("VIDUDO_MAPI_RESULT", "0");
}

}  // namespace

// As shipped: the detailed dialog, the log beside the program (each fault a report of its
// own), the report through the user's mail program by Simple MAPI.
TEST_F(ProgramCrashTest, AFaultInItsOwnCodeIsShownLoggedAndMailedByMapi)
{
    const std::string folder = ProgramFolder() + "program_crash\\", mapiLog = folder + "mapi.log";
    DeleteFileW(GbkToWide(folder + "Vidudo.elf").c_str());
    UseTestMailProvider(mapiLog);

    // Two runs of the program, each failing once: the second report goes after the first,
    // which stays as it was.
    std::string first;
    for (int run = 1; run <= 2; ++run) {
        SCOPED_TRACE(run);
        DeleteFileW(GbkToWide(mapiLog).c_str());
        const std::unique_ptr<TLogFile> log = FailAndCheckTheReport(folder, false, run);
        if (HasFatalFailure() || !log)
            return;
        if (run == 1)
            first = log->Report(0);
        else
            EXPECT_EQ(first, log->Report(0)) << "the earlier report is kept whole";

        std::string sent;
        EXPECT_TRUE(ui::WaitFor([&] { return (sent = ReadFileBytes(mapiLog)).find("logoff ") != std::string::npos; }, 30000))
            << "the provider was not called: " << sent;
        // Flags 9: logon UI and the send dialog (SendFlags 0x1); no recipients are configured.
        EXPECT_NE(std::string::npos, sent.find(" flags=9 subject=Vidudo模拟交易系统 错误报告 note=")) << sent;
        EXPECT_NE(std::string::npos, sent.find(" recips=0 files=1\n")) << sent;
        const size_t file = sent.find("file flags=0 position=-1 path=");
        ASSERT_NE(std::string::npos, file) << sent;
        const size_t path = file + std::strlen("file flags=0 position=-1 path=");
        const std::string zip = sent.substr(path, sent.find(" name=", path) - path);
        EXPECT_EQ("BugReport.zip", zip.substr(zip.find_last_of('\\') + 1)) << zip;
        EXPECT_NE(std::string::npos, sent.find(" name=BugReport.zip\n", path)) << sent;
        // The report's own work folder is gone once it was delivered.
        EXPECT_TRUE(ui::WaitFor([&] { return !Exists(FolderOf(zip)); }, 10000)) << FolderOf(zip) << " is left";
        ExpectTheProgramEndsWithTheFault();
    }
}

// A copy stamped to count repeats (log flag 0x1): the same fault in a second run adds no report
// but counts the first one twice, and a repeat is neither offered nor sent.
TEST_F(ProgramCrashTest, TheCopyCountingRepeatsCountsItsSecondFaultOnce)
{
    const std::string folder = ProgramFolder() + "program_count\\", mapiLog = folder + "mapi.log";
    DeleteFileW(GbkToWide(folder + "Vidudo.elf").c_str());
    UseTestMailProvider(mapiLog);
    DeleteFileW(GbkToWide(mapiLog).c_str());
    FailAndCheckTheReport(folder, false, 1);
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(ui::WaitFor([&] { return ReadFileBytes(mapiLog).find("logoff ") != std::string::npos; }, 30000))
        << "the first report was not mailed";
    ExpectTheProgramEndsWithTheFault();

    DeleteFileW(GbkToWide(mapiLog).c_str());
    Start(folder);
    TReportSeen seen;
    if (!HasFatalFailure())
        FaultAndCloseTheDialog(seen, false);
    if (HasFatalFailure())
        return;
    EXPECT_FALSE(seen.sendShown) << "the dialog offers to send a repeat";
    ExpectTheProgramEndsWithTheFault();
    EXPECT_FALSE(Exists(mapiLog)) << "a repeat was mailed: " << ReadFileBytes(mapiLog);
    const std::unique_ptr<TLogFile> log = WaitForLog(1);
    ASSERT_NE(nullptr, log);
    EXPECT_EQ(1, log->ReportCount());
    EXPECT_EQ("2", log->GetReportItem("2.8", 0));
    EXPECT_EQ("EAccessViolation", log->GetReportItem("2.5", 0));
}

// A copy stamped for SMTP through a server: the message reaches the peer, which the runner
// then reads (subject, recipient, the zip with the log copy and the screenshot).
TEST_F(ProgramCrashTest, TheCopyStampedForSmtpMailsItsFault)
{
    char peerDir[MAX_PATH] = {};
    if (!GetEnvironmentVariableA("VIDUDO_PEER_DIR", peerDir, MAX_PATH))
        GTEST_SKIP() << "runs in the SMTP peer's namespace (crash_mail_netns.py)";
    const std::string stored = WindowsPath(peerDir) + "\\msg-1.eml";
    DeleteFileW(GbkToWide(ProgramFolder() + "program_mail\\Vidudo.elf").c_str());
    FailAndCheckTheReport(ProgramFolder() + "program_mail\\", true, 1);
    if (HasFatalFailure())
        return;
    EXPECT_TRUE(ui::WaitFor([&] { return Exists(stored); }, 40000)) << "no message reached the peer";
    ExpectTheProgramEndsWithTheFault();
}

namespace {

// The cells of a table row "|a|b|c|", trimmed.
std::vector<std::string> Cells(const std::string& row)
{
    std::vector<std::string> cells;
    for (size_t at = 1; at < row.size();) {
        const size_t bar = row.find('|', at);
        if (bar == std::string::npos)
            break;
        cells.push_back(Trim(row.substr(at, bar - at)));
        at = bar + 1;
    }
    return cells;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    for (size_t at = 0; at < text.size();) {
        const size_t end = std::min(text.find("\r\n", at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    return lines;
}

// Each module of the process pid a tool-help snapshot lists: lower-case file name.
std::vector<std::string> SnapshotModules(DWORD pid)
{
    std::vector<std::string> names;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return names;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    for (BOOL ok = Module32FirstW(snapshot, &module); ok; ok = Module32NextW(snapshot, &module))
        names.push_back(LowerCase(WideToGbk(module.szModule)));
    CloseHandle(snapshot);
    return names;
}

uintptr_t RemoteModuleBase(DWORD pid, const wchar_t* name)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    MODULEENTRY32W module{};
    module.dwSize = sizeof module;
    uintptr_t base = 0;
    for (BOOL ok = Module32FirstW(snapshot, &module); ok && !base; ok = Module32NextW(snapshot, &module))
        if (_wcsicmp(module.szModule, name) == 0)
            base = reinterpret_cast<uintptr_t>(module.modBaseAddr);
    CloseHandle(snapshot);
    return base;
}

double TimeScale()
{
    const char* scale = std::getenv("VIDUDO_TIME_SCALE");
    return scale && *scale ? std::atof(scale) : 1.0;
}

}  // namespace

// The program as users run it, cold, stamped to log without a dialog: user32 calls back into
// the program's own code (an EnumWindows callback), which faults. The first report of the
// process has the call stack through the system DLL, the export named, and the modules of the
// process each with its version and size; the program's own items carry its version resource.
TEST_F(ProgramCrashTest, AFaultInACallbackOfASystemDllHasEveryFrameAndModule)
{
    const std::string folder = ProgramFolder() + "program_logged\\";
    DeleteFileW(GbkToWide(folder + "Vidudo.elf").c_str());
    Start(folder);
    if (HasFatalFailure())
        return;
    // The loads of the start-up are recorded in the background: time for that, as a user takes.
    Sleep(static_cast<DWORD>(3000 * TimeScale()));
    const DWORD pid = program->Pid();
    const std::vector<std::string> modules = SnapshotModules(pid);
    ASSERT_GT(modules.size(), 5u);
    // EnumWindows in the program's process (user32 at its own base there), calling back the
    // framework's thread entry with a window handle for its thread object.
    const uint32_t rva = SymbolRva(ReadFileBytes(folder + "Vidudo.exe"), kFaultingEntry);
    ASSERT_NE(0u, rva);
    const uintptr_t base = ProgramBase(pid), user32 = RemoteModuleBase(pid, L"user32.dll");
    ASSERT_TRUE(base && user32);
    HMODULE local = GetModuleHandleW(L"user32.dll");
    const uintptr_t enumWindows =
        user32 + (reinterpret_cast<uintptr_t>(reinterpret_cast<void*>(GetProcAddress(local, "EnumWindows"))) -
                  reinterpret_cast<uintptr_t>(local));
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    ASSERT_NE(nullptr, process);
    DWORD threadId = 0;
    HANDLE thread = CreateRemoteThread(process, nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(enumWindows),
                                       reinterpret_cast<void*>(base + rva), 0, &threadId);
    CloseHandle(process);
    ASSERT_NE(nullptr, thread);
    CloseHandle(thread);
    const std::unique_ptr<TLogFile> log = WaitForLog(1);
    ASSERT_NE(nullptr, log) << "no report in " << logName;
    const std::string report = log->Report(0);
    EXPECT_EQ("Vidudo.exe - (Vidudo模拟交易系统)", log->GetReportItem("1.2", 0));
    EXPECT_EQ("3.2.0.0", log->GetReportItem("1.3", 0));
    EXPECT_EQ("Vidudo.exe - (Vidudo模拟交易系统)", log->GetReportItem("2.3", 0));
    EXPECT_EQ("3.2.0.0", log->GetReportItem("2.4", 0));

    // The faulting thread's rows: the callback in the program, then user32's export that called
    // it, kind 2 (a procedure and no line).
    const std::string stack = log->CallStackTable(0);
    std::vector<std::vector<std::string>> rows;
    bool inside = false;
    for (const std::string& line : Lines(stack)) {
        const std::vector<std::string> cells = Cells(line);
        if (cells.size() == 1 && cells[0].find_first_not_of('-') == std::string::npos)
            continue;
        if (cells.size() == 1) {
            inside = cells[0].rfind("*Exception Thread: ID=" + IntToStr(static_cast<int>(threadId)) + ";", 0) == 0;
            continue;
        }
        if (inside && cells.size() == 6)
            rows.push_back(cells);
    }
    size_t callback = rows.size(), system = rows.size();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (callback == rows.size() && rows[i][1] == "Vidudo.exe" && rows[i][4] == "ThreadProc")
            callback = i;
        else if (callback < i && system == rows.size() && LowerCase(rows[i][1]) == "user32.dll")
            system = i;
    }
    ASSERT_LT(callback, rows.size()) << stack;
    ASSERT_LT(system, rows.size()) << "no user32 frame below the callback:\n" << stack;
    EXPECT_EQ("EnumWindows", rows[system][4]) << stack;
    EXPECT_EQ("", rows[system][5]) << stack;

    // Every module of the snapshot, with version and size.
    std::map<std::string, std::vector<std::string>> listed;
    for (const std::string& line : Lines(log->ModulesTable(0))) {
        const std::vector<std::string> cells = Cells(line);
        if (cells.size() == 7 && cells[0].size() == 8)
            listed[LowerCase(cells[1])] = cells;
    }
    for (const std::string& name : modules) {
        SCOPED_TRACE(name);
        const auto found = listed.find(name);
        ASSERT_NE(listed.end(), found) << log->ModulesTable(0);
        // As the file is: Wine's 16-bit modules have none, and some of its DLLs no version.
        const std::wstring file = GbkToWide(found->second[6] + "\\" + found->second[1]);
        WIN32_FILE_ATTRIBUTE_DATA attributes{};
        if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &attributes))
            continue;
        DWORD ignored = 0;
        const bool versioned = GetFileVersionInfoSizeW(file.c_str(), &ignored) != 0;
        EXPECT_EQ(versioned, found->second[3] != "") << "version " << found->second[3];
        EXPECT_EQ(IntToStr(static_cast<int>(attributes.nFileSizeLow)), found->second[4]) << "size";
        EXPECT_EQ(std::string::npos, found->second[5].find("1899")) << "date";
    }
    std::printf("%s\n", report.c_str());
}

// The program's own watchdog, from its stamped options (a copy with a 3 s time-out): its main
// thread stopped from outside after the login window is up gives one frozen-application report
// with the main thread's stack, and the program answers again once the thread runs.
TEST_F(ProgramCrashTest, TheWatchdogReportsTheStoppedMainThreadOnce)
{
    const std::string folder = ProgramFolder() + "program_watch\\";
    DeleteFileW(GbkToWide(folder + "Vidudo.elf").c_str());
    Start(folder);
    if (HasFatalFailure())
        return;
    const DWORD mainThread = GetWindowThreadProcessId(login, nullptr);
    HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, mainThread);
    ASSERT_NE(nullptr, thread);
    ASSERT_NE(static_cast<DWORD>(-1), SuspendThread(thread));
    const std::unique_ptr<TLogFile> log = WaitForLog(1);
    ResumeThread(thread);
    CloseHandle(thread);
    ASSERT_NE(nullptr, log) << "no frozen-application report while the main thread stood";
    DWORD_PTR answer = 0;
    EXPECT_TRUE(ui::WaitFor([&] {
        return SendMessageTimeoutW(login, WM_NULL, 0, 0, SMTO_BLOCK, 1000, &answer) != 0;
    }, static_cast<int>(30000 * TimeScale()))) << "the program does not answer again";
    EXPECT_EQ("EFrozenApplication", log->GetReportItem("2.5", 0));
    const std::string stack = log->CallStackTable(0);
    const std::string header = "|*Exception Thread: ID=" + IntToStr(static_cast<int>(mainThread)) + ";";
    const size_t at = stack.find(header);
    ASSERT_NE(std::string::npos, at) << stack;
    EXPECT_NE(std::string::npos, stack.find("[Main]", at)) << stack;
    EXPECT_NE(std::string::npos, stack.find("|Vidudo.exe", at)) << "the main thread's own frames\n" << stack;
    // Running on, answered: no second report.
    Sleep(static_cast<DWORD>(6000 * TimeScale()));
    const std::unique_ptr<TLogFile> later = WaitForLog(1);
    ASSERT_NE(nullptr, later);
    EXPECT_EQ(1, later->ReportCount());
    EXPECT_TRUE(program->Running());
}
