#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EUtils.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Exception.h"

namespace {

// What the process sends to the debugger output: both exceptions OutputDebugString raises
// pass a vectored handler first.
std::vector<std::string> ansiOutput;
std::vector<std::wstring> wideOutput;

LONG CALLBACK CaptureDebugOutput(EXCEPTION_POINTERS* e)
{
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode == DBG_PRINTEXCEPTION_C && r->NumberParameters >= 2 && r->ExceptionInformation[0] > 0)
        ansiOutput.emplace_back(reinterpret_cast<const char*>(r->ExceptionInformation[1]), r->ExceptionInformation[0] - 1);
    if (r->ExceptionCode == 0x4001000A && r->NumberParameters >= 2 && r->ExceptionInformation[0] > 0)
        wideOutput.emplace_back(reinterpret_cast<const wchar_t*>(r->ExceptionInformation[1]), r->ExceptionInformation[0] - 1);
    return EXCEPTION_CONTINUE_SEARCH;
}

bool sendProgressOpen = false;

DWORD WINAPI WaitForEvent(LPVOID event)
{
    WaitForSingleObject(static_cast<HANDLE>(event), 5000);
    return 0;
}

// Reserved, uncommitted blocks of exactly size bytes in the address space.
int ReservedBlocksOf(size_t size)
{
    int count = 0;
    MEMORY_BASIC_INFORMATION info;
    for (auto* at = static_cast<char*>(nullptr); VirtualQuery(at, &info, sizeof info) == sizeof info;
         at = static_cast<char*>(info.BaseAddress) + info.RegionSize) {
        if (info.State == MEM_RESERVE && info.AllocationBase == info.BaseAddress && info.RegionSize == size)
            ++count;
    }
    return count;
}

TEST(InternalWarning, GoesToTheDebuggerAndShowsABoxOnlyWhileSending)
{
    InstallInternalWarningOutput();
    SetSendProgressOpenProc([] { return sendProgressOpen; });
    std::vector<TMessageBoxRequest> boxes;
    auto previous = SetMessageBoxHook([&](const TMessageBoxRequest& r) {
        boxes.push_back(r);
        return TModalAnswer::Ok;
    });
    PVOID handler = AddVectoredExceptionHandler(1, &CaptureDebugOutput);

    ansiOutput.clear();
    wideOutput.clear();
    ReportInternalWarning(TDuruvaDodErrorCode::eeLogError, "x");
    const std::string expected = "[WARNING] - Code: eeLogError - Address: 00000000 - Message: \"x\"";
    const bool seen = (ansiOutput.size() >= 1 && ansiOutput[0] == expected) ||
                      (wideOutput.size() == 1 && wideOutput[0] == std::wstring(expected.begin(), expected.end()));
    EXPECT_TRUE(seen) << (ansiOutput.empty() ? std::string("nothing") : ansiOutput[0]);
    EXPECT_LE(ansiOutput.size(), 1u);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(TDuruvaDodErrorCode::eeLogError, LastWarningCode());
    EXPECT_EQ("x", LastWarningText());

    struct {
        TDuruvaDodErrorCode code;
        bool sending;
        bool box;
    } cases[] = {
        {TDuruvaDodErrorCode::eeEmailSMTPError, false, false},
        {TDuruvaDodErrorCode::eeEmailSMTPError, true, true},
        {TDuruvaDodErrorCode::eeWebTrakerError, true, true},
        {TDuruvaDodErrorCode::eeLogError, true, false},
        {TDuruvaDodErrorCode::eeEmailMAPIError, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ErrorCodeName(c.code));
        boxes.clear();
        sendProgressOpen = c.sending;
        ReportInternalWarning(c.code, "cannot send");
        ASSERT_EQ(c.box ? 1u : 0u, boxes.size());
        if (c.box) {
            EXPECT_EQ("Error.", boxes[0].caption);
            EXPECT_EQ("cannot send", boxes[0].text);
            EXPECT_EQ(TMsgDlgType::Error, boxes[0].type);
        }
    }
    sendProgressOpen = false;

    try {
        throw Exception("boom");
    } catch (...) {
        ReportStepFailure(TDuruvaDodErrorCode::eeWebHTTPError, "Send");
    }
    EXPECT_EQ("[Send] boom", LastWarningText());
    try {
        throw 5;
    } catch (...) {
        ReportStepFailure(TDuruvaDodErrorCode::eeWebHTTPError, "Send");
    }
    EXPECT_EQ("General 'Send' error.", LastWarningText());
    ClearLastWarning();
    EXPECT_EQ(TDuruvaDodErrorCode::eeNone, LastWarningCode());

    RemoveVectoredExceptionHandler(handler);
    SetMessageBoxHook(previous);
    SetInternalWarningSink(nullptr);
}

