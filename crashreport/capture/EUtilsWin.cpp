#include "crashreport/capture/EUtilsWin.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <exception>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/ERevive.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EUtils.h"
#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Exception.h"
#include "framework/ExceptionBoundary.h"
#include "framework/NeverDestroyed.h"
#include "framework/ScopedWin.h"
#include "framework/SysUtils.h"

namespace {

std::string G(const wchar_t* text)
{
    return WideToGbk(text ? text : L"");
}

// Constant-initialised: the throw hooks take them from the first throw, which may come from an
// initialiser that runs before any constructor of this unit.
SRWLOCK rawStackLock = SRWLOCK_INIT;
volatile DWORD rawStackOwner = 0;
SRWLOCK handlerCacheLock = SRWLOCK_INIT;

void TakeRawStackLock()
{
    AcquireSRWLockExclusive(&rawStackLock);
    rawStackOwner = GetCurrentThreadId();
}

void GiveRawStackLock()
{
    rawStackOwner = 0;
    ReleaseSRWLockExclusive(&rawStackLock);
}

bool ReadVersion(OSVERSIONINFOEXW& info)
{
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)))
        return true;
    info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
#pragma GCC diagnostic pop
}

uint8_t rawStackBuffer[RawStackLimit];
TRawStack rawStack{rawStackBuffer, 0, 0, 0, 0};

const void* lastExceptionObject = nullptr;
uintptr_t lastExceptionAddress = 0;
const void* currentRaiseObject = nullptr;
uintptr_t currentRaiseAddress = 0;
bool currentRaiseFlag = false;
std::string customExceptionMessage;

void* emergencyReserve = nullptr;

struct THandlerCacheEntry {
    const void* type;
    uintptr_t address;
    const void* record;
    THandlerAnalysis result;
};
THandlerCacheEntry handlerCache[HandlerAnalysisCapacity];
size_t handlerCacheCount = 0;

TSendProgressOpenProc sendProgressOpen = nullptr;

BOOL CALLBACK FindMainWindow(HWND window, LPARAM found)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid != GetCurrentProcessId() || GetWindow(window, GW_OWNER) || !IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
}

void WarningOutput(TDuruvaDodErrorCode code, const std::string& message)
{
    OutputDebugStringW(GbkToWide(InternalWarningLine(code, message)).c_str());
    switch (code) {
    case TDuruvaDodErrorCode::eeEmailSMTPError: case TDuruvaDodErrorCode::eeWebHTTPError:
    case TDuruvaDodErrorCode::eeWebHTTPSError: case TDuruvaDodErrorCode::eeWebFTPError:
    case TDuruvaDodErrorCode::eeWebTrakerError:
        if (sendProgressOpen && sendProgressOpen())
            MessageBoxWithFlags(message, "Error.", TMsgDlgType::Error, 0x242010);
        break;
    default:
        break;
    }
}

}  // namespace

DWORD CurrentProcessId()
{
    return GetCurrentProcessId();
}

HANDLE CurrentProcessHandle()
{
    return GetCurrentProcess();
}

std::string CommandLineText()
{
    return G(GetCommandLineW());
}

std::string StripObjectPathPrefix(const std::string& name)
{
    const size_t question = name.find('?');
    if (question == std::string::npos)
        return name;
    const size_t colon = name.find(':', question);
    if (colon == std::string::npos || colon == 0)
        return name;
    return name.substr(colon - 1);
}

std::string ModuleFileNameOf(HMODULE module)
{
    wchar_t buf[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameW(module, buf, MAX_PATH);
    if (n == 0)
        return "";
    return ExpandLongPathName(StripObjectPathPrefix(WideToGbk(std::wstring(buf, n))));
}

bool ModuleHasFileName(HMODULE module)
{
    // No text is made: lookups ask this while an exception is handled.
    wchar_t buf[MAX_PATH];
    return GetModuleFileNameW(module, buf, MAX_PATH) != 0;
}

HMODULE CurrentModuleHandle()
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&CurrentModuleHandle), &module);
    return module;
}

std::string CurrentModuleFileName()
{
    return ModuleFileNameOf(CurrentModuleHandle());
}

