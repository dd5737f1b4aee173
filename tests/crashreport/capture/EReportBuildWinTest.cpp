#include "crashreport/capture/EReportBuildWin.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EReportFactsWin.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EStackWin.h"
#include "crashreport/capture/EUtilsWin.h"

namespace {

// A real fault on a thread of its own: the handler keeps the record and the context and parks
// the thread until the test let it go, so its stack stays to be scanned.
struct TFault {
    EXCEPTION_RECORD record{};
    CONTEXT context{};
    DWORD threadId = 0;
    HANDLE thread = nullptr;
};
TFault* fault = nullptr;
HANDLE faulted = nullptr;
HANDLE release = nullptr;

void __stdcall Parked()
{
    WaitForSingleObject(release, INFINITE);
    ExitThread(0);
}

LONG CALLBACK KeepFault(EXCEPTION_POINTERS* pointers)
{
    if (!fault || GetCurrentThreadId() != fault->threadId ||
        pointers->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
        return EXCEPTION_CONTINUE_SEARCH;
    fault->record = *pointers->ExceptionRecord;
    fault->context = *pointers->ContextRecord;
    pointers->ContextRecord->Eip = reinterpret_cast<DWORD>(&Parked);
    SetEvent(faulted);
    return EXCEPTION_CONTINUE_EXECUTION;
}

// Read at run time: a store through a pointer the compiler sees as null may be left out.
volatile uintptr_t zeroAddress = 0;

DWORD WINAPI WriteAtZero(void*)
{
    *reinterpret_cast<volatile int*>(zeroAddress) = 5;
    return 0;
}

void* generatedCode = nullptr;

DWORD WINAPI JumpIntoAllocatedMemory(void*)
{
    reinterpret_cast<void (*)()>(generatedCode)();
    return 0;
}

class ReportBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        faulted = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        handler_ = AddVectoredExceptionHandler(1, KeepFault);
        InstallAddressLookup();
        RefreshModuleList();
    }
    void TearDown() override
    {
        SetEvent(release);
        if (fault_.thread) {
            WaitForSingleObject(fault_.thread, 5000);
            CloseHandle(fault_.thread);
        }
        fault = nullptr;
        RemoveVectoredExceptionHandler(handler_);
        CloseHandle(faulted);
        CloseHandle(release);
    }
    void Crash(LPTHREAD_START_ROUTINE routine)
    {
        fault = &fault_;
        fault_.thread = CreateThread(nullptr, 0, routine, nullptr, CREATE_SUSPENDED, &fault_.threadId);
        ResumeThread(fault_.thread);
        ASSERT_EQ(WaitForSingleObject(faulted, 10000), WAIT_OBJECT_0);
    }
    // The faulted thread's call stack, walked from its copied registers over live memory.
    std::unique_ptr<TVurazaStackList> FaultStack()
    {
        TLiveMemoryReader live;
        return std::unique_ptr<TVurazaStackList>(BuildStackList(
            reinterpret_cast<uintptr_t>(fault_.record.ExceptionAddress), fault_.context.Esp,
            fault_.context.Esp + 4096, HandlingKindsMask, -1, -1, false, 1, fault_.threadId, live));
    }
    TReportRequest Request()
    {
        TReportRequest request;
        request.ExceptionClass = "EAccessViolation";
        request.ExceptionMessage = "Access violation";
        request.ExceptionAddress = reinterpret_cast<uintptr_t>(fault_.record.ExceptionAddress);
        request.ThreadId = fault_.threadId;
        request.ExceptionRecord = &fault_.record;
        request.Context = &fault_.context;
        request.BugId = "1A2B";
        return request;
    }
    TFault fault_;
    TVurazaModuleOptions options_{ModuleFileNameOf(nullptr)};

private:
    void* handler_ = nullptr;
};

std::string Hex8(uintptr_t value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(value));
    return buf;
}

