#include "crashreport/capture/EWebOutputWin.h"

#include <cstring>
#include <exception>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EInternalWarning.h"
#include "crashreport/capture/EReportFactsWin.h"
#include "crashreport/capture/ERoad.h"
#include "crashreport/capture/ERoadSteps.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/EWebPage.h"
#include "framework/CodePage.h"
#include "framework/NeverDestroyed.h"

namespace {

EXTENSION_CONTROL_BLOCK* serverBlock = nullptr;
volatile bool sendingPage = false;

// Never destroyed: a report at exit runs after the static destructors.
std::string& LastPage()
{
    static TNeverDestroyed<std::string> page;
    return page.Get();
}

struct TSendingMark {
    TSendingMark() { sendingPage = true; }
    ~TSendingMark() { sendingPage = false; }
};

// The command-line arguments after the program, as Windows splits them.
std::string Argument(int index)
{
    int count = 0;
    LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!args) return {};
    std::string out = index < count ? WideToGbk(args[index]) : std::string();
    LocalFree(args);
    return out;
}

bool FileExists(const std::string& name)
{
    const DWORD attributes = GetFileAttributesW(GbkToWide(name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string IniValue(const std::string& file, const char* section, const char* key)
{
    wchar_t value[1024] = {};
    GetPrivateProfileStringW(GbkToWide(section).c_str(), GbkToWide(key).c_str(), L"", value, 1024,
                             GbkToWide(file).c_str());
    return WideToGbk(value);
}

// The WinCGI output file, or empty when this is no WinCGI run.
std::string WinCgiOutputFile()
{
    if (IsConsoleProgram()) return {};
    const std::string request = Argument(1);
    if (request.empty() || request.find_first_of("*?") != std::string::npos) return {};
    HANDLE file = CreateFileW(GbkToWide(request).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return {};
    LARGE_INTEGER size{};
    const bool small = GetFileSizeEx(file, &size) && size.QuadPart <= 102400;
    CloseHandle(file);
    if (!small || IniValue(request, "CGI", "Request Method").empty()) return {};
    std::string output = Argument(3);
    if (output.empty()) output = IniValue(request, "System", "Output File");
    return !output.empty() && FileExists(output) ? output : std::string();
}

bool WriteAll(HANDLE handle, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        DWORD written = 0;
        if (!WriteFile(handle, text.data() + done, static_cast<DWORD>(text.size() - done), &written, nullptr) ||
            written == 0)
            return false;
        done += written;
    }
    return true;
}

bool WriteIsapiPage(const std::string& page)
{
    EXTENSION_CONTROL_BLOCK* block = serverBlock;
    if (!block) {
        ReportInternalWarning(TDuruvaDodErrorCode::eeShowError, "ISAPI: ServerECB = nil");
        return false;
    }
    TSendingMark mark;
    block->dwHttpStatusCode = 200;
    std::string header = WebErrorPageHeader(page.size(), false);
    char status[] = "200 Error";
    DWORD statusSize = sizeof status - 1;
    if (block->ServerSupportFunction)
        block->ServerSupportFunction(block->ConnID, HSE_REQ_SEND_RESPONSE_HEADER, status, &statusSize,
                                     reinterpret_cast<LPDWORD>(header.data()));
    size_t done = 0;
    while (done < page.size() && block->WriteClient) {
        DWORD size = static_cast<DWORD>(page.size() - done);
        if (!block->WriteClient(block->ConnID, const_cast<char*>(page.data() + done), &size, HSE_IO_SYNC) || size == 0)
            break;
        done += size;
    }
    return true;
}

}  // namespace

bool IsIsapiExtension()
{
    HMODULE module = CurrentModuleHandle();
    return module && module != GetModuleHandleW(nullptr) &&
           GetProcAddress(module, "HttpExtensionProc") != nullptr;
}

bool IsConsoleProgram() { return IsConsoleModule(GetModuleHandleW(nullptr)); }

bool IsCgiApplication()
{
    return IsConsoleProgram() && GetEnvironmentVariableW(L"REQUEST_METHOD", nullptr, 0) > 0;
}

bool IsWinCgiApplication() { return !WinCgiOutputFile().empty(); }

bool IsWebServerApplication()
{
    return IsIsapiExtension() || IsCgiApplication() || IsWinCgiApplication() || HasIntraWebHost();
}

bool IsWindowedApplication() { return !IsWebServerApplication() && !IsConsoleProgram(); }

void SetServerExtensionControlBlock(EXTENSION_CONTROL_BLOCK* block) { serverBlock = block; }
EXTENSION_CONTROL_BLOCK* ServerExtensionControlBlock() { return serverBlock; }
bool SendingWebErrorPage() { return sendingPage; }
const std::string& LastWebErrorPage() { return LastPage(); }

bool WriteWebErrorPage(const std::string& page)
{
    if (IsIsapiExtension()) return WriteIsapiPage(page);
    const std::string header = WebErrorPageHeader(page.size(), true);
    if (IsCgiApplication()) {
        // Written as bytes: a text stream would turn LF into CR LF and break Content-Length.
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        TSendingMark mark;
        if (out == nullptr || out == INVALID_HANDLE_VALUE || !WriteAll(out, header)) {
            ReportInternalWarning(TDuruvaDodErrorCode::eeShowError, "CGI: Cannot write in the ouput file.");
            return false;
        }
        WriteAll(out, page);
        return true;
    }
    const std::string output = WinCgiOutputFile();
    if (!output.empty()) {
        HANDLE file = CreateFileW(GbkToWide(output).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        const bool ok = file != INVALID_HANDLE_VALUE && WriteAll(file, header) && WriteAll(file, page);
        if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
        if (!ok) ReportStepFailure(TDuruvaDodErrorCode::eeShowError, "WinCGI");
        return ok;
    }
    return false;
}

bool ShowWebOutput(const std::string& reportText, const TVurazaModuleOptions& options)
{
    if (!IsWebServerApplication()) return true;
    LastPage() = WebErrorPage(reportText, options);
    return WriteWebErrorPage(LastPage());
}

namespace {

// The page grows with each write, up to this many bytes; the newest are kept.
constexpr size_t CapturedPageLimit = 1024 * 1024;
SRWLOCK capturedLock = SRWLOCK_INIT;

void AppendCaptured(const char* bytes, size_t count)
{
    AcquireSRWLockExclusive(&capturedLock);
    try {
        CapturedHtmlPage.append(bytes, count);
        if (CapturedHtmlPage.size() > CapturedPageLimit)
            CapturedHtmlPage.erase(0, CapturedHtmlPage.size() - CapturedPageLimit);
    } catch (...) {
    }
    ReleaseSRWLockExclusive(&capturedLock);
}

using TExtensionProc = DWORD(WINAPI*)(EXTENSION_CONTROL_BLOCK*);
using TWriteClient = BOOL(WINAPI*)(HCONN, LPVOID, LPDWORD, DWORD);
TExtensionProc replacedExtensionProc = nullptr;
void* hookedExtensionProc = nullptr;
TWriteClient replacedWriteClient = nullptr;

BOOL WINAPI WriteClientHook(HCONN connection, LPVOID buffer, LPDWORD size, DWORD reserved)
{
    if (!sendingPage && buffer && size)
        AppendCaptured(static_cast<const char*>(buffer), strnlen(static_cast<const char*>(buffer), *size));
    return replacedWriteClient ? replacedWriteClient(connection, buffer, size, reserved) : FALSE;
}

DWORD WINAPI ExtensionProcHook(EXTENSION_CONTROL_BLOCK* block)
{
    SetServerExtensionControlBlock(block);
    if (block && block->WriteClient && block->WriteClient != &WriteClientHook) {
        replacedWriteClient = block->WriteClient;
        block->WriteClient = &WriteClientHook;
    }
    return replacedExtensionProc(block);
}

}  // namespace

void CaptureStandardOutput(HANDLE file, const void* bytes, size_t count)
{
    if (sendingPage || !bytes || count == 0 || !IsReporterStarted() || GetCurrentThreadId() == HandlingThreadId())
        return;
    if (file != GetStdHandle(STD_OUTPUT_HANDLE) || !IsCgiApplication())
        return;
    AppendCaptured(static_cast<const char*>(bytes), count);
    std::string page;
    AcquireSRWLockShared(&capturedLock);
    try {
        page = CapturedHtmlPage;
    } catch (...) {
    }
    ReleaseSRWLockShared(&capturedLock);
    RoadSteps().SaveCapturedHtmlPage(page);
}

void InstallServerExtensionHook()
{
    if (hookedExtensionProc || !IsIsapiExtension())
        return;
    void* proc = reinterpret_cast<void*>(GetProcAddress(CurrentModuleHandle(), "HttpExtensionProc"));
    try {
        replacedExtensionProc = reinterpret_cast<TExtensionProc>(
            CheckedHookProcedure(proc, reinterpret_cast<void*>(&ExtensionProcHook), "HttpExtensionProc"));
        hookedExtensionProc = proc;
    } catch (const std::exception&) {
        replacedExtensionProc = nullptr;
    }
}

void RemoveServerExtensionHook()
{
    if (hookedExtensionProc)
        UnhookProcedure(hookedExtensionProc);
    hookedExtensionProc = nullptr;
}

bool WriteTextFile(const std::string& text, const std::string& fileName)
{
    const std::string folder = ExtractFilePath(fileName);
    if (!folder.empty()) CreateDirectoryW(GbkToWide(ExcludeTrailingSlash(folder)).c_str(), nullptr);
    HANDLE file = CreateFileW(GbkToWide(fileName).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = WriteAll(file, text);
    CloseHandle(file);
    return ok;
}