TEST(ProcessFacts, ModuleNamesFoldersAndVersions)
{
    struct {
        const char* in;
        const char* out;
    } paths[] = {
        {"\\??\\C:\\x\\y.dll", "C:\\x\\y.dll"},
        {"\\\\?\\D:\\a\\b.exe", "D:\\a\\b.exe"},
        {"C:\\plain\\z.dll", "C:\\plain\\z.dll"},
        {"no drive ? at all", "no drive ? at all"},
    };
    for (const auto& p : paths) {
        SCOPED_TRACE(p.in);
        EXPECT_EQ(p.out, StripObjectPathPrefix(p.in));
    }
    const std::string kernel = ModuleFileNameOf(GetModuleHandleW(L"kernel32.dll"));
    EXPECT_EQ(0, lstrcmpiA(kernel.substr(kernel.size() - 12).c_str(), "kernel32.dll")) << kernel;
    EXPECT_EQ(":\\", kernel.substr(1, 2));
    EXPECT_EQ("", ModuleFileNameOf(reinterpret_cast<HMODULE>(0x10)));
    EXPECT_FALSE(ModuleHasFileName(reinterpret_cast<HMODULE>(0x10)));
    EXPECT_EQ(ModuleFileNameOf(nullptr), CurrentModuleFileName());
    const std::string temp = TempFolderPath();
    ASSERT_FALSE(temp.empty());
    EXPECT_EQ('\\', temp.back());
    EXPECT_FALSE(ComputerName().empty());
    EXPECT_LE(ComputerName().size(), 15u);
    EXPECT_FALSE(CurrentUserName().empty());
    EXPECT_EQ(0u, OsVersionName().find("Microsoft Windows "));
    EXPECT_FALSE(OsBuildNumber().empty());
    EXPECT_TRUE(OnNtFamily());
    EXPECT_FALSE(OnWindows95());
    EXPECT_EQ(GetCurrentProcessId(), CurrentProcessId());
    EXPECT_FALSE(CommandLineText().empty());
}

TEST(ProcessFacts, MailDateCarriesTheLocalZone)
{
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = GetTimeZoneInformation(&zone);
    int bias = static_cast<int>(zone.Bias);
    if (kind == TIME_ZONE_ID_DAYLIGHT)
        bias += static_cast<int>(zone.DaylightBias);
    const double now = NowDateTime();
    const std::string text = FormatMailDate(now);
    EXPECT_EQ(MailDateZone(-bias), text.substr(text.size() - 5)) << text;
    // Run again under named zones: a winter and a summer date each carry the offset in force then.
    const char* winter = std::getenv("VIDUDO_EXPECT_WINTER_ZONE");
    const char* summer = std::getenv("VIDUDO_EXPECT_SUMMER_ZONE");
    if (winter && summer) {
        const std::string january = FormatMailDate(EncodeDateTime(2026, 1, 15, 12, 30, 0));
        const std::string july = FormatMailDate(EncodeDateTime(2026, 7, 15, 12, 30, 0));
        EXPECT_EQ(std::string("Thu, 15 Jan 2026 12:30:00 ") + winter, january);
        EXPECT_EQ(std::string("Wed, 15 Jul 2026 12:30:00 ") + summer, july);
    }
}

TEST(Files, ReadWholeFileReadsToTheEndWithinItsLimit)
{
    const std::string name = TempFolderPath() + "读全文件-" + std::to_string(GetCurrentProcessId()) + ".bin";
    std::string written(200000, '\0');  // more than one read's buffer
    for (size_t i = 0; i < written.size(); ++i) written[i] = static_cast<char>(i * 7);
    HANDLE out = CreateFileW(GbkToWide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, out) << "GetLastError=" << GetLastError();
    DWORD done = 0;
    WriteFile(out, written.data(), static_cast<DWORD>(written.size()), &done, nullptr);
    CloseHandle(out);
    std::string bytes = "old";
    EXPECT_TRUE(ReadWholeFile(name, bytes));
    EXPECT_TRUE(bytes == written) << bytes.size();
    EXPECT_TRUE(ReadWholeFile(name, bytes, written.size(), FILE_SHARE_READ));
    EXPECT_EQ(written.size(), bytes.size());
    EXPECT_FALSE(ReadWholeFile(name, bytes, written.size() - 1));
    EXPECT_EQ("", bytes);
    DeleteFileW(GbkToWide(name).c_str());
    bytes = "old";
    EXPECT_FALSE(ReadWholeFile(name, bytes));
    EXPECT_EQ("", bytes);
}

