#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "framework/Forms.h"
#include "tests/framework/GuiTestSupport.h"
#include "tests/support/UiDriver.h"
#include "ui/components/MyListView.h"

namespace {

struct TListForm : TForm {
    TMyListView* list;
    TListForm() : TForm(nullptr)
    {
        SetBounds(30, 30, 520, 360);
        list = Place<TMyListView>(this, this, "fwtlb", 8, 8, 480, 300);
        list->SetViewStyle(TViewStyle::vsReport);
        list->ReadOnly = true;
        list->SetRowSelect(true);
        for (const char* c : {"委托号", "合约", "价格"}) {
            TListColumn& col = list->Columns().Add();
            col.SetCaption(c);
            col.SetWidth(120);
        }
        AfterConstruction();
    }
    // Rows of caption and sub-items; an entry ends at the first nullptr.
    void Fill(const std::vector<std::vector<const char*>>& rows)
    {
        list->Items().Clear();
        for (const auto& row : rows) {
            TListItem* item = list->Items().Add();
            item->SetCaption(row.at(0));
            for (size_t i = 1; i < row.size(); ++i)
                item->SubItems().Add(row[i]);
        }
    }
    std::vector<std::string> Column(int c)
    {
        std::vector<std::string> out;
        for (const auto& row : ui::ListViewRows(list->Handle()))
            out.push_back(row.at(static_cast<size_t>(c)));
        return out;
    }
};

using Strings = std::vector<std::string>;

RECT HeaderItemRect(TMyListView& list, int index)
{
    RECT r{};
    SendMessageW(list.HeaderHandle(), HDM_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&r));
    return r;
}

bool HeaderOwnerDrawn(TMyListView& list)
{
    HWND header = list.HeaderHandle();
    const int n = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
        if (!(item.fmt & HDF_OWNERDRAW))
            return false;
    }
    return n > 0;
}

// The pixels of the sort mark of a header item, read from the screen.
struct Mark {
    COLORREF baseLine, apex;
};

Mark ReadMark(TMyListView& list, int index, bool ascending)
{
    HWND header = list.HeaderHandle();
    InvalidateRect(header, nullptr, TRUE);
    UpdateWindow(header);
    ui::Pump(30);
    const RECT r = HeaderItemRect(list, index);
    HDC dc = GetDC(header);
    TCanvas c;
    c.SetHandle(dc);
    c.Font().Assign(list.HeaderFont());
    const int x = r.left + c.TextWidth(list.Columns()[index].Caption());
    c.SetHandle(nullptr);
    Mark m{};
    if (ascending) {
        m.baseLine = GetPixel(dc, x + 18, r.bottom - 5);
        m.apex = GetPixel(dc, x + 19, r.top + 5);
    } else {
        m.baseLine = GetPixel(dc, x + 18, r.top + 5);
        m.apex = GetPixel(dc, x + 19, r.bottom - 6);
    }
    ReleaseDC(header, dc);
    return m;
}

}  // namespace

using MyListViewTest = GuiTest;

// First in this program: the user's decimal separator is "," before any list has sorted. The
// cells hold the server's "."-decimal texts, and a click on the price column orders them by value.
TEST_F(MyListViewTest, PricesSortByValueUnderACommaLocale)
{
    wchar_t before[8] = {};
    GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, before, 8);
    ASSERT_TRUE(SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, L","));
    TListForm form;
    form.Show();
    ui::Activate(form.Handle());
    form.Fill({{"1", "IF2612", "3501"}, {"2", "IF2612", "3500.5"}, {"3", "IF2612", "3499"}, {"4", "IF2612", "3500.25"}});
    ui::Pump(300);
    const RECT h = HeaderItemRect(*form.list, 2);
    // Clicks far apart, so that none is a double click, until the column sorts ascending.
    for (int i = 0; i < 3; ++i) {
        ui::Click(form.list->HeaderHandle(), i % 2 ? h.right - 30 : h.left + 8, (h.top + h.bottom) / 2);
        ui::Pump(static_cast<int>(GetDoubleClickTime()) + 50);
        if (form.list->SortAscending() && form.Column(2) != Strings{"3501", "3500.5", "3499", "3500.25"})
            break;
    }
    EXPECT_EQ((Strings{"3499", "3500.25", "3500.5", "3501"}), form.Column(2));
    SetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, before);
}

