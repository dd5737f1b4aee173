#include "crashreport/capture/EInternalError.h"

#include <windows.h>

#include <exception>

#include "crashreport/capture/EClassNames.h"
#include "crashreport/capture/ECore.h"
#include "crashreport/capture/ECorePlatform.h"
#include "crashreport/capture/ECoreWin.h"
#include "crashreport/capture/EObjects.h"
#include "crashreport/capture/ERevive.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EStackWin.h"
#include "crashreport/capture/EThreadContext.h"
#include "crashreport/capture/EUtilsWin.h"
#include "framework/CodePage.h"
#include "framework/Dialogs.h"
#include "framework/Exception.h"
#include "framework/NeverDestroyed.h"
#include "framework/SysUtils.h"

const char* const InternalBugAddress = "bugs@duruvadod.example";

namespace {

bool running = false;
TInternalErrorStackProc stackProc = nullptr;
TInternalErrorMailProc mailProc = nullptr;
TInternalErrorObserver observer = nullptr;
std::string lastFile;

struct TRunningFlag {
    TRunningFlag() { running = true; }
    ~TRunningFlag() { running = false; }
};

std::string Dump(uintptr_t address)
{
    if (!address || !IsReadableMemory(reinterpret_cast<const void*>(address), 32))
        return "";
    std::string out;
    for (int i = 0; i < 32; ++i)
        out += Format("$%02X ", reinterpret_cast<const uint8_t*>(address)[i]);
    return out;
}

// Unit, class, procedure, line and offset of a resolved item, as the report's lines show them.
struct TLocationTexts {
    std::string unit, className, procedure, line, offset;
};

TLocationTexts LocationOf(const TVurazaStackItem& item)
{
    if (item.Kind < 2)
        return {};
    return {item.UnitName.Str(), item.ClassName.Str(), item.ProcedureName.Str(),
            item.Line ? std::to_string(item.Line) : std::string(), std::to_string(item.LineDistance)};
}

std::string AddressLine(uintptr_t address)
{
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(address), &module);
    const std::string file = module ? ExtractFileName(ModuleFileNameOf(module)) : std::string();
    TVurazaStackItem item;
    if (TStackItemResolver resolve = StackItemResolver(); resolve && address)
        resolve(address, GetCurrentThreadId(), item, true, 1);
    const TLocationTexts at = LocationOf(item);
    return Format("$%8.8x - [%8.8x] %s - %s - %s - %s - %s[%s]", static_cast<unsigned>(address),
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(module)), file.c_str(), at.unit.c_str(),
                  at.className.c_str(), at.procedure.c_str(), at.line.c_str(), at.offset.c_str());
}

// The calling thread's stack from the position its hooks saved, else from here.
void OwnCallStack(TStringList& lines)
{
    const TThreadExceptionContext* context = ThreadExceptionContext();
    const uintptr_t from = !IsRunningInIde() && context && context->walkStart ? context->walkStart : CurrentStackPointer();
    TLiveMemoryReader reader;
    std::unique_ptr<TVurazaStackList> list = BuildStackList(0, from, CurrentStackTop(), HandlingKindsMask, -1, -1,
                                                            true, 1, GetCurrentThreadId(), reader);
    for (size_t i = 0; i < list->Count(); ++i) {
        const TVurazaStackItem& item = *list->GetItem(i);
        if (item.Kind == 0)
            continue;  // hidden by the clean-up
        std::string line = Format("%02X $%8.8x - [%8.8x] %s ", static_cast<unsigned>(lines.Count()),
                                  static_cast<unsigned>(item.Address),
                                  static_cast<unsigned>(item.Module ? item.Module->Handle : 0),
                                  item.Module ? ExtractFileName(item.Module->FileName).c_str() : "");
        if (item.Kind == 4) {
            const TLocationTexts at = LocationOf(item);
            line += Format("- %s - %s - %s - %s[%s]", at.unit.c_str(), at.className.c_str(), at.procedure.c_str(),
                           at.line.c_str(), at.offset.c_str());
        }
        lines.Add(line);
    }
}

