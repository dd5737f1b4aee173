#include "crashreport/capture/ELeakReport.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/EByteStream.h"
#include "crashreport/capture/EInternalError.h"
#include "crashreport/capture/ELeakItems.h"
#include "crashreport/capture/ELeakMemory.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EOptionsResource.h"
#include "crashreport/capture/ExceptionLog.h"
#include "framework/CodePage.h"
#if __has_include("crashreport/capture/ERoad.h")
#include "crashreport/capture/ERoad.h"
#define VIDUDO_HAS_ROAD 1
#endif

namespace {

// Pointers and fixed storage only: these outlive every static destructor.
TLeakRoute route = nullptr;
bool captureActive = false;
TVurazaStackList* leakList = nullptr;
TVurazaModuleOptions* reportOptions = nullptr;
bool roadOpen = false;  // the report travels the restarted road with the module's options
TLeakTotals totals;
char overrunText[256] = "Memory Overrun leak";
char multiFreeText[256] = "Multi Free memory leak";
wchar_t optionsFile[MAX_PATH * 2] = {};

void CopyText(char (&to)[256], const std::string& text)
{
    snprintf(to, sizeof to, "%s", text.c_str());
}

#ifdef VIDUDO_HAS_ROAD
// The handling road, on this thread: a leak report with its ready stack, a heap error with
// the stack of the free.
void RoadRoute(Exception& error, uintptr_t address, TVurazaStackList* readyStack)
{
    RouteException(TRoadException(&error, &typeid(error)), address, false, readyStack, false, RouteModeOrdinary,
                   nullptr, OutputAutomatic, nullptr, nullptr, 0, 0);
}
#else
void DebugRoute(Exception& error, uintptr_t, TVurazaStackList* readyStack)
{
    OutputDebugStringA(error.Message().c_str());
    for (size_t i = 0; readyStack && i < readyStack->Count(); ++i) {
        const TVurazaStackItem& item = *readyStack->GetItem(i);
        char line[600];
        snprintf(line, sizeof line, "  %s %s %s:%d", item.LeakText.text, item.UnitName.text, item.ProcedureName.text,
                 item.Line);
        OutputDebugStringA(line);
    }
}
#endif

void Route(Exception& error, uintptr_t address, TVurazaStackList* readyStack)
{
    try {
#ifdef VIDUDO_HAS_ROAD
        (route ? route : &RoadRoute)(error, address, readyStack);
#else
        (route ? route : &DebugRoute)(error, address, readyStack);
#endif
    } catch (...) {
    }
}

std::string ResourceOf(HMODULE module)
{
    HRSRC info = FindResourceA(module, "ELDATA", MAKEINTRESOURCEA(10));
    HGLOBAL data = info ? LoadResource(module, info) : nullptr;
    const void* bytes = data ? LockResource(data) : nullptr;
    return bytes ? std::string(static_cast<const char*>(bytes), SizeofResource(module, info)) : std::string();
}

HMODULE ThisModule()
{
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&ThisModule), &self);
    return self;
}

bool LoadOptionsFile(TVurazaModuleOptions& options)
{
    if (!optionsFile[0])
        return false;
    HANDLE file = CreateFileW(optionsFile, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got)
        bytes.append(buffer, got);
    CloseHandle(file);
    TByteReader reader(bytes);
    OptionsStreamVersion = 6000;
    return options.TryLoadFromStream(reader);
}

// Leak items name the line of the leaking code, also where the allocation itself was inlined
// from a header.
void ResolveLeakItem(uintptr_t address, uint32_t threadId, TVurazaStackItem& item, bool first, uint8_t group)
{
    LookupAddressInfo(address, threadId, item, first, group);
    if (item.Kind != 4)
        return;
    uint32_t offset = 0;
    const TDebugModel* model = StoredDebugModelOf(address, offset);
    const uint32_t own = model ? OwnSourceLine(*model, offset) : 0;
    if (own)
        item.Line = static_cast<int32_t>(own);
}

void ReleaseReportObjects()
{
    delete leakList;
    leakList = nullptr;
    delete reportOptions;
    reportOptions = nullptr;
}

// The options of the report: the module's on the road, else a copy of the stored ones.
TVurazaModuleOptions* ReportOptions()
{
    if (roadOpen)
        return CurrentDuruvaDodOptions();
    return reportOptions;
}

}  // namespace