TEST_F(MyListViewTest, ClickSortOrdersNumbersNumericallyAndTextsByText)
{
    TListForm form;
    form.Show();
    ui::Activate(form.Handle());
    form.Fill({{"10"}, {"9.5"}, {"2"}, {"abc"}, {"1e2"}});
    // The first click on column 0 reverses the initial ascending state.
    // Clicks far apart, so that the second is no double click.
    const RECT h = HeaderItemRect(*form.list, 0);
    ui::Click(form.list->HeaderHandle(), h.left + 8, (h.top + h.bottom) / 2);
    EXPECT_EQ((Strings{"abc", "1e2", "10", "9.5", "2"}), form.Column(0));
    ui::Pump(static_cast<int>(GetDoubleClickTime()) + 50);
    ui::Click(form.list->HeaderHandle(), h.right - 30, (h.top + h.bottom) / 2);
    EXPECT_EQ((Strings{"2", "9.5", "10", "1e2", "abc"}), form.Column(0));
    EXPECT_TRUE(form.list->SortAscending());
}

TEST_F(MyListViewTest, CompareRules)
{
    TListForm form;
    form.Fill({{"a"}});
    auto item = [&](std::vector<const char*> texts) {
        TListItem* i = form.list->Items().Add();
        i->SetCaption(texts.at(0));
        for (size_t k = 1; k < texts.size(); ++k)
            i->SubItems().Add(texts[k]);
        return i;
    };
    struct {
        std::vector<const char*> a, b;
        int column;
        int ascending;  // sign of the result when ascending; descending is its negation
    } cases[] = {
        {{"1.0004"}, {"1.0001"}, 0, 0},
        {{"1.001"}, {"1.000"}, 0, 1},
        {{"1.0000"}, {"1.0005"}, 0, 0},  // half a thousandth rounds to even: equal
        {{"9.5"}, {"10"}, 0, -1},
        {{"abc"}, {"10"}, 0, 1},
        {{"x", "3000000"}, {"x", "-3000000"}, 1, 1},  // 6e9 thousandths would overflow 32 bits
        {{"x", "1e300"}, {"x", "-1e300"}, 1, 1},      // the product is infinite
        {{"x", "-1e308"}, {"x", "1e308"}, 1, -1},
        {{"x", "2147484"}, {"x", "0"}, 1, 1},
        {{"x"}, {"x", "5"}, 1, -1},           // lacking the sub-item: less when ascending
        {{"x", "5"}, {"x"}, 1, 1},
        {{"x"}, {"x"}, 1, 0},                 // both lacking: equal
        {{"x", "a"}, {"x"}, 2, 0},
        {{"x", "a", "b"}, {"x", "a"}, 2, 1},
    };
    for (auto& c : cases) {
        TListItem* a = item(c.a);
        TListItem* b = item(c.b);
        auto sign = [](int v) { return (v > 0) - (v < 0); };
        SetListSortDirection(true);
        EXPECT_EQ(c.ascending, sign(TMyListView::CompareItems(a, b, c.column))) << c.a[0] << " vs " << c.b[0] << " col " << c.column;
        SetListSortDirection(false);
        EXPECT_EQ(-c.ascending, sign(TMyListView::CompareItems(a, b, c.column))) << c.a[0] << " vs " << c.b[0] << " descending";
    }
}