void Run(const std::string& section, const std::string& fallbackMessage)
{
    std::string message = fallbackMessage.empty() ? "General internal error." : fallbackMessage;
    std::string className;
    bool language = false;
    if (std::exception_ptr current = std::current_exception()) {
        const std::type_info* type = ExceptionType(current);
        if (type && (TypeInheritsFromName(*type, "EAbort") || TypeInheritsFromName(*type, "EVurazaSocketError")))
            return;
        language = !type || !TypeInheritsFromName(*type, "EExternal");
        try {
            std::rethrow_exception(current);
        } catch (const Exception& e) {
            message = e.Message();
            className = type ? DemangledTypeName(*type) : "";
        } catch (...) {
        }
    }
    uintptr_t address = CurrentRaiseAddress();
    if (language && address)
        address -= 5;  // the raising call
    const std::string line = Format("[ERROR] - Section: %s - Address: %8.8X - Message: \"%s\"", section.c_str(),
                                    static_cast<unsigned>(address), message.c_str());
    if (observer)
        observer(line.c_str());
    if (!IsRunningInIde() && !IsDebuggerAttached())
        return;
    OutputDebugStringW(GbkToWide(line).c_str());
    const std::string lastClass = ObjectClassName(LastExceptionObject());
    TStringList frames;
    try {
        (stackProc ? stackProc : &OwnCallStack)(frames);
    } catch (...) {
        frames.Clear();  // the report goes out without its call stack
    }
    std::string stack;
    for (int i = 0; i < frames.Count(); ++i)
        stack += (i > 0 ? std::string(12, ' ') : std::string()) + frames[i] + "\r\n";
    const std::string text = Format(
        "Version   : %s\r\nDate      : %s\r\nOS        : %s\r\nRAD       : %s\r\nDump      : %s\r\nSection   : %s\r\n"
        "LastExcept: %s\r\nAddress   : %s\r\nException : %s\r\nMessage   : %s\r\nCall Stack: %s",
        "6.1.01 RC 1", FormatMailDate(NowDateTime()).c_str(), OsVersionName().c_str(), "Zorbel 7.0",
        Dump(address).c_str(), section.c_str(), lastClass.c_str(), AddressLine(address).c_str(), className.c_str(),
        message.c_str(), stack.c_str());

    std::string path = ChangeFileExt(CorePlatform().ApplicationFileName(), ".log");
    if (!ResolveAccessibleFilePath(path, true, false) || !CorePlatform().WriteFileBytes(path, text))
        return;
    lastFile = path;
    const TModalAnswer answer = MessageBoxWithFlags(
        Format("Error: '%s'\r\n\r\nThis is an internal DuruvaDod bug.\r\nDo you want to send the bug information to "
               "DuruvaDod author?",
               message.c_str()),
        "Probably internal bug", TMsgDlgType::Error, 0x242014);
    if (answer != TModalAnswer::Yes)
        return;
    if (mailProc && mailProc(path, InternalBugAddress, "DuruvaDod 6.1.01 RC 1 critical bug."))
        return;
    MessageBoxWithFlags(Format("Cannot connect with your email client.\r\nSend manually the \"%s\" file to the ", path.c_str()) +
                            InternalBugAddress + " email address, after click on OK button to close this box.",
                        "Information", TMsgDlgType::Information, 0x242030);
}

}  // namespace

void SetInternalErrorStackProc(TInternalErrorStackProc proc)
{
    stackProc = proc;
}

void SetInternalErrorMailProc(TInternalErrorMailProc proc)
{
    mailProc = proc;
}

void SetInternalErrorObserver(TInternalErrorObserver proc)
{
    observer = proc;
}

void ReportInternalError(const std::string& section, const std::string& fallbackMessage) noexcept
{
    TRunningFlag flag;
    try {
        Run(section, fallbackMessage);
    } catch (...) {
    }
}

bool InternalErrorRunning()
{
    return running;
}

const std::string& LastInternalErrorFile()
{
    return lastFile;
}

void ReviveInternalErrorStatics()
{
    ReviveStatic(lastFile);
}
