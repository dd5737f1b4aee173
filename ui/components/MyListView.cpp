#include "ui/components/MyListView.h"

#include <cmath>
#include <vector>

#include "framework/CodePage.h"
#include "framework/SysUtils.h"

namespace {

// One sort runs at a time on the main thread; the comparison only gets the column.
bool sortInProgressAscending = true;

// Numbers compare by their value rounded to thousandths (halves to even): values closer than
// half a thousandth are mostly equal, and unlike rounding each difference the order stays
// transitive. NaN sorts after every number.
double Thousandths(double value) { return std::nearbyint(value * 1000.0); }

int CompareNumbers(double a, double b)
{
    const bool nanA = std::isnan(a), nanB = std::isnan(b);
    if (nanA || nanB)
        return nanA == nanB ? 0 : (nanA ? 1 : -1);
    return a < b ? -1 : (a > b ? 1 : 0);
}

// What the comparison needs of one item's text in the sorted column.
struct TSortKey {
    bool present = false;
    bool numeric = false;
    double number = 0;
    std::wstring text;
};

TSortKey MakeKey(TListItem* item, int column)
{
    TSortKey key;
    const std::string* text = &item->Caption();
    if (column > 0) {
        if (item->SubItems().Count() < column)
            return key;
        text = &item->SubItems()[column - 1];
    }
    key.present = true;
    // The cells hold the texts the program wrote, in the server's "." format, whatever the
    // user's decimal separator.
    key.numeric = TryStrToFloat(*text, key.number, '.');
    if (key.numeric)
        key.number = Thousandths(key.number);
    key.text = GbkToWide(*text);
    return key;
}

int CompareKeys(const TSortKey& a, const TSortKey& b, bool ascending)
{
    int r;
    if (!a.present || !b.present) {
        // A row without the sub-item comes first ascending, last descending; two such rows
        // are equal, which keeps the order a strict weak one.
        if (a.present == b.present)
            return 0;
        r = a.present ? 1 : -1;
    } else if (a.numeric && b.numeric) {
        r = CompareNumbers(a.number, b.number);
    } else if (a.numeric != b.numeric) {
        // Numbers against texts would not be transitive ("2" < "10" < "1a" < "2"): every
        // number comes before every other text.
        r = a.numeric ? -1 : 1;
    } else {
        const int c = CompareStringW(LOCALE_USER_DEFAULT, 0, a.text.c_str(), static_cast<int>(a.text.size()),
                                     b.text.c_str(), static_cast<int>(b.text.size()));
        r = c == 0 ? 0 : c - CSTR_EQUAL;
    }
    return ascending ? r : -r;
}

// Keys of the sort in progress by item index: each text is read and converted once, not at
// every one of the n log n comparisons.
const std::vector<TSortKey>* sortKeys = nullptr;
int sortKeysColumn = -1;

}  // namespace

void SetListSortDirection(bool ascending) { sortInProgressAscending = ascending; }

TMyListView::TMyListView(TComponent* owner) : TListView(owner)
{
    headerFont_.SetCharset(GB2312_CHARSET);
    headerFont_.SetName("宋体");
    headerFont_.SetSize(9);
    backPicture_.OnChange = [this] { Invalidate(); };
    OnCustomDraw = [this](TObject*, const RECT&, bool&) {
        if (backPicture_.Graphic())
            TileBackPicture();
    };
}

TMyListView::~TMyListView()
{
    backPicture_.OnChange = nullptr;
    // The window paints with the picture and font until it is gone.
    if (HandleAllocated())
        DestroyWnd();
}

void TMyListView::SetHeaderFont(const TFont& font)
{
    headerFont_.Assign(font);
    if (HandleAllocated())
        InvalidateRect(HeaderHandle(), nullptr, TRUE);
}

void TMyListView::SortByColumn(int column)
{
    if (column == sortColumn_)
        sortAscending_ = !sortAscending_;
    else
        sortColumn_ = column;
    SetListSortDirection(sortAscending_);
    std::vector<TSortKey> keys;
    keys.reserve(static_cast<size_t>(Items().Count()));
    for (int i = 0; i < Items().Count(); ++i)
        keys.push_back(MakeKey(Items()[i], column));
    sortKeys = &keys;
    sortKeysColumn = column;
    try {
        CustomSort(CompareItems, column);
    } catch (...) {
        sortKeys = nullptr;
        throw;
    }
    sortKeys = nullptr;
    if (!captionAsLineNum_ || Items().Count() == 0)
        return;
    Items().BeginUpdate();
    for (int i = 0; i < Items().Count(); ++i)
        Items()[i]->SetCaption(IntToStr(i + 1));
    Items().EndUpdate();
}

