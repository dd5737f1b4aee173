#pragma once
// The tree list of the detail pages: a report list view whose rows it draws itself, with group
// rows that fold their members in and out (the rows' model is TTreeListModel). The same unit
// draws bitmaps with their top-left colour transparent for every reporter dialog.

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "crashreport/capture/ETreeListModel.h"

// Draws width x height of the bitmap at (x, y); pixels of its top-left colour are left out.
void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height);

enum TTreeListImage { tiDll = 0, tiBpl = 1, tiVcl = 2, tiPas = 3 };

class TListViewItems : private TTreeListControl {
public:
    explicit TListViewItems(HWND list);
    ~TListViewItems() override;
    TListViewItems(const TListViewItems&) = delete;
    TListViewItems& operator=(const TListViewItems&) = delete;

    const TListViewItemRec& AddRow(std::vector<std::string> columns, std::string caption, bool group, int colourFlag,
                                   int image);
    // point: relative to the control.
    bool ToggleGroup(int row, POINT point, bool signOnly);
    // WM_DRAWITEM of the list; always handled.
    bool DrawRow(const DRAWITEMSTRUCT& item);
    void Clear();
    int Count() const { return model_.Count(); }
    const TTreeListModel& Model() const { return model_; }
    HWND Window() const { return list_; }

private:
    void InsertRow(int position, const TListViewItemRec& record) override;
    void DeleteRow(int position) override;
    const TListViewItemRec* RowRecord(int position) const override;
    void SetRedraw(bool on) override;
    void RedrawRow(int position) override;
    void PrepareColumns();

    HWND list_;
    HDC listDc_;
    bool devicePrepared_ = false;
    bool columnsPrepared_ = false;
    HBITMAP bitmaps_[6] = {};
    HIMAGELIST images_ = nullptr;
    HBRUSH selectedBack_, unselectedBack_, selectedFrame_, unselectedFrame_, groupLine_, rowLine_;
    HFONT boldFont_ = nullptr;  // lives as long as the list
    std::vector<UINT> alignments_;
    TTreeListModel model_;
};