TEST(ThreadsAndStacks, HandlesThreadsStackCopyAndReserve)
{
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    EXPECT_TRUE(IsHandleValid(event));
    HANDLE thread = nullptr;
    DuplicateHandle(GetCurrentProcess(), GetCurrentThread(), GetCurrentProcess(), &thread, 0, FALSE, DUPLICATE_SAME_ACCESS);
    EXPECT_TRUE(IsThreadRunning(thread));
    CloseHandle(thread);
    HANDLE workerHandle = CreateThread(nullptr, 0, &WaitForEvent, event, 0, nullptr);
    EXPECT_TRUE(IsThreadRunning(workerHandle));
    SetEvent(event);
    WaitForSingleObject(workerHandle, 5000);
    EXPECT_FALSE(IsThreadRunning(workerHandle));
    CloseHandle(workerHandle);
    CloseHandle(event);
    EXPECT_FALSE(IsHandleValid(event));

    const uintptr_t top = CurrentStackTop(), limit = CurrentStackLimit(), sp = CurrentStackPointer();
    EXPECT_LT(limit, sp);
    EXPECT_LT(sp, top);

    ThreadExceptionContext()->walkStart = static_cast<uint32_t>(sp);
    CaptureRawStack(0x401005, true);
    LockRawStack();
    const TRawStack& raw = RawStack();
    EXPECT_EQ(GetCurrentThreadId(), raw.threadId);
    EXPECT_EQ(0x401000u, raw.address);
    EXPECT_EQ(sp, raw.start);
    EXPECT_EQ(std::min<size_t>(top - sp, RawStackLimit), raw.size);
    // Frames of the callers further up are still as they were copied.
    ASSERT_GT(raw.size, 512u);
    EXPECT_EQ(0, std::memcmp(raw.bytes + raw.size - 256, reinterpret_cast<const void*>(sp + raw.size - 256), 128));
    UnlockRawStack();
    // A start outside the stack falls back to the caller's frame; a deep stack is clamped.
    ThreadExceptionContext()->walkStart = 16;
    std::thread([] {
        volatile uint8_t deep[200000];
        deep[0] = 1;
        ThreadExceptionContext()->walkStart = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&deep[0]));
        CaptureRawStack(0, true);
        ReleaseThreadExceptionContext();
    }).join();
    EXPECT_EQ(RawStackLimit, RawStack().size);
    EXPECT_EQ(0u, RawStack().address);
    CaptureRawStack(0, false);
    EXPECT_GT(RawStack().size, 0u);
    EXPECT_LT(RawStack().size, RawStackLimit);
    ThreadExceptionContext()->walkStart = 0;

    ReleaseEmergencyMemory();
    const int before = ReservedBlocksOf(0x500000);
    ReserveEmergencyMemory();
    ASSERT_TRUE(EmergencyMemoryReserved());
    EXPECT_EQ(before + 1, ReservedBlocksOf(0x500000));
    // Reserving again keeps the one block: nothing more is taken, and one release frees it.
    ReserveEmergencyMemory();
    EXPECT_TRUE(EmergencyMemoryReserved());
    EXPECT_EQ(before + 1, ReservedBlocksOf(0x500000));
    ReleaseEmergencyMemory();
    EXPECT_FALSE(EmergencyMemoryReserved());
    EXPECT_EQ(before, ReservedBlocksOf(0x500000));
}

TEST(HandlerAnalysis, KeepsTheTenLatest)
{
    Exception error("e");
    THandlerAnalysis result{};
    for (uint32_t i = 0; i < 11; ++i)
        StoreHandlerAnalysis(&error, 0x1000 + i, &error, {1, i, 2, 3});
    EXPECT_FALSE(FindHandlerAnalysis(&error, 0x1000, &error, result)) << "the oldest was dropped";
    ASSERT_TRUE(FindHandlerAnalysis(&error, 0x1005, &error, result));
    EXPECT_EQ(5u, result.value);
    EXPECT_EQ(3, result.second);
    EXPECT_FALSE(FindHandlerAnalysis(&error, 0x1005, nullptr, result));
    EXPECT_FALSE(FindHandlerAnalysis(reinterpret_cast<void*>(1), 0x1005, &error, result));
}

}  // namespace