TEST_F(MyListViewTest, MixedColumnsSortToOneConsistentOrder)
{
    // Numbers, number-like texts, texts and missing sub-items mixed at random, once without a
    // window (the framework's own sort) and once in the control.
    const char* pool[] = {"2", "10", "1a", "1", "-3", "9.5", "1.0004", "1.0001", "1.0006", "abc",
                          "b", "东方", "", "1e2", "x9", "0", "10a", "3.25"};
    std::mt19937 random(20261210);
    for (bool windowed : {false, true}) {
        SCOPED_TRACE(windowed ? "in the control" : "without a window");
        std::vector<std::vector<const char*>> rows;
        for (int i = 0; i < 200; ++i) {
            const size_t pick = random() % (std::size(pool) + 1);
            if (pick == std::size(pool))
                rows.push_back({"r"});  // lacks the sub-item
            else
                rows.push_back({"r", pool[pick]});
        }
        Strings firstOrder;
        for (int round = 0; round < 2; ++round) {
            std::shuffle(rows.begin(), rows.end(), random);
            TListForm form;
            if (windowed)
                form.Show();
            ASSERT_EQ(windowed, form.list->HandleAllocated());
            form.Fill(rows);
            form.list->SortByColumn(1);
            ASSERT_TRUE(form.list->SortAscending());
            TListItems& items = form.list->Items();
            SetListSortDirection(true);
            for (int i = 0; i < items.Count(); ++i)
                for (int j = i + 1; j < items.Count(); ++j)
                    ASSERT_LE(TMyListView::CompareItems(items[i], items[j], 1), 0) << "rows " << i << " and " << j;
            // Equal values (1, 1.0001, 1.0004) may swap; compare what the order says of each row.
            Strings order;
            for (int i = 0; i < items.Count(); ++i) {
                const std::string text = items[i]->SubItems().Count() ? items[i]->SubItems()[0] : "(none)";
                order.push_back(text == "1.0004" || text == "1.0001" ? "1" : text);
            }
            if (round == 0)
                firstOrder = order;
            else
                EXPECT_EQ(firstOrder, order);
        }
    }
}

TEST_F(MyListViewTest, RowsLackingTheSubItemSortFirstAscendingWhateverTheInsertionOrder)
{
    const std::vector<std::vector<const char*>> orders[] = {
        {{"A", "x", "5"}, {"B"}, {"C", "y", "3"}, {"D", "z"}},
        {{"D", "z"}, {"C", "y", "3"}, {"B"}, {"A", "x", "5"}},
    };
    for (const auto& rows : orders) {
        TListForm form;
        form.Show();
        form.Fill(rows);
        form.list->SortByColumn(2);  // column 2 is new: ascending stays
        ASSERT_TRUE(form.list->SortAscending());
        // B and D both lack the sub-item: equal, in either order.
        auto lacking = [](Strings s) {
            std::sort(s.begin(), s.end());
            return s;
        };
        Strings got = form.Column(0);
        EXPECT_EQ((Strings{"B", "D"}), lacking(Strings(got.begin(), got.begin() + 2))) << rows[0][0];
        EXPECT_EQ((Strings{"C", "A"}), Strings(got.begin() + 2, got.end()));
        form.list->SortByColumn(2);
        got = form.Column(0);
        EXPECT_EQ((Strings{"A", "C"}), Strings(got.begin(), got.begin() + 2));
        EXPECT_EQ((Strings{"B", "D"}), lacking(Strings(got.begin() + 2, got.end())));
    }
}

TEST_F(MyListViewTest, DirectionTogglesPerColumnAndLineNumbersFollowEverySort)
{
    TListForm form;
    form.Show();
    form.Fill({{"c", "2", "30"}, {"a", "3", "10"}, {"b", "1", "20"}});
    struct {
        int column;
        bool ascending;
        Strings firstSubItems;
    } steps[] = {
        {1, true, {"1", "2", "3"}},
        {1, false, {"3", "2", "1"}},
        {2, false, {"2", "1", "3"}},  // another column keeps the direction
        {2, true, {"3", "1", "2"}},
    };
    for (auto& s : steps) {
        form.list->SortByColumn(s.column);
        EXPECT_EQ(s.ascending, form.list->SortAscending()) << "column " << s.column;
        EXPECT_EQ(s.firstSubItems, form.Column(1)) << "column " << s.column;
    }
    form.list->SetCaptionAsLineNum(true);
    EXPECT_EQ((Strings{"a", "b", "c"}), form.Column(0)) << "setting the switch renumbers nothing";
    form.list->SortByColumn(1);
    EXPECT_EQ((Strings{"1", "2", "3"}), form.Column(0));
    EXPECT_EQ((Strings{"1", "2", "3"}), form.Column(1));
    form.list->SortByColumn(1);
    EXPECT_EQ((Strings{"1", "2", "3"}), form.Column(0));
    EXPECT_EQ((Strings{"3", "2", "1"}), form.Column(1));

    form.list->Items().Clear();
    form.list->SortByColumn(1);  // an empty list sorts without effect
    EXPECT_EQ(0, form.list->Items().Count());
}

