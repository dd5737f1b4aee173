#include "crashreport/capture/ETreeListModel.h"

#include <algorithm>

#include "framework/SysUtils.h"

const TListViewItemRec& TTreeListModel::AddRow(std::vector<std::string> columns, std::string caption, bool group,
                                               int colourFlag, int image)
{
    auto record = std::make_unique<TListViewItemRec>();
    record->group = group;
    record->colourFlag = colourFlag;
    record->image = image;
    record->caption = std::move(caption);
    record->empty = !group && std::all_of(columns.begin(), columns.end(),
                                          [](const std::string& c) { return Trim(c).empty(); });
    if (group)
        ++level_;
    else if (record->empty)
        level_ = 0;
    if (!group && !record->empty && level_ >= 2) {
        record->level = 1;
        if (columns.empty())
            columns.emplace_back();
        columns[0] = indentText_ + columns[0];
    }
    record->columns = std::move(columns);
    record->previous = last_;
    last_ = record->empty ? nullptr : record.get();
    records_.push_back(std::move(record));
    control_.InsertRow(-1, *records_.back());
    return *records_.back();
}

bool TTreeListModel::OnSign(const TListViewItemRec& record, int x, int y) const
{
    const int step = record.previous ? indentStep_ : 0;
    return x >= step + 2 && x <= step + 12 && y >= 2 && y <= 12;
}

bool TTreeListModel::ToggleGroup(int position, int x, int y, bool signOnly)
{
    const TListViewItemRec* shown = control_.RowRecord(position);
    if (!shown || !shown->group)
        return false;
    if (signOnly && !OnSign(*shown, x, y))
        return false;
    auto at = std::find_if(records_.begin(), records_.end(), [&](const auto& r) { return r.get() == shown; });
    if (at == records_.end())
        return false;
    TListViewItemRec& group = **at;
    group.open = !group.open;
    control_.SetRedraw(false);
    int next = position + 1;
    for (auto it = at + 1; it != records_.end() && !(*it)->empty; ++it) {
        TListViewItemRec& r = **it;
        const bool was = r.visible;
        r.visible = group.open;
        if (r.visible && !was) {
            control_.InsertRow(next++, r);
            if (r.group && !r.open)
                break;
        } else if (was && !r.visible) {
            control_.DeleteRow(next);
        } else if (r.visible) {
            ++next;
        }
    }
    control_.SetRedraw(true);
    control_.RedrawRow(position);
    return true;
}

void TTreeListModel::Clear()
{
    records_.clear();
    level_ = 0;
    last_ = nullptr;
}

uint32_t GroupRowColor(int colourFlag)
{
    switch (colourFlag) {
    case 1: return 0x800000;  // navy
    case 3: return 0x000080;  // maroon
    default: return 0x606060;
    }
}
