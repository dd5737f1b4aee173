// The crash-test program's own resolution of its stack items: the module record and, when the
// module carries stored debug data, its unit, class, procedure and line.

#include <map>

#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EModules.h"
#include "crashreport/capture/EStoredData.h"
#include "tests/crashlab/CrashLab.h"

namespace {

// Decoded once per module; a module whose data doesn't decode maps to nullptr.
std::map<const TVurazaModuleInfo*, std::unique_ptr<TDebugModel>> models;

const TDebugModel* ModelOf(const TVurazaModuleInfo& module)
{
    auto it = models.find(&module);
    if (it != models.end())
        return it->second.get();
    std::unique_ptr<TDebugModel> model;
    if (module.DebugData) {
        model = std::make_unique<TDebugModel>();
        if (!DecodeStoredDebugData(*module.DebugData, module.DataKey, *model))
            model.reset();
    }
    return models.emplace(&module, std::move(model)).first->second.get();
}

void ResolveLabItem(uintptr_t address, uint32_t threadId, TVurazaStackItem& item, bool first, uint8_t group)
{
    item.Address = address;
    item.ThreadId = threadId;
    item.First = first ? 1 : 0;
    item.Group = group;
    item.Module = FindModuleRecordOfAddress(address);
    item.Kind = item.Module ? 1 : 0;
    if (!item.Module)
        return;
    const TDebugModel* model = ModelOf(*item.Module);
    const uintptr_t codeStart = CodeImageAddress(item.Module->Handle, 0);
    TDebugLocation location;
    if (!model || address < codeStart ||
        !LookupDebugLocation(*model, static_cast<uint32_t>(address - codeStart), location))
        return;
    item.UnitName.Assign(location.unitName);
    item.ClassName.Assign(location.className);
    item.ProcedureName.Assign(location.procedureName);
    item.Line = static_cast<int32_t>(location.line);
    item.LineDistance = static_cast<int32_t>(location.lineDistance);
    item.Kind = location.line ? 4 : location.procedureKnown ? 2 : 3;
}

}  // namespace

void InstallLabResolver()
{
    SetStackItemResolver(&ResolveLabItem);
}