std::string TempFolderPath()
{
    wchar_t buf[MAX_PATH + 1] = {};
    const DWORD n = GetTempPathW(MAX_PATH + 1, buf);
    if (n == 0 || n > MAX_PATH)
        return "";
    return IncludeTrailingSlash(G(buf));
}

bool ReadWholeFile(HANDLE file, std::string& bytes, uint64_t maxSize)
{
    bytes.clear();
    // The first read asks for the whole size; later ones take what a file being written gained.
    constexpr uint64_t piece = 65536;
    uint64_t want = piece;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        if (static_cast<uint64_t>(size.QuadPart) > maxSize) return false;
        want = std::min<uint64_t>(static_cast<uint64_t>(size.QuadPart), 0x40000000);
    }
    for (;;) {
        const size_t done = bytes.size();
        const DWORD step = static_cast<DWORD>(want);
        bytes.resize(done + step);
        DWORD read = 0;
        const bool ok = ReadFile(file, bytes.data() + done, step, &read, nullptr);
        bytes.resize(done + read);
        if (!ok || bytes.size() > maxSize) {
            bytes.clear();
            return false;
        }
        if (read == 0) return true;
        want = piece;
    }
}

bool ReadWholeFile(const std::string& name, std::string& bytes, uint64_t maxSize, DWORD share)
{
    bytes.clear();
    ScopedHandle file(CreateFileW(GbkToWide(name).c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    return file && ReadWholeFile(file.Get(), bytes, maxSize);
}

std::string ComputerName()
{
    wchar_t buf[16] = {};
    DWORD size = 16;
    return GetComputerNameW(buf, &size) ? G(buf) : std::string();
}

std::string CurrentUserName()
{
    wchar_t buf[256] = {};
    DWORD size = 256;
    return GetUserNameW(buf, &size) ? G(buf) : std::string();
}

std::string RegisteredOwnerName()
{
    std::string owner = ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS NT\\CURRENTVERSION",
                                           "RegisteredOwner");
    if (owner.empty())
        owner = ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION", "RegisteredOwner");
    if (owner.empty())
        owner = ReadRegistryString(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\MICROSOFT\\MS SETUP (ACME)\\USER INFO", "DefName");
    OSVERSIONINFOEXW info;
    if (ReadVersion(info) && info.dwMajorVersion >= 6 && owner == "Microsoft")
        owner.clear();
    return owner;
}

std::string OsVersionName()
{
    OSVERSIONINFOEXW info;
    if (!ReadVersion(info))
        return "Microsoft Windows ";
    return OsVersionNameOf({info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion, G(info.szCSDVersion),
                            IsWorkstation(), IsWow64()});
}

std::string OsBuildNumber()
{
    OSVERSIONINFOEXW info;
    if (!ReadVersion(info))
        return "";
    const DWORD build = info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? info.dwBuildNumber & 0xFFFF : info.dwBuildNumber;
    return Format("%lu", static_cast<unsigned long>(build));
}

bool OnWindows95()
{
    OSVERSIONINFOEXW info;
    return ReadVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS && info.dwMinorVersion < 10;
}

bool OnWindowsNT4()
{
    OSVERSIONINFOEXW info;
    return ReadVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion < 5;
}

bool OnWindowsVistaOrLater()
{
    OSVERSIONINFOEXW info;
    return ReadVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion > 5;
}

bool OnNtFamily()
{
    OSVERSIONINFOEXW info;
    return ReadVersion(info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

bool IsWow64()
{
    using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<TIsWow64Process>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process")));
    BOOL result = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &result) && result;
}

bool IsWorkstation()
{
    OSVERSIONINFOEXW info;
    return ReadVersion(info) && info.dwOSVersionInfoSize == sizeof info && info.wProductType == VER_NT_WORKSTATION;
}

double NowDateTime()
{
    SYSTEMTIME t{};
    GetLocalTime(&t);
    return EncodeDateTime(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond) + t.wMilliseconds / 86400000.0;
}

int LocalUtcOffsetMinutesAt(double localDateTime)
{
    const TDateTimeParts p = DecodeDateTime(localDateTime);
    SYSTEMTIME local{};
    local.wYear = static_cast<WORD>(p.year);
    local.wMonth = static_cast<WORD>(p.month);
    local.wDay = static_cast<WORD>(p.day);
    local.wHour = static_cast<WORD>(p.hour);
    local.wMinute = static_cast<WORD>(p.minute);
    local.wSecond = static_cast<WORD>(p.second);
    SYSTEMTIME utc{};
    if (!TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc))
        return 0;
    const double utcTime = EncodeDateTime(utc.wYear, utc.wMonth, utc.wDay, utc.wHour, utc.wMinute, utc.wSecond);
    const double localTime = EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second);
    return static_cast<int>(std::lround((localTime - utcTime) * 1440.0));
}

std::string FormatMailDate(double localDateTime)
{
    return FormatMailDateAt(localDateTime, LocalUtcOffsetMinutesAt(localDateTime));
}

bool IsHandleValid(HANDLE handle)
{
    DWORD flags = 0;
    if (OnNtFamily() && GetHandleInformation(handle, &flags))
        return true;
    HANDLE copy = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
        return false;
    CloseHandle(copy);
    return true;
}

bool IsThreadRunning(HANDLE thread)
{
    DWORD code = 0;
    return IsHandleValid(thread) && GetExitCodeThread(thread, &code) && code == STILL_ACTIVE;
}

bool IsDebuggerAttached()
{
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    using TIsDebuggerPresent = BOOL(WINAPI*)();
    if (auto present = reinterpret_cast<TIsDebuggerPresent>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "IsDebuggerPresent"))))
        return present() != FALSE;
    // A debugger of the 95 family hands out GetProcAddress below kernel32's base.
    return reinterpret_cast<uintptr_t>(GetProcAddress(kernel, "GetProcAddress")) < reinterpret_cast<uintptr_t>(kernel);
}