void SetLeakRoute(TLeakRoute value)
{
    route = value;
}

void SetHeapErrorTexts(const TVurazaModuleOptions& options)
{
    CopyText(overrunText, options.MessageText(155));
    CopyText(multiFreeText, options.MessageText(154));
}

void InstallLeakReport()
{
    TVurazaModuleOptions options("");
    UnpackOptionsResource(ResourceOf(ThisModule()), options);
    SetHeapErrorTexts(options);
    captureActive = true;
    TLeakCallbacks callbacks;
    callbacks.overrun = &RaiseMemoryOverrun;
    callbacks.multiFree = &RaiseMultiFree;
    callbacks.finalization = &DeleteLeakOptionsFile;
    callbacks.reportBegin = &Internal_ResetLeaks;
    callbacks.reportItem = &Internal_AddLeak;
    callbacks.reportEnd = &Internal_ShowLeaks;
    SetLeakCallbacks(callbacks);
}

void SetLeakOptionsFile(const char* fileName)
{
    const std::wstring wide = GbkToWide(fileName ? fileName : "");
    wcsncpy(optionsFile, wide.c_str(), MAX_PATH * 2 - 1);
}

void SaveLeakOptionsFile(const TVurazaModuleOptions& options)
{
    if (!optionsFile[0])
        return;
    TByteWriter writer;
    options.SaveToStream(writer);
    HANDLE file = CreateFileW(optionsFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, writer.Data().data(), static_cast<DWORD>(writer.Data().size()), &written, nullptr);
    CloseHandle(file);
}

void DeleteLeakOptionsFile()
{
    if (optionsFile[0])
        DeleteFileW(optionsFile);
}

void Internal_ResetLeaks()
{
    if (!captureActive)
        return;
    try {
        ReleaseReportObjects();
        totals = TLeakTotals{};
        leakList = new TVurazaStackList;
        // The route a test set replaces the road; without reporter data there is none.
        roadOpen = !route && RestartRoadForLeaks();
        if (TVurazaModuleOptions* current = roadOpen ? CurrentDuruvaDodOptions() : nullptr) {
            LoadOptionsFile(*current);
            if (TVurazaModuleOptionsEx* active = ActiveModuleOptions())
                active->Assign(current);
        } else {
            roadOpen = false;
            reportOptions = new TVurazaModuleOptions("");
            if (!LoadOptionsFile(*reportOptions))
                UnpackOptionsResource(ResourceOf(ThisModule()), *reportOptions);
        }
        SetHeapErrorTexts(*ReportOptions());
        // Frames resolve through the stored debug data, built again now that tracking is off.
        InstallAddressLookup();
    } catch (...) {
        ReportInternalError("Internal_ResetLeaks");
    }
}

void Internal_AddLeak(const char* text, uint32_t size, uint32_t count, const uintptr_t (&stack)[LeakStackDepth])
{
    if (!captureActive || !leakList)
        return;
    try {
        AppendLeakItems(*leakList, totals, text, size, count, stack, &ResolveLeakItem);
    } catch (...) {
        ReportInternalError("Internal_AddLeak");
    }
}

void Internal_ShowLeaks()
{
    if (!captureActive)
        return;
    try {
        TVurazaModuleOptions* options = ReportOptions();
        if (options && totals.size != 0 && leakList && leakList->Count() != 0) {
            // No assembler and processor sections: there is no faulting instruction.
            options->SetLogFlags(static_cast<uint8_t>(options->LogFlags() & ~0x20));
            EMemoryLeak leak(LeakMessage(*options, totals));
            Route(leak, totals.firstAddress, leakList);
        }
        if (roadOpen)
            CloseRoadAfterLeaks();
        roadOpen = false;
        ReleaseReportObjects();
        ReleaseAddressLookup();
        ClearModuleRecords();
    } catch (...) {
        ShowLeakMessage("Error in Internal_ShowLeaks Finalization.", "Error");
    }
}

void RaiseMemoryOverrun()
{
    try {
        EMemoryOverrun error(overrunText);
        Route(error, reinterpret_cast<uintptr_t>(__builtin_return_address(0)), nullptr);
    } catch (...) {
    }
}

void RaiseMultiFree()
{
    try {
        EMultiFree error(multiFreeText);
        Route(error, reinterpret_cast<uintptr_t>(__builtin_return_address(0)), nullptr);
    } catch (...) {
    }
}
