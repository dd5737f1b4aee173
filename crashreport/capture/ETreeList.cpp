#include "crashreport/capture/ETreeList.h"

#include "crashreport/capture/EDialogServices.h"
#include "framework/CodePage.h"
#include "framework/ScopedWin.h"

namespace {

const wchar_t* const kBitmapNames[6] = {L"EL_DLL", L"EL_BPL", L"EL_VCL", L"EL_PAS", L"EL_PLUS", L"EL_MINUS"};
enum { bmPlus = 4, bmMinus = 5 };

HFONT ListFont(HWND list)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
    return font ? font : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void DrawTextIn(HDC dc, const std::string& text, RECT r, UINT align)
{
    const std::wstring w = GbkToWide(text);
    DrawTextW(dc, w.c_str(), static_cast<int>(w.size()), &r,
              align | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

}  // namespace

void DrawTransparentBitmap(HDC dc, HBITMAP bitmap, int x, int y, int width, int height)
{
    if (!dc || !bitmap)
        return;
    ScopedMemDC source(dc);
    ScopedSelectObject sourceSelect(source, bitmap);
    const COLORREF transparent = GetPixel(source, 0, 0);
    // Work on a copy, so the bitmap itself stays as it was.
    ScopedMemDC copy(dc);
    ScopedBitmap copyBitmap(CreateCompatibleBitmap(dc, width, height));
    ScopedSelectObject copySelect(copy, copyBitmap);
    BitBlt(copy, 0, 0, width, height, source, 0, 0, SRCCOPY);
    ScopedMemDC mask(dc);
    ScopedBitmap maskBitmap(CreateBitmap(width, height, 1, 1, nullptr));
    ScopedSelectObject maskSelect(mask, maskBitmap);
    SetBkColor(copy, transparent);
    BitBlt(mask, 0, 0, width, height, copy, 0, 0, SRCCOPY);  // 1 where transparent
    SetBkColor(copy, RGB(0, 0, 0));
    SetTextColor(copy, RGB(255, 255, 255));
    BitBlt(copy, 0, 0, width, height, mask, 0, 0, SRCAND);   // transparent pixels black
    const COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    BitBlt(dc, x, y, width, height, mask, 0, 0, SRCAND);     // hole where the picture goes
    BitBlt(dc, x, y, width, height, copy, 0, 0, SRCPAINT);
    SetBkColor(dc, oldBack);
    SetTextColor(dc, oldText);
}

TListViewItems::TListViewItems(HWND list)
    : list_(list),
      listDc_(GetDC(list)),
      selectedBack_(CreateSolidBrush(RGB(204, 218, 241))),
      unselectedBack_(CreateSolidBrush(RGB(255, 255, 255))),
      selectedFrame_(CreateSolidBrush(RGB(49, 106, 197))),
      unselectedFrame_(CreateSolidBrush(RGB(152, 181, 226))),
      groupLine_(CreateSolidBrush(RGB(123, 164, 224))),
      rowLine_(CreateSolidBrush(RGB(206, 203, 194))),
      model_(*this)
{
    for (int i = 0; i < 6; ++i)
        bitmaps_[i] = static_cast<HBITMAP>(LoadImageW(ReporterModule(), kBitmapNames[i], IMAGE_BITMAP, 0, 0, 0));
    images_ = ImageList_Create(16, 16, ILC_COLORDDB | ILC_MASK, 4, 0);
    for (int i = 0; i < 4; ++i)
        ImageList_AddMasked(images_, bitmaps_[i], RGB(255, 0, 255));
    SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images_));
}

TListViewItems::~TListViewItems()
{
    if (IsWindow(list_))
        SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, 0);
    ImageList_Destroy(images_);
    for (HBITMAP b : bitmaps_)
        if (b)
            DeleteObject(b);
    for (HBRUSH b : {selectedBack_, unselectedBack_, selectedFrame_, unselectedFrame_, groupLine_, rowLine_})
        DeleteObject(b);
    if (boldFont_)
        DeleteObject(boldFont_);
    if (listDc_)
        ReleaseDC(list_, listDc_);
}

void TListViewItems::PrepareColumns()
{
    columnsPrepared_ = true;
    HWND header = reinterpret_cast<HWND>(SendMessageW(list_, LVM_GETHEADER, 0, 0));
    const int count = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
    alignments_.clear();
    for (int i = 0; i < count; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
        const int justify = item.fmt & HDF_JUSTIFYMASK;
        alignments_.push_back(justify == HDF_RIGHT ? DT_RIGHT : justify == HDF_CENTER ? DT_CENTER : DT_LEFT);
    }
    LOGFONTW lf{};
    GetObjectW(ListFont(list_), sizeof lf, &lf);
    lf.lfWeight = FW_BOLD;
    boldFont_ = CreateFontIndirectW(&lf);
    ScopedSelectObject select(listDc_, ListFont(list_));
    std::wstring indent;
    SIZE size{};
    while (size.cx < 14 && indent.size() < 64) {
        indent += L' ';
        GetTextExtentPoint32W(listDc_, indent.c_str(), static_cast<int>(indent.size()), &size);
    }
    model_.SetIndent(WideToGbk(indent), size.cx);
}

