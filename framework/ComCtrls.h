#pragma once
// Common controls: page control with tab sheets, status bar, and the report list view whose
// items live in the framework's own model.

#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Controls.h"

class TPageControl;

class TTabSheet : public TWinControl {
    VIDUDO_CLASS(TTabSheet, TWinControl)
public:
    explicit TTabSheet(TComponent* owner);
    ~TTabSheet() override;
    TPageControl* PageControl() const { return pageControl_; }
    void SetPageControl(TPageControl* control);
    int PageIndex() const;
    void SetText(const std::string& text) override;
    // Every time the sheet becomes the selected page, by the user or by code.
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;

private:
    friend class TPageControl;
    TPageControl* pageControl_ = nullptr;
};

class TPageControl : public TWinControl {
    VIDUDO_CLASS(TPageControl, TWinControl)
public:
    explicit TPageControl(TComponent* owner);
    int PageCount() const { return static_cast<int>(pages_.size()); }
    TTabSheet* Pages(int index) const { return pages_.at(static_cast<size_t>(index)); }
    TTabSheet* ActivePage() const { return active_; }
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const;
    void SetActivePageIndex(int index);
    // The display area of the sheets, in client coordinates.
    RECT DisplayRect();
    TNotifyEvent OnChange;
    std::function<void(TObject* sender, bool& allowChange)> OnChanging;

protected:
    friend class TTabSheet;
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void WndProc(TMessage& message) override;
    void InsertPage(TTabSheet* page);
    void RemovePage(TTabSheet* page);
    void UpdateTab(TTabSheet* page);
    void ChangeActivePage(TTabSheet* page);
    void PlaceSheets();
    std::vector<TTabSheet*> pages_;
    TTabSheet* active_ = nullptr;
};

struct TStatusPanel {
    std::string Text;
    int Width = 50;
};

class TStatusBar : public TWinControl {
    VIDUDO_CLASS(TStatusBar, TWinControl)
public:
    explicit TStatusBar(TComponent* owner);
    bool SimplePanel() const { return simplePanel_; }
    void SetSimplePanel(bool value);
    const std::string& SimpleText() const { return simpleText_; }
    void SetSimpleText(const std::string& text);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    TStatusPanel& Panels(int index) { return panels_.at(static_cast<size_t>(index)); }
    void AddPanel(const std::string& text, int width);
    void SetPanelText(int index, const std::string& text);
    bool SizeGrip = true;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void UpdatePanels();
    bool simplePanel_ = false;
    std::string simpleText_;
    std::vector<TStatusPanel> panels_;
};

// ---- list view

class TListView;
class TListItems;

class TListColumn {
public:
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    int Width() const;
    void SetWidth(int width);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    int Index() const { return index_; }

private:
    friend class TListColumns;
    friend class TListView;
    TListView* view_ = nullptr;
    std::string caption_;
    int width_ = 50;
    TAlignment alignment_ = TAlignment::taLeftJustify;
    int index_ = 0;
};

class TListColumns {
public:
    int Count() const { return static_cast<int>(columns_.size()); }
    TListColumn& operator[](int index) const { return *columns_.at(static_cast<size_t>(index)); }
    TListColumn& Add();
    void Clear();

private:
    friend class TListView;
    TListView* view_ = nullptr;
    std::vector<std::unique_ptr<TListColumn>> columns_;
};

class TListItem;

// The sub-item texts of an item; there may be more than the list has columns.
class TSubItems {
public:
    int Count() const { return static_cast<int>(texts_.size()); }
    const std::string& operator[](int index) const { return texts_.at(static_cast<size_t>(index)); }
    int Add(std::string text);
    void Set(int index, std::string text);
    void Delete(int index);
    void Clear();

private:
    friend class TListItem;
    friend class TListItems;
    friend class TListView;
    TListItem* item_ = nullptr;
    std::vector<std::string> texts_;
};