// The thread information block's stack base and limit, at fs:[4] and fs:[8].
uintptr_t CurrentStackTop()
{
    uintptr_t top;
    asm volatile("movl %%fs:4, %0" : "=r"(top));
    return top;
}

uintptr_t CurrentStackLimit()
{
    uintptr_t limit;
    asm volatile("movl %%fs:8, %0" : "=r"(limit));
    return limit;
}

uintptr_t CurrentStackPointer()
{
    uintptr_t sp;
    asm volatile("movl %%esp, %0" : "=r"(sp));
    return sp;
}

void CaptureRawStack(uintptr_t address, bool adjust)
{
    TakeRawStackLock();
    const uintptr_t top = CurrentStackTop(), limit = CurrentStackLimit();
    uintptr_t start = 0;
    if (const TThreadExceptionContext* record = ThreadExceptionContext())
        start = record->walkStart;
    if (start < limit || start >= top)
        start = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    size_t size = top > start ? top - start : 0;
    if (size > RawStackLimit)
        size = RawStackLimit;
    if (size && IsReadableMemory(reinterpret_cast<const void*>(start), size))
        std::memcpy(rawStackBuffer, reinterpret_cast<const void*>(start), size);
    else
        size = 0;
    rawStack.size = size;
    rawStack.start = start;
    rawStack.threadId = GetCurrentThreadId();
    rawStack.address = adjust && address ? address - 5 : address;
    GiveRawStackLock();
}

const TRawStack& RawStack()
{
    return rawStack;
}

void LockRawStack()
{
    TakeRawStackLock();
}

void UnlockRawStack()
{
    GiveRawStackLock();
}

void ReleaseRawStackIfOwned()
{
    if (rawStackOwner == GetCurrentThreadId())
        GiveRawStackLock();
}

void RecordLastException(const void* object, uintptr_t address, bool flag)
{
    if (object)
        lastExceptionObject = object;
    if (address)
        lastExceptionAddress = address;
    currentRaiseObject = object;
    currentRaiseAddress = address;
    currentRaiseFlag = flag;
}

const void* LastExceptionObject()
{
    return lastExceptionObject;
}

uintptr_t LastExceptionAddress()
{
    return lastExceptionAddress;
}

const void* CurrentRaiseObject()
{
    return currentRaiseObject;
}

uintptr_t CurrentRaiseAddress()
{
    return currentRaiseAddress;
}

bool CurrentRaiseFlag()
{
    return currentRaiseFlag;
}

