#include "crashreport/capture/EStackRows.h"

#include <cstdio>

#include "crashreport/capture/ECore.h"
#include "crashreport/capture/EModuleInfo.h"
#include "crashreport/capture/EStack.h"

namespace {

int FrameImage(const TDialogStackItem& item)
{
    if (item.kind4)
        return 3;
    switch (item.moduleKind) {
    case TStackModuleKind::Program: return 2;
    case TStackModuleKind::Package: return 1;
    case TStackModuleKind::Library: return 0;
    default: return 3;
    }
}

}  // namespace

std::vector<TStackPageRow> BuildStackPageRows(const std::vector<TDialogStackItem>& items)
{
    std::vector<TStackPageRow> rows;
    const TDialogStackItem* previous = nullptr;
    bool anyGroup = false;
    for (const TDialogStackItem& item : items) {
        if (!item.listed || item.ownModuleKind3)
            continue;
        const bool newGroup = !previous || item.threadId != previous->threadId || item.group != previous->group ||
                              item.first != previous->first || item.first;
        if (newGroup) {
            if (anyGroup && item.group == 1)
                rows.push_back({TStackPageRow::Separator, {"", "", "", "", "", ""}, "", 0, -1});
            rows.push_back({TStackPageRow::Header, {"", "", "", "", "", ""}, item.header,
                            item.group + 2 * (item.first ? 1 : 0), -1});
            anyGroup = true;
        }
        char address[16];
        std::snprintf(address, sizeof address, "%08X", item.address);
        std::string line;
        if (item.line != 0)
            line = std::to_string(item.line) + " [" + std::to_string(item.lineOffset) + "]";
        rows.push_back({TStackPageRow::Frame,
                        {address, item.modulePath.empty() ? "" : ExtractFileName(item.modulePath), item.unit,
                         item.className, item.procedure, line},
                        "", 0, FrameImage(item)});
        previous = &item;
    }
    return rows;
}

std::vector<TDialogStackItem> DialogStackItems(const TVurazaStackList& list, uint32_t kindsMask, uintptr_t ownModule,
                                               const std::function<std::string(const TVurazaStackItem&)>& header)
{
    std::vector<TDialogStackItem> items;
    for (size_t i = 0; i < list.Count(); ++i) {
        const TVurazaStackItem* s = list.GetItem(i);
        if (!s)
            continue;
        TDialogStackItem d;
        d.threadId = s->ThreadId;
        d.group = s->Group;
        d.first = s->First != 0;
        d.listed = s->Kind < 32 && (kindsMask & (1u << s->Kind)) != 0;
        d.ownModuleKind3 = s->Kind == 3 && s->Module && s->Module->Handle == ownModule;
        d.kind4 = s->Kind == 4;
        d.address = static_cast<uint32_t>(s->Address);
        if (s->Module) {
            d.modulePath = s->Module->FileName;
            switch (s->Module->Kind) {
            case mkProgram: d.moduleKind = TStackModuleKind::Program; break;
            case mkPackage: d.moduleKind = TStackModuleKind::Package; break;
            case mkLibrary: d.moduleKind = TStackModuleKind::Library; break;
            default: d.moduleKind = TStackModuleKind::Other; break;
            }
        }
        d.unit = s->UnitName.Str();
        d.className = s->ClassName.Str();
        d.procedure = s->ProcedureName.Str();
        d.line = s->Line;
        d.lineOffset = s->LineDistance;
        if (header)
            d.header = header(*s);
        items.push_back(std::move(d));
    }
    return items;
}