int TMyListView::CompareItems(TListItem* item1, TListItem* item2, intptr_t column)
{
    const int c = static_cast<int>(column);
    if (sortKeys && c == sortKeysColumn) {
        const size_t i1 = static_cast<size_t>(item1->Index()), i2 = static_cast<size_t>(item2->Index());
        if (i1 < sortKeys->size() && i2 < sortKeys->size())
            return CompareKeys((*sortKeys)[i1], (*sortKeys)[i2], sortInProgressAscending);
    }
    return CompareKeys(MakeKey(item1, c), MakeKey(item2, c), sortInProgressAscending);
}

void TMyListView::DrawHeaderItem(const DRAWITEMSTRUCT& dis)
{
    TCanvas canvas;
    canvas.SetHandle(dis.hDC);
    canvas.Font().Assign(headerFont_);
    canvas.Brush().SetColor(clBtnFace);
    canvas.Brush().SetStyle(TBrushStyle::bsClear);
    const RECT& r = dis.rcItem;
    const int index = static_cast<int>(dis.itemID);
    const std::string caption = index >= 0 && index < Columns().Count() ? Columns()[index].Caption() : std::string();
    canvas.TextOut(r.left + 6, r.top + 2, caption);
    if (index == sortColumn_) {
        const int x = r.left + canvas.TextWidth(caption);
        if (!sortAscending_) {
            canvas.Pen().SetColor(clBtnShadow);
            canvas.MoveTo(x + 15, r.top + 5);
            canvas.LineTo(x + 23, r.top + 5);
            canvas.Pen().SetColor(clBtnHighlight);
            canvas.LineTo(x + 19, r.bottom - 5);
            canvas.Pen().SetColor(clBtnShadow);
            canvas.LineTo(x + 15, r.top + 5);
        } else {
            canvas.Pen().SetColor(clBtnHighlight);
            canvas.MoveTo(x + 15, r.bottom - 5);
            canvas.LineTo(x + 23, r.bottom - 5);
            canvas.LineTo(x + 19, r.top + 5);
            canvas.Pen().SetColor(clBtnShadow);
            canvas.LineTo(x + 15, r.bottom - 5);
        }
    }
    canvas.SetHandle(nullptr);
}

void TMyListView::SetHeaderOwnerDraw(HWND header)
{
    // Setting a format sends the item-changed notification again.
    if (markingHeader_ || !header)
        return;
    markingHeader_ = true;
    const int count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        item.fmt = HDF_OWNERDRAW | HDF_STRING;
        SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    }
    markingHeader_ = false;
}

void TMyListView::ColumnsChanged()
{
    if (!HandleAllocated())
        return;
    HWND header = HeaderHandle();
    SetHeaderOwnerDraw(header);
    InvalidateRect(header, nullptr, TRUE);
}

void TMyListView::TileBackPicture()
{
    TGraphic* g = backPicture_.Graphic();
    if (!g)
        return;
    const int w = g->Width(), h = g->Height();
    if (w <= 0 || h <= 0)
        return;  // stepping by zero would never end
    int x0 = 0, y0 = 0;
    if (Items().Count() > 0) {
        TListItem* top = ViewStyle() == TViewStyle::vsReport ? TopItem() : Items()[0];
        x0 = (top ? top : Items()[0])->DisplayRect(LVIR_BOUNDS).left;
        y0 = Items()[0]->DisplayRect(LVIR_BOUNDS).top - 2;
    }
    // Tiles above or left of the client area would be clipped anyway; skip them.
    if (x0 < -w)
        x0 += (-x0 / w) * w;
    if (y0 < -h)
        y0 += (-y0 / h) * h;
    const RECT client = ClientRect();
    for (int y = y0; y <= client.bottom; y += h)
        for (int x = x0; x <= client.right; x += w)
            Canvas().Draw(x, y, *g);
    SetBkMode(Canvas().Handle(), TRANSPARENT);
    SendMessageW(Handle(), LVM_SETTEXTBKCOLOR, 0, CLR_NONE);
}

void TMyListView::WndProc(TMessage& m)
{
    TListView::WndProc(m);
    if (!HandleAllocated())
        return;
    if (m.Msg == WM_DRAWITEM) {
        const auto& dis = *reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        if (dis.CtlType == ODT_HEADER && dis.hwndItem == HeaderHandle()) {
            DrawHeaderItem(dis);
            m.Result = 1;
        }
        return;
    }
    if (m.Msg != WM_NOTIFY)
        return;
    const auto& hdr = *reinterpret_cast<NMHDR*>(m.LParam);
    HWND header = HeaderHandle();
    if (hdr.hwndFrom != header)
        return;
    switch (hdr.code) {
    case HDN_ITEMCHANGEDA:
    case HDN_ITEMCHANGEDW:
    case HDN_ENDTRACKA:
    case HDN_ENDTRACKW:
        SetHeaderOwnerDraw(header);
        InvalidateRect(header, nullptr, TRUE);
        break;
    case HDN_ITEMCLICKA:
    case HDN_ITEMCLICKW:
        SortByColumn(reinterpret_cast<const NMHEADERW&>(hdr).iItem);
        InvalidateRect(header, nullptr, TRUE);
        break;
    default:
        break;
    }
}