TEST_F(MyListViewTest, SortMarkStaysDrawnAfterCaptionAndWidthChanges)
{
    TListForm form;
    form.Show();
    ui::Activate(form.Handle());
    form.Fill({{"1", "b"}, {"2", "a"}});
    const COLORREF light = GetSysColor(COLOR_BTNHIGHLIGHT), dark = GetSysColor(COLOR_BTNSHADOW);
    ASSERT_TRUE(HeaderOwnerDrawn(*form.list));
    Mark m = ReadMark(*form.list, 0, true);
    EXPECT_EQ(light, m.baseLine) << "column 0 shows an up mark before any click";
    EXPECT_EQ(dark, m.apex);

    form.list->SortByColumn(1);
    struct {
        const char* what;
        std::function<void()> change;
    } changes[] = {
        {"caption", [&] { form.list->Columns()[1].SetCaption("合约代码"); }},
        {"width", [&] { form.list->Columns()[1].SetWidth(160); }},
        {"alignment", [&] { form.list->Columns()[1].SetAlignment(TAlignment::taRightJustify); }},
        // A format written straight to the header comes back as the W notification.
        {"raw header format", [&] {
             HDITEMW item{};
             item.mask = HDI_FORMAT;
             item.fmt = HDF_STRING | HDF_RIGHT;
             SendMessageW(form.list->HeaderHandle(), HDM_SETITEMW, 1, reinterpret_cast<LPARAM>(&item));
         }},
    };
    for (auto& c : changes) {
        SCOPED_TRACE(c.what);
        c.change();
        ui::Pump(20);
        EXPECT_TRUE(HeaderOwnerDrawn(*form.list));
        m = ReadMark(*form.list, 1, true);
        EXPECT_EQ(light, m.baseLine);
        EXPECT_EQ(dark, m.apex);
    }
    form.list->SortByColumn(1);
    m = ReadMark(*form.list, 1, false);
    EXPECT_EQ(dark, m.baseLine) << "descending: a down mark";
    EXPECT_EQ(light, m.apex);
}

TEST_F(MyListViewTest, OnlyOurHeadersOwnerDrawItemsArePainted)
{
    TListForm form;
    form.Show();
    TForm other(nullptr);
    other.AfterConstruction();
    struct {
        const char* what;
        UINT type;
        HWND from;
        bool painted;
    } cases[] = {
        {"our header", ODT_HEADER, form.list->HeaderHandle(), true},
        {"another window's header item", ODT_HEADER, other.Handle(), false},
        {"a button item", ODT_BUTTON, form.list->HeaderHandle(), false},
        {"a list box item", ODT_LISTBOX, form.list->HeaderHandle(), false},
    };
    for (auto& c : cases) {
        TBitmap b(120, 24);
        RECT r{0, 0, 120, 24};
        b.Canvas().Brush().SetColor(clWhite);
        b.Canvas().FillRect(r);
        DRAWITEMSTRUCT dis{};
        dis.CtlType = c.type;
        dis.itemID = 0;
        dis.hwndItem = c.from;
        dis.hDC = b.Canvas().Handle();
        dis.rcItem = r;
        SendMessageW(form.list->Handle(), WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&dis));
        int changed = 0;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 120; ++x)
                changed += b.Canvas().Pixel(x, y) != RGB(255, 255, 255);
        EXPECT_EQ(c.painted, changed > 0) << c.what;
    }
}

