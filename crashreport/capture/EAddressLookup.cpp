#include "crashreport/capture/EAddressLookup.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "crashreport/capture/EDebug.h"
#include "crashreport/capture/EDebugModel.h"
#include "crashreport/capture/EHook.h"
#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EReporterUnits.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EStoredData.h"

namespace {

constexpr uint32_t longestFunction = 0x7FFFFFFF;

// The item's text, with "_" for a leading "@".
void AssignProcedure(TShortText<255>& text, std::string_view name)
{
    text.Assign(name);
    if (text.text[0] == '@')
        text.text[0] = '_';
}

void ReleaseSource(TELDebugInfoSource* source)
{
    delete source;
}

bool SeekDebugSource(TVurazaModuleInfo& record)
{
    std::unique_ptr<TELDebugInfoSource> source;
    if (!CreateDebugInfoSource(record.Handle, source))
        return false;
    record.DebugInfoSource = TOwnedDebugSource(source.release(), TDebugSourceRelease{&ReleaseSource});
    return true;
}

void DecodeModel(TVurazaModuleInfo& record)
{
    if (record.DebugModelTried)
        return;
    record.DebugModelTried = true;
    if (record.DebugData && record.DataValid) {
        try {
            auto model = std::make_unique<TDebugModel>();
            if (DecodeStoredDebugData(*record.DebugData, record.DataKey, *model))
                record.DebugModel = std::move(model);
        } catch (const std::exception&) {
            // Data that can't be decoded is no source; the next one is tried.
        }
    }
}

// Decodes the stored data and looks for a debug-information source, once per record: what a
// lookup needs is made before any exception is handled.
void PrepareRecord(TVurazaModuleInfo& record)
{
    DecodeModel(record);
    if (!record.DebugModel && !record.DebugSourceSought) {
        record.DebugSourceSought = true;
        SeekDebugSource(record);
    }
}

void CopyNames(const TAddressNames& names, TVurazaStackItem& item)
{
    item.Kind = names.Kind;
    item.UnitName.Assign(names.UnitName);
    item.ClassName.Assign(names.ClassName);
    item.ProcedureName.Assign(names.ProcedureName);
}

bool FromStoredData(uintptr_t address, TVurazaStackItem& item)
{
    // A record made before the lookup was installed is decoded on first use, never while frozen.
    if (!ModuleRecordsFrozen())
        DecodeModel(*item.Module);
    const TDebugModel* model = item.Module->DebugModel.get();
    const uintptr_t codeStart = CodeImageAddress(item.Module->Handle, 0);
    TDebugLocation location;
    if (!model || address < codeStart || address - codeStart > 0xFFFFFFFFu ||
        !LookupDebugLocation(*model, static_cast<uint32_t>(address - codeStart), location))
        return false;
    if (IsReporterUnit(location.unitName)) {
        // The reporter's own frames show only their module.
        item.Kind = 1;
        return true;
    }
    item.Kind = 4;
    item.UnitName.Assign(location.unitName);
    item.ClassName.Assign(location.className);
    AssignProcedure(item.ProcedureName, location.procedureName);
    item.Line = static_cast<int32_t>(std::min<uint32_t>(location.line, INT32_MAX));
    item.LineDistance = location.procedureKnown ? static_cast<int32_t>(std::min<uint32_t>(location.lineDistance, INT32_MAX)) : 0;
    return true;
}

bool FromDebugSource(uintptr_t address, TVurazaStackItem& item)
{
    const TELDebugInfoSource* source = item.Module->DebugInfoSource.get();
    if (!source)
        return false;
    TELLocationInfo info;
    if (!source->FindLocation(address, info) || info.ProcText.empty())
        return false;
    TAddressNames names;
    SplitDebugSourceNames(info.UnitText, info.SourceFile, info.ProcText, static_cast<uint32_t>(std::max(info.Line, 0)),
                          true, names);
    CopyNames(names, item);
    item.Line = std::max(info.Line, 0);
    item.LineDistance = std::max(info.LineInProc, 0);
    return true;
}

bool FromExports(uintptr_t address, TVurazaStackItem& item)
{
    size_t index = 0;
    if (!item.Module->Functions || !FindFunctionIndex(address, *item.Module, index))
        return false;
    return ParseExportName(item.Module->Functions->Items(index).Name, item);
}

void Lookup(uintptr_t address, uint32_t threadId, TVurazaStackItem& item, bool first, uint8_t group)
{
    item.Kind = 0;
    item.Module = nullptr;
    item.OwnModule.reset();
    item.LeakItem = 0;
    item.LeakText.Assign({});
    item.LeakSize = 0;
    item.LeakCount = 0;
    item.UnitName.Assign({});
    item.ClassName.Assign({});
    item.ProcedureName.Assign({});
    item.Line = 0;
    item.LineDistance = 0;
    item.ThreadId = threadId;
    item.First = first ? 1 : 0;
    item.Group = group;
    item.Address = address;
    item.Module = FindModuleRecordOfAddress(address);
    if (!item.Module)
        return;
    item.Kind = 1;
    if (FromStoredData(address, item) || FromDebugSource(address, item))
        return;
    FromExports(address, item);
}

}  // namespace

