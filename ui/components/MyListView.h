#pragma once
// The report list of the trading windows: click-to-sort columns with owner-drawn sort marks,
// optional line-number captions and a tiled background picture.

#include <windows.h>

#include <cstdint>

#include "framework/ComCtrls.h"
#include "framework/Graphics.h"

class TMyListView : public TListView {
    VIDUDO_CLASS(TMyListView, TListView)
public:
    explicit TMyListView(TComponent* owner);
    ~TMyListView() override;

    bool CaptionAsLineNum() const { return captionAsLineNum_; }
    // Only stores the value: no renumbering, no repaint.
    void SetCaptionAsLineNum(bool value) { captionAsLineNum_ = value; }
    TPicture& BackPicture() { return backPicture_; }
    // Copies the picture; the caller keeps its own.
    void SetBackPicture(const TPicture& picture) { backPicture_.Assign(picture); }
    TFont& HeaderFont() { return headerFont_; }
    // Copies the font and repaints the header.
    void SetHeaderFont(const TFont& font);

    bool SortAscending() const { return sortAscending_; }
    int SortColumn() const { return sortColumn_; }

    // The header click: the same column again reverses the direction, another column keeps it.
    void SortByColumn(int column);
    // The sort callback; data is the column index (0: captions, c: sub-item c - 1).
    static int CompareItems(TListItem* item1, TListItem* item2, intptr_t column);
    void DrawHeaderItem(const DRAWITEMSTRUCT& dis);
    void SetHeaderOwnerDraw(HWND header);
    void TileBackPicture();

protected:
    void WndProc(TMessage& message) override;
    void ColumnsChanged() override;

private:
    bool captionAsLineNum_ = false;
    TPicture backPicture_;
    TFont headerFont_;
    bool sortAscending_ = true;
    int sortColumn_ = 0;
    bool markingHeader_ = false;
};

// The direction CompareItems reads, shared by every list: SortByColumn sets it before sorting.
void SetListSortDirection(bool ascending);
