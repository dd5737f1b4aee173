#pragma once
// The rows of the dialogs' tree list: group rows with their members, folded in and out of a
// list control. The model keeps every row; the control holds only the visible ones, in order.
// No Win32 here: the control is reached through TTreeListControl.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TListViewItemRec {
    std::vector<std::string> columns;
    int image = -1;
    int level = 0;          // 1: drawn one indent step in
    int colourFlag = 0;     // colour of a group row
    bool group = false;
    bool open = true;
    bool empty = false;     // a separator: not a group, every column blank
    bool visible = true;    // present in the control
    std::string caption;    // text of a group row
    const TListViewItemRec* previous = nullptr;  // last non-empty row before it in its block
};

// The list control as the model sees it: rows by position, each holding its record.
class TTreeListControl {
public:
    virtual ~TTreeListControl() = default;
    virtual void InsertRow(int position, const TListViewItemRec& record) = 0;  // -1: at the end
    virtual void DeleteRow(int position) = 0;
    virtual const TListViewItemRec* RowRecord(int position) const = 0;
    virtual void SetRedraw(bool on) = 0;
    virtual void RedrawRow(int position) = 0;
};

class TTreeListModel {
public:
    explicit TTreeListModel(TTreeListControl& control) : control_(control) {}

    // Spaces put in front of the first column of an indented row, and their width in pixels.
    void SetIndent(std::string text, int step)
    {
        indentText_ = std::move(text);
        indentStep_ = step;
    }
    int IndentStep() const { return indentStep_; }

    const TListViewItemRec& AddRow(std::vector<std::string> columns, std::string caption, bool group,
                                   int colourFlag, int image);
    // Opens or closes the group at the control position; with signOnly only when (x, y),
    // relative to the row's rectangle, lies on its sign. True when it toggled.
    bool ToggleGroup(int position, int x, int y, bool signOnly);
    bool OnSign(const TListViewItemRec& record, int x, int y) const;

    int Count() const { return static_cast<int>(records_.size()); }
    const TListViewItemRec& operator[](int index) const { return *records_.at(static_cast<size_t>(index)); }
    void Clear();

private:
    TTreeListControl& control_;
    std::vector<std::unique_ptr<TListViewItemRec>> records_;
    std::string indentText_;
    int indentStep_ = 0;
    int level_ = 0;
    const TListViewItemRec* last_ = nullptr;
};

// Text colour of a group row (0x00BBGGRR) by its colour flag.
uint32_t GroupRowColor(int colourFlag);