void LookupAddressInfo(uintptr_t address, uint32_t threadId, TVurazaStackItem& item, bool first, uint8_t group)
{
    try {
        Lookup(address, threadId, item, first, group);
    } catch (...) {
        // Damaged data of one module must not end the report: the item keeps what it has.
    }
}

bool LookupWithDebugSource(uintptr_t address, TVurazaStackItem& item)
{
    LookupAddressInfo(address, 0, item, false, 0);
    if (item.Kind > 1 || !item.Module)
        return item.Kind > 1;
    // Sought once per record; never while the records are frozen, as it reads files.
    TVurazaModuleInfo& record = *item.Module;
    if (record.DebugSourceSought || ModuleRecordsFrozen())
        return false;
    record.DebugSourceSought = true;
    try {
        if (SeekDebugSource(record))
            LookupAddressInfo(address, 0, item, false, 0);
    } catch (...) {
        // No source: the item keeps what the first lookup gave.
    }
    return item.Kind > 1;
}

uint32_t FunctionLength(const TVurazaFunctionInfo& function)
{
    if (!function.LengthKnown) {
        const size_t length = LiveProcedureCodeLength(reinterpret_cast<const void*>(function.Address), longestFunction);
        function.Length = static_cast<uint32_t>(std::min<size_t>(length, longestFunction));
        function.LengthKnown = true;
    }
    return function.Length;
}

bool FindFunctionIndex(uintptr_t address, const TVurazaModuleInfo& module, size_t& index)
{
    const TVurazaFunctionsList* list = module.Functions.get();
    if (!list || list->Count() == 0)
        return false;
    // The last function starting at or below the address.
    size_t low = 0, high = list->Count();
    while (low < high) {
        size_t mid = (low + high) / 2;
        if (list->Items(mid).Address <= address)
            low = mid + 1;
        else
            high = mid;
    }
    if (low == 0)
        return false;
    const TVurazaFunctionInfo& f = list->Items(low - 1);
    // The byte at start + length is no longer the function's, and no function runs into the
    // next export.
    uintptr_t length = FunctionLength(f);
    if (low < list->Count())
        length = std::min<uintptr_t>(length, list->Items(low).Address - f.Address);
    if (address - f.Address >= length)
        return false;
    index = low - 1;
    return true;
}

bool ParseExportName(std::string_view exportName, TVurazaStackItem& item)
{
    TAddressNames names;
    names.Kind = item.Kind;
    names.UnitName = item.UnitName.text;
    names.ClassName = item.ClassName.text;
    names.ProcedureName = item.ProcedureName.text;
    if (!ParseExportName(exportName, names))
        return false;
    CopyNames(names, item);
    return true;
}

void InstallAddressLookup()
{
    // Records made from now on are prepared as they are made; those there are, now.
    SetModuleRecordPreparer(&PrepareRecord);
    PrepareModuleRecords();
    SetStackItemResolver(&LookupAddressInfo);
}

void ReleaseAddressLookup()
{
    {
        const TModulesReadScope read;
        const TVurazaModulesList& modules = ModulesList();
        for (size_t i = 0; i < modules.Count(); ++i) {
            TVurazaModuleInfo& record = *modules.Items(i);
            record.DebugModel.reset();
            record.DebugModelTried = false;
            record.DebugInfoSource.reset();
            record.DebugSourceSought = false;
        }
    }
    ReleaseSpareModuleRecords();
}

const TDebugModel* StoredDebugModelOf(uintptr_t address, uint32_t& offset)
{
    try {
        TVurazaModuleInfo* module = FindModuleRecordOfAddress(address);
        if (!module)
            return nullptr;
        const uintptr_t codeStart = CodeImageAddress(module->Handle, 0);
        if (address < codeStart || address - codeStart > 0xFFFFFFFFu)
            return nullptr;
        offset = static_cast<uint32_t>(address - codeStart);
        if (!ModuleRecordsFrozen())
            DecodeModel(*module);
        return module->DebugModel.get();
    } catch (...) {
        return nullptr;
    }
}