TEST_F(ReportBuild, AWriteAtZeroIsReportedWithTheModuleTheStackAndTheRegisters)
{
    Crash(WriteAtZero);
    const std::unique_ptr<TVurazaStackList> stack = FaultStack();
    TReportRequest request = Request();
    request.StackList = stack.get();
    const TReportText report = BuildReportText(request, options_);
    const std::string& text = report.LastReportText;

    const std::string module = ExtractFileName(ModuleFileNameOf(nullptr));
    const std::string at = Hex8(request.ExceptionAddress);
    EXPECT_EQ(ReportExceptionMessageText(),
              "存取地址 " + at + " 违例发生在模块 '" + module + "' 中. 写 在地址 00000000 里.");
    EXPECT_EQ(ReportExceptionClassText(), "EAccessViolation");
    EXPECT_EQ(text.rfind("DuruvaDod 6.1.01 RC 1\r\n\r\n", 0), 0u);
    EXPECT_EQ(report.LogReportText, text);
    EXPECT_EQ(ReportHeaderText(), options_.MessageText(4) + "\r\n\r\n");
    EXPECT_NE(text.find("-\r\n|"), std::string::npos);
    EXPECT_NE(text.find(": " + at + "\r\n"), std::string::npos);  // 2.2
    EXPECT_NE(text.find(": 1A2B\r\n"), std::string::npos);        // 2.7
    EXPECT_NE(text.find("|*" + options_.MessageText(99) + ": " + options_.MessageText(102) + "=" +
                        std::to_string(fault_.threadId)),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("|" + at + "|"), std::string::npos);      // the fault's own row
    EXPECT_NE(text.find("|" + module), std::string::npos);        // the modules table
    EXPECT_NE(text.find("; <-- EXCEPTION"), std::string::npos);   // the listing
    EXPECT_NE(text.find(Hex8(fault_.context.Eip)), std::string::npos);
    EXPECT_NE(text.find(Hex8(fault_.context.Esp)), std::string::npos);
}

// The text's own steps: the general facts end at 702233, the thread rows are made at 7027,
// and the text leaves 7040 (the internal-error line names where it stopped).
TEST_F(ReportBuild, TheTextSetsItsOwnHandlingSteps)
{
    Crash(WriteAtZero);
    const std::unique_ptr<TVurazaStackList> stack = FaultStack();
    ASSERT_GT(stack->Count(), 0u);
    TReportRequest request = Request();
    request.StackList = stack.get();
    long inRows = 0;
    request.ThreadFacts = [&](uint32_t) {
        inRows = HandlingStep;
        return TThreadHeaderFacts{};
    };
    HandlingStep = 0;
    GatherGeneralFacts(request);
    EXPECT_EQ(HandlingStep, 702233);
    HandlingStep = 0;
    BuildReportText(request, options_);
    EXPECT_EQ(inRows, 7027);
    EXPECT_EQ(HandlingStep, 7040);
    HandlingStep = 0;
}