void SetCustomExceptionMessage(const std::string& text)
{
    customExceptionMessage = text;
}

const std::string& CustomExceptionMessage()
{
    return customExceptionMessage;
}

std::string ExceptionMessageText()
{
    if (!customExceptionMessage.empty())
        return customExceptionMessage;
    return IsValidObject(lastExceptionObject) ? ObjectMessage(lastExceptionObject) : std::string();
}

void PumpOneMessage()
{
    // Called while an exception is handled: a fault in the window procedure is swallowed too.
    RunInSilentFrame(
        [](void*) {
            try {
                MSG msg{};
                if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE) && msg.message != WM_QUIT) {
                    TranslateMessage(&msg);
                    DispatchMessageW(&msg);
                }
            } catch (...) {
            }
        },
        nullptr);
}

void RestoreMainWindow()
{
    HWND window = nullptr;
    EnumWindows(&FindMainWindow, reinterpret_cast<LPARAM>(&window));
    if (!window || !IsIconic(window))
        return;
    // Another thread's window (the hang watchdog restores a hung main thread's) is asked, never
    // waited for.
    if (GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        ShowWindowAsync(window, SW_SHOWNORMAL);
        return;
    }
    PostMessageW(window, WM_SYSCOMMAND, SC_RESTORE, 0);
    PumpOneMessage();
    ShowWindow(window, SW_SHOWNORMAL);
    SetForegroundWindow(window);
}

void ReserveEmergencyMemory()
{
    if (!emergencyReserve)
        emergencyReserve = VirtualAlloc(nullptr, 0x500000, MEM_RESERVE, PAGE_NOACCESS);
}

void ReleaseEmergencyMemory()
{
    if (emergencyReserve)
        VirtualFree(emergencyReserve, 0, MEM_RELEASE);
    emergencyReserve = nullptr;
}

bool EmergencyMemoryReserved()
{
    return emergencyReserve != nullptr;
}

bool FindHandlerAnalysis(const void* object, uintptr_t address, const void* record, THandlerAnalysis& result)
{
    const std::type_info* type = ObjectClass(object);
    if (!type)
        return false;
    AcquireSRWLockExclusive(&handlerCacheLock);
    bool found = false;
    for (size_t i = 0; i < handlerCacheCount && !found; ++i) {
        const THandlerCacheEntry& e = handlerCache[i];
        if (e.type == type && e.address == address && e.record == record) {
            result = e.result;
            found = true;
        }
    }
    ReleaseSRWLockExclusive(&handlerCacheLock);
    return found;
}

void StoreHandlerAnalysis(const void* object, uintptr_t address, const void* record, const THandlerAnalysis& result)
{
    const std::type_info* type = ObjectClass(object);
    AcquireSRWLockExclusive(&handlerCacheLock);
    if (!type) {
        handlerCacheCount = 0;  // what can't be keyed can't be trusted either
    } else {
        if (handlerCacheCount == HandlerAnalysisCapacity) {
            std::memmove(handlerCache, handlerCache + 1, sizeof handlerCache[0] * (HandlerAnalysisCapacity - 1));
            --handlerCacheCount;
        }
        handlerCache[handlerCacheCount++] = {type, address, record, result};
    }
    ReleaseSRWLockExclusive(&handlerCacheLock);
}

void SetSendProgressOpenProc(TSendProgressOpenProc proc)
{
    sendProgressOpen = proc;
}

std::string InternalWarningLine(TDuruvaDodErrorCode code, const std::string& message)
{
    return Format("[WARNING] - Code: %s - Address: %8.8X - Message: \"%s\"", ErrorCodeName(code),
                  static_cast<unsigned>(currentRaiseAddress), message.c_str());
}

void InstallInternalWarningOutput()
{
    SetInternalWarningSink(&WarningOutput);
}

void ReportStepFailure(TDuruvaDodErrorCode code, const std::string& step)
{
    std::string text = Format("General '%s' error.", step.c_str());
    if (std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const Exception& e) {
            text = Format("[%s] %s", step.c_str(), e.Message().c_str());
        } catch (...) {
        }
    }
    ReportInternalWarning(code, text);
}

void ReviveUtilityStatics()
{
    ReviveStatic(customExceptionMessage);
}
