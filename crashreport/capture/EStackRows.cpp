#include "crashreport/capture/EStackRows.h"

#include <cstdio>

#include "crashreport/capture/ECore.h"

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