TEST_F(ReportBuild, AJumpIntoAllocatedMemoryIsAnEntryViolation)
{
    // mov byte ptr [0], 5
    static const uint8_t code[] = {0xC6, 0x05, 0x00, 0x00, 0x00, 0x00, 0x05, 0xC3};
    generatedCode = VirtualAlloc(nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    ASSERT_NE(generatedCode, nullptr);
    std::memcpy(generatedCode, code, sizeof code);
    Crash(JumpIntoAllocatedMemory);
    BuildReportText(Request(), options_);
    EXPECT_EQ(ReportExceptionMessageText(),
              "入口违规: 地址 " + Hex8(reinterpret_cast<uintptr_t>(generatedCode)) + ". 写 对于地址 00000000.");
    SetEvent(release);
    WaitForSingleObject(fault_.thread, 5000);
    VirtualFree(generatedCode, 0, MEM_RELEASE);
}

TEST_F(ReportBuild, WhatIsNoObjectHasUnknownTypeAndMessage)
{
    Crash(WriteAtZero);
    TReportRequest request = Request();
    request.ExceptionClass.clear();
    request.IsExceptionObject = false;
    const TReportText report = BuildReportText(request, options_);
    const std::string& text = report.LastReportText;
    EXPECT_EQ(ReportExceptionClassText(), "Unknown exception type");
    EXPECT_EQ(ReportExceptionMessageText(), "Unknown error message.");
    EXPECT_NE(text.find(": Unknown error message.\r\n"), std::string::npos);
}

// A filter's message replaces the exception's own, the access-violation wording too, and
// also for what is no exception object.
TEST_F(ReportBuild, AFiltersMessageIsItem26)
{
    Crash(WriteAtZero);
    const struct {
        bool object;
        const char* custom;
        const char* shown;
    } cases[] = {
        {true, "委托被拒绝", "委托被拒绝."},
        {false, "委托被拒绝", "委托被拒绝."},
        {true, "Stopped.", "Stopped."},
    };
    for (const auto& c : cases) {
        TReportRequest request = Request();
        request.IsExceptionObject = c.object;
        request.CustomMessage = c.custom;
        const std::string text = BuildReportText(request, options_).LastReportText;
        EXPECT_EQ(ReportExceptionMessageText(), c.shown);
        EXPECT_NE(text.find(std::string(": ") + c.shown + "\r\n"), std::string::npos) << c.custom;
    }
}

TEST(ReportFacts, TheMachineAndTheProgramAreRead)
{
    TReportGeneralFacts facts;
    const ULONGLONG tickBefore = GetTickCount64();
    GatherSystemFacts(facts);
    const ULONGLONG tickAfter = GetTickCount64();
    EXPECT_EQ(facts.ProgramFileName, ExtractFileName(ModuleFileNameOf(nullptr)));
    // The extended memory status, not the old one that stops at 2 or 4 GB.
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    ASSERT_TRUE(GlobalMemoryStatusEx(&status)) << GetLastError();
    EXPECT_EQ(status.ullTotalPhys, facts.TotalMemory);
    EXPECT_GT(facts.FreeMemory, 0u);
    EXPECT_LE(facts.FreeMemory, facts.TotalMemory);
    const uint64_t slack = status.ullTotalPhys / 10;
    const uint64_t available = std::min(status.ullAvailPhys, status.ullTotalPhys);
    EXPECT_LE(facts.FreeMemory, available + slack);
    EXPECT_GE(facts.FreeMemory + slack, available);
    // The 64-bit tick count, which doesn't wrap after 49.7 days.
    EXPECT_GE(facts.SystemTickMilliseconds + 2000, tickBefore);
    EXPECT_LE(facts.SystemTickMilliseconds, tickAfter + 2000);
    EXPECT_TRUE(facts.DiskKnown);
    EXPECT_GT(facts.TotalDisk, 0u);
    EXPECT_GT(facts.ScreenWidth, 0);
    EXPECT_GT(facts.ScreenHeight, 0);
    EXPECT_GT(facts.BitsPerPixel, 0);
    EXPECT_GT(facts.Dpi, 0);
    EXPECT_FALSE(facts.ComputerName.empty());
    EXPECT_FALSE(facts.OsType.empty());
    EXPECT_FALSE(facts.OsBuild.empty());
    EXPECT_FALSE(facts.OsLanguage.empty());
    EXPECT_GT(facts.Charset, 0);
    EXPECT_TRUE(facts.IsConsoleProgram);
    EXPECT_TRUE(facts.NetworkAvailable);
    for (const TReportPrivilege& p : facts.Privileges) EXPECT_FALSE(p.Name.empty());
    for (const TReportAdapter& a : facts.Adapters) EXPECT_FALSE(a.IpAddress.empty());
}

TEST(ReportFacts, FourByteRegistryValuesOnly)
{
    const std::string key = "Software\\VidudoReportFactsTest";
    HKEY handle = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\VidudoReportFactsTest", 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &handle, nullptr),
              ERROR_SUCCESS);
    const DWORD four = 0x10000000;
    const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    RegSetValueExW(handle, L"Dword", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&four), 4);
    RegSetValueExW(handle, L"Binary4", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&four), 4);
    RegSetValueExW(handle, L"Binary8", 0, REG_BINARY, eight, 8);
    RegCloseKey(handle);
    uint32_t value = 0;
    EXPECT_TRUE(RegistryDword(HKEY_CURRENT_USER, key, "Dword", value));
    EXPECT_EQ(value, four);
    value = 0;
    EXPECT_TRUE(RegistryDword(HKEY_CURRENT_USER, key, "Binary4", value));
    EXPECT_EQ(value, four);
    EXPECT_FALSE(RegistryDword(HKEY_CURRENT_USER, key, "Binary8", value));
    EXPECT_FALSE(RegistryDword(HKEY_CURRENT_USER, key, "Missing", value));
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\VidudoReportFactsTest");
}

}  // namespace