class TListItem {
public:
    const std::string& Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    TSubItems& SubItems() { return subItems_; }
    const TSubItems& SubItems() const { return subItems_; }
    int Index() const { return index_; }
    bool Selected() const;
    void SetSelected(bool value);
    bool Focused() const;
    void SetFocused(bool value);
    void MakeVisible();
    // LVIR_BOUNDS, LVIR_LABEL ... of the item in the control.
    RECT DisplayRect(int code = LVIR_BOUNDS) const;
    void Delete();
    void* Data = nullptr;
    TListView* ListView() const { return view_; }

private:
    friend class TListItems;
    friend class TSubItems;
    friend class TListView;
    void Changed();
    TListView* view_ = nullptr;
    std::string caption_;
    TSubItems subItems_;
    int index_ = 0;
};

class TListItems {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    TListItem* operator[](int index) const { return items_.at(static_cast<size_t>(index)).get(); }
    TListItem* Item(int index) const { return (*this)[index]; }
    TListItem* Add();
    TListItem* Insert(int index);
    void Delete(int index);
    void Clear();
    // Repaints only at EndUpdate.
    void BeginUpdate();
    void EndUpdate();

private:
    friend class TListView;
    friend class TListItem;
    void Renumber(int from);
    TListView* view_ = nullptr;
    std::vector<std::unique_ptr<TListItem>> items_;
};

enum class TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
// Negative: item1 first. data is the value given to CustomSort.
using TLVCompare = std::function<int(TListItem* item1, TListItem* item2, intptr_t data)>;
using TLVCustomDrawEvent = std::function<void(TObject* sender, const RECT& rect, bool& defaultDraw)>;
using TLVColumnClickEvent = std::function<void(TObject* sender, TListColumn& column)>;
using TLVSelectItemEvent = std::function<void(TObject* sender, TListItem* item, bool selected)>;

class TListView : public TWinControl {
    VIDUDO_CLASS(TListView, TWinControl)
public:
    explicit TListView(TComponent* owner);
    ~TListView() override;

    TListColumns& Columns() { return columns_; }
    TListItems& Items() { return items_; }
    TViewStyle ViewStyle() const { return viewStyle_; }
    void SetViewStyle(TViewStyle style);
    bool ReadOnly = false;
    bool RowSelect() const { return rowSelect_; }
    void SetRowSelect(bool value);
    bool GridLines() const { return gridLines_; }
    void SetGridLines(bool value);
    bool HideSelection = true;
    bool MultiSelect = false;

    // Sorts the items with compare; false when the control refused.
    bool CustomSort(const TLVCompare& compare, intptr_t data);
    TListItem* Selected() const;
    int SelCount() const;
    TListItem* ItemFocused() const;
    TListItem* TopItem() const;
    HWND HeaderHandle();
    TCanvas& Canvas() { return canvas_; }

    TLVCustomDrawEvent OnCustomDraw;
    TLVColumnClickEvent OnColumnClick;
    TLVSelectItemEvent OnSelectItem;

protected:
    friend class TListColumn;
    friend class TListColumns;
    friend class TListItems;
    friend class TListItem;
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void WndProc(TMessage& message) override;
    // After the header's columns were inserted or changed: the control rewrote their formats.
    virtual void ColumnsChanged() {}
    void ColorChanged() override;
    void InsertNativeColumn(TListColumn& column);
    void UpdateNativeColumn(TListColumn& column);
    void InsertNativeItem(TListItem& item);
    void RedrawItem(const TListItem& item);
    void SyncOrderFromControl();
    void ApplyExtendedStyle();
    LRESULT Notify(NMHDR& header);

    TListColumns columns_;
    TListItems items_;
    TViewStyle viewStyle_ = TViewStyle::vsIcon;
    bool rowSelect_ = false;
    bool gridLines_ = false;
    int updating_ = 0;
    TCanvas canvas_;
    std::wstring dispText_;
};
