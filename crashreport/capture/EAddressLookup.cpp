#include "crashreport/capture/EAddressLookup.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>

#include "crashreport/capture/EDebug.h"
#if __has_include("crashreport/capture/EHook.h")
#include "crashreport/capture/EHook.h"
#define VIDUDO_HAS_LENGTH_DECODER 1
#endif
#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EReporterUnits.h"
#include "crashreport/capture/EStack.h"
#include "crashreport/capture/EStoredData.h"
#include "framework/NeverDestroyed.h"

namespace {

constexpr uint32_t longestFunction = 0x7FFFFFFF;

std::string Underscored(std::string name)
{
    if (!name.empty() && name[0] == '@')
        name[0] = '_';
    return name;
}

// Decoded stored data, once per module; nullptr for a module whose data doesn't decode.
std::map<uintptr_t, std::unique_ptr<TDebugModel>>& Models()
{
    static TNeverDestroyed<std::map<uintptr_t, std::unique_ptr<TDebugModel>>> models;
    return models.Get();
}

const TDebugModel* ModelOf(const TVurazaModuleInfo& module)
{
    auto& models = Models();
    auto it = models.find(module.Handle);
    if (it != models.end())
        return it->second.get();
    std::unique_ptr<TDebugModel> model;
    if (module.DebugData && module.DataValid) {
        model = std::make_unique<TDebugModel>();
        if (!DecodeStoredDebugData(*module.DebugData, module.DataKey, *model))
            model.reset();
    }
    return models.emplace(module.Handle, std::move(model)).first->second.get();
}

// Debug-information sources, one per module, kept as long as the process.
std::map<uintptr_t, std::unique_ptr<TELDebugInfoSource>>& Sources()
{
    static TNeverDestroyed<std::map<uintptr_t, std::unique_ptr<TELDebugInfoSource>>> sources;
    return sources.Get();
}

std::map<uintptr_t, uint32_t>& Lengths()
{
    static TNeverDestroyed<std::map<uintptr_t, uint32_t>> lengths;
    return lengths.Get();
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
    const TDebugModel* model = ModelOf(*item.Module);
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
    item.ProcedureName.Assign(Underscored(location.procedureName));
    item.Line = static_cast<int32_t>(std::min<uint32_t>(location.line, INT32_MAX));
    item.LineDistance = location.procedureKnown ? static_cast<int32_t>(std::min<uint32_t>(location.lineDistance, INT32_MAX)) : 0;
    return true;
}

bool FromDebugSource(uintptr_t address, TVurazaStackItem& item)
{
    auto it = Sources().find(item.Module->Handle);
    if (it == Sources().end() || !it->second)
        return false;
    TELLocationInfo info;
    if (!it->second->FindLocation(address, info) || info.ProcText.empty())
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
    // Created once: a module that has no source keeps an empty entry and is not asked again.
    auto [it, added] = Sources().try_emplace(item.Module->Handle);
    if (added && CreateDebugInfoSource(item.Module->Handle, it->second))
        LookupAddressInfo(address, 0, item, false, 0);
    return item.Kind > 1;
}

uint32_t FunctionLength(const TVurazaFunctionInfo& function)
{
    auto& lengths = Lengths();
    auto it = lengths.find(function.Address);
    if (it != lengths.end())
        return it->second;
#ifdef VIDUDO_HAS_LENGTH_DECODER
    size_t length = LiveProcedureCodeLength(reinterpret_cast<const void*>(function.Address), longestFunction);
#else
    // Without the instruction-length decoder the next export bounds the function.
    size_t length = longestFunction;
#endif
    return lengths[function.Address] = static_cast<uint32_t>(std::min<size_t>(length, longestFunction));
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
    names.UnitName = item.UnitName.Str();
    names.ClassName = item.ClassName.Str();
    names.ProcedureName = item.ProcedureName.Str();
    if (!ParseExportName(exportName, names))
        return false;
    CopyNames(names, item);
    return true;
}

void InstallAddressLookup()
{
    // Sources of the modules loaded now are made here, before any crash: reading files and
    // headers while an exception is handled is what this avoids.
    TVurazaModulesList& modules = ModulesList();
    for (size_t i = 0; i < modules.Count(); ++i) {
        TVurazaModuleInfo* m = modules.Items(i);
        if (!m->DebugData) {
            auto [it, added] = Sources().try_emplace(m->Handle);
            if (added)
                CreateDebugInfoSource(m->Handle, it->second);
        }
    }
    SetStackItemResolver(&LookupAddressInfo);
}

void ReleaseAddressLookup()
{
    Models().clear();
    Sources().clear();
    Lengths().clear();
}

const TDebugModel* StoredDebugModelOf(uintptr_t address, uint32_t& offset)
{
    try {
        const TVurazaModuleInfo* module = FindModuleRecordOfAddress(address);
        if (!module)
            return nullptr;
        const uintptr_t codeStart = CodeImageAddress(module->Handle, 0);
        if (address < codeStart || address - codeStart > 0xFFFFFFFFu)
            return nullptr;
        offset = static_cast<uint32_t>(address - codeStart);
        return ModelOf(*module);
    } catch (...) {
        return nullptr;
    }
}