TEST_F(MyListViewTest, BackPictureTilesBehindTheRowsAndAnEmptyOneIsNotTiled)
{
    TListForm form;
    form.Show();
    form.Fill({{"1", "a"}, {"2", "b"}});
    TPicture picture;
    TBitmap& tile = picture.Bitmap();
    tile.SetSize(8, 8);
    RECT r{0, 0, 8, 8};
    tile.Canvas().Brush().SetColor(RGB(10, 200, 30));
    tile.Canvas().FillRect(r);
    form.list->SetBackPicture(picture);
    tile.Canvas().Brush().SetColor(RGB(200, 10, 10));
    tile.Canvas().FillRect(r);  // the list holds its own copy
    form.list->Repaint();
    UpdateWindow(form.list->Handle());
    ui::Pump(50);
    ui::Screenshot shot = ui::Screenshot::Capture(form.list->Handle());
    EXPECT_EQ(RGB(10, 200, 30), shot.At(300, 250)) << "below the rows";

    // A 0 x 0 picture is a graphic with nothing to step by.
    TPicture empty;
    empty.Bitmap().SetSize(0, 0);
    ASSERT_NE(nullptr, empty.Graphic());
    form.list->SetBackPicture(empty);
    form.list->Repaint();
    UpdateWindow(form.list->Handle());
    ui::Pump(50);
    EXPECT_EQ(2, form.list->Items().Count());

    TFont font;
    font.SetName("宋体");
    font.SetHeight(-16);
    form.list->SetHeaderFont(font);
    font.SetHeight(-9);
    EXPECT_EQ(-16, form.list->HeaderFont().Height()) << "the list holds its own copy of the font";
    EXPECT_EQ(GB2312_CHARSET, form.list->HeaderFont().Charset());
}

TEST_F(MyListViewTest, BothFormsOfTheHeaderNotificationsAreHandled)
{
    TListForm form;
    form.Show();
    form.Fill({{"1", "b"}, {"2", "a"}});
    HWND header = form.list->HeaderHandle();
    auto notify = [&](UINT code, int item) {
        NMHEADERW nm{};
        nm.hdr.hwndFrom = header;
        nm.hdr.code = code;
        nm.iItem = item;
        SendMessageW(form.list->Handle(), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&nm));
    };
    // Writes a plain format while the list's own handling of that change is held back.
    auto plainFormat = [&] {
        TWndMethod saved = form.list->WindowProc;
        form.list->WindowProc = [&](TMessage& m) {
            if (m.Msg == WM_NOTIFY && reinterpret_cast<NMHDR*>(m.LParam)->hwndFrom == header)
                return;
            saved(m);
        };
        HDITEMW item{};
        item.mask = HDI_FORMAT;
        item.fmt = HDF_STRING;
        SendMessageW(header, HDM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
        form.list->WindowProc = saved;
        return !HeaderOwnerDrawn(*form.list);
    };
    for (UINT code : {HDN_ITEMCHANGEDA, HDN_ITEMCHANGEDW, HDN_ENDTRACKA, HDN_ENDTRACKW}) {
        ASSERT_TRUE(plainFormat());
        notify(code, 0);
        EXPECT_TRUE(HeaderOwnerDrawn(*form.list)) << "code " << static_cast<int>(code);
    }
    struct {
        UINT code;
        int column;
        bool ascending;
    } clicks[] = {{HDN_ITEMCLICKA, 1, true}, {HDN_ITEMCLICKW, 1, false}, {HDN_ITEMCLICKW, 2, false}, {HDN_ITEMCLICKA, 2, true}};
    for (auto& c : clicks) {
        notify(c.code, c.column);
        EXPECT_EQ(c.column, form.list->SortColumn()) << "code " << static_cast<int>(c.code);
        EXPECT_EQ(c.ascending, form.list->SortAscending()) << "code " << static_cast<int>(c.code);
    }
    // Column 1 descending put "b" first; no row has column 2, so those sorts changed nothing.
    EXPECT_EQ((Strings{"1", "2"}), form.Column(0));
}