const TListViewItemRec& TListViewItems::AddRow(std::vector<std::string> columns, std::string caption, bool group,
                                               int colourFlag, int image)
{
    if (!columnsPrepared_)
        PrepareColumns();
    return model_.AddRow(std::move(columns), std::move(caption), group, colourFlag, image);
}

void TListViewItems::InsertRow(int position, const TListViewItemRec& record)
{
    const int at = position < 0 ? static_cast<int>(SendMessageW(list_, LVM_GETITEMCOUNT, 0, 0)) : position;
    const std::wstring first = GbkToWide(record.columns.empty() ? std::string() : record.columns[0]);
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = at;
    item.pszText = const_cast<wchar_t*>(first.c_str());
    item.iImage = record.image;
    item.lParam = reinterpret_cast<LPARAM>(&record);
    const int index = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (size_t i = 1; i < record.columns.size(); ++i) {
        const std::wstring text = GbkToWide(record.columns[i]);
        LVITEMW sub{};
        sub.iSubItem = static_cast<int>(i);
        sub.pszText = const_cast<wchar_t*>(text.c_str());
        SendMessageW(list_, LVM_SETITEMTEXTW, index, reinterpret_cast<LPARAM>(&sub));
    }
}

void TListViewItems::DeleteRow(int position) { SendMessageW(list_, LVM_DELETEITEM, position, 0); }

const TListViewItemRec* TListViewItems::RowRecord(int position) const
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = position;
    if (!SendMessageW(list_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return nullptr;
    return reinterpret_cast<const TListViewItemRec*>(item.lParam);
}

void TListViewItems::SetRedraw(bool on)
{
    SendMessageW(list_, WM_SETREDRAW, on ? TRUE : FALSE, 0);
    if (on)
        InvalidateRect(list_, nullptr, TRUE);
}

void TListViewItems::RedrawRow(int position) { SendMessageW(list_, LVM_REDRAWITEMS, position, position); }

bool TListViewItems::ToggleGroup(int row, POINT point, bool signOnly)
{
    RECT r{};
    r.left = LVIR_BOUNDS;
    if (!SendMessageW(list_, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r)))
        return false;
    return model_.ToggleGroup(row, point.x - r.left, point.y - r.top, signOnly);
}

void TListViewItems::Clear()
{
    SendMessageW(list_, LVM_DELETEALLITEMS, 0, 0);
    model_.Clear();
}

bool TListViewItems::DrawRow(const DRAWITEMSTRUCT& di)
{
    const auto* rec = reinterpret_cast<const TListViewItemRec*>(di.itemData);
    if (!rec)
        return true;
    devicePrepared_ = true;
    HDC dc = di.hDC;
    const int oldMode = SetBkMode(dc, TRANSPARENT);
    const int step = model_.IndentStep();
    const RECT r = di.rcItem;
    const int left = r.left + 2 + rec->level * step;
    const bool selected = (di.itemState & ODS_SELECTED) != 0;
    RECT back{left, r.top, r.right, r.bottom};
    FillRect(dc, &back, selected ? selectedBack_ : unselectedBack_);
    if (rec->group) {
        const int shift = rec->colourFlag == 0 ? step : 0;
        RECT line{r.left + shift, r.bottom - 2, r.right, r.bottom};
        FillRect(dc, &line, groupLine_);
        ScopedSelectObject font(dc, boldFont_);
        SetTextColor(dc, GroupRowColor(rec->colourFlag));
        DrawTextIn(dc, rec->caption, RECT{r.left + 15 + shift, r.top, r.right, r.bottom}, DT_LEFT);
        DrawTransparentBitmap(dc, bitmaps_[rec->open ? bmMinus : bmPlus], r.left + 1 + shift, r.top + 1, 13, 13);
    } else {
        if (rec->image >= 0 && rec->image < 4)
            DrawTransparentBitmap(dc, bitmaps_[rec->image], r.left + rec->level * step + 2, r.top, 16, 16);
        if (!rec->empty) {
            RECT line{left, r.bottom - 1, r.right, r.bottom};
            FillRect(dc, &line, rowLine_);
        }
        ScopedSelectObject font(dc, ListFont(list_));
        SetTextColor(dc, RGB(0, 0, 0));
        int x = r.left;
        for (size_t i = 0; i < rec->columns.size() && i < alignments_.size(); ++i) {
            const int width = static_cast<int>(SendMessageW(list_, LVM_GETCOLUMNWIDTH, i, 0));
            RECT text{x + (i == 0 ? 20 : 6), r.top, x + width - 6 + (i == 0 ? 4 : 0), r.bottom};
            DrawTextIn(dc, rec->columns[i], text, alignments_[i]);
            x += width;
        }
    }
    if (di.itemState & ODS_FOCUS) {
        RECT frame{left, r.top, r.right, r.bottom};
        FrameRect(dc, &frame, selected && GetFocus() == list_ ? selectedFrame_ : unselectedFrame_);
    }
    SetBkMode(dc, oldMode);
    return true;
}
