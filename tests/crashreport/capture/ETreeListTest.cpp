// The tree list in a real list view of a detail-page template, under Xvfb.
#include "crashreport/capture/ETreeList.h"

#include <gtest/gtest.h>

#include <memory>

#include "crashreport/capture/EDialogServices.h"
#include "framework/CodePage.h"
#include "tests/crashreport/capture/GdiCounter.h"
#include "tests/support/UiDriver.h"

namespace {

TListViewItems* pageItems = nullptr;

INT_PTR CALLBACK PageProc(HWND, UINT message, WPARAM, LPARAM lParam)
{
    if (message == WM_DRAWITEM && pageItems)
        return pageItems->DrawRow(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    return message == WM_INITDIALOG;
}

void AddColumn(HWND list, const wchar_t* text, int width, int format)
{
    LVCOLUMNW c{};
    c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    c.pszText = const_cast<wchar_t*>(text);
    c.cx = width;
    c.fmt = format;
    const int n = static_cast<int>(SendMessageW(reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0)),
                                                HDM_GETITEMCOUNT, 0, 0));
    SendMessageW(list, LVM_INSERTCOLUMNW, n, reinterpret_cast<LPARAM>(&c));
}

// A top-level frame holding the call-stack page, its list with three columns.
struct TPage {
    HWND frame = nullptr, page = nullptr, list = nullptr;
    std::unique_ptr<TListViewItems> items;

    TPage()
    {
        frame = CreateWindowExW(0, L"#32770", L"page", WS_POPUP | WS_VISIBLE | WS_CAPTION, 40, 40, 520, 320, nullptr,
                                nullptr, nullptr, nullptr);
        page = CreateDialogParamW(ReporterModule(), L"EL_TAB_CALLSTACK", frame, PageProc, 0);
        SetWindowPos(page, nullptr, 0, 0, 500, 280, SWP_NOZORDER | SWP_SHOWWINDOW);
        list = GetDlgItem(page, 103);
        SetWindowPos(list, nullptr, 2, 20, 490, 250, SWP_NOZORDER);
        SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
        AddColumn(list, L"Address", 90, LVCFMT_LEFT);
        AddColumn(list, L"Unit", 120, LVCFMT_LEFT);
        AddColumn(list, L"Line", 60, LVCFMT_RIGHT);
        items = std::make_unique<TListViewItems>(list);
        pageItems = items.get();
    }
    ~TPage()
    {
        pageItems = nullptr;
        items.reset();
        DestroyWindow(frame);
    }
    // [G1: a b c][empty][G2: d, G3 closed: e f]
    void Fill()
    {
        auto group = [&](const char* name, int flag) { items->AddRow({"", "", ""}, name, true, flag, -1); };
        auto row = [&](const char* name) { items->AddRow({name, "Unit1", "12"}, "", false, 0, tiPas); };
        group("G1", 1);
        row("a");
        row("b");
        row("c");
        items->AddRow({"", "", ""}, "", false, 0, -1);
        group("G2", 3);
        row("d");
        group("G3", 2);
        row("e");
        row("f");
        ToggleAt(7, 0, 0, false);
    }
    bool ToggleAt(int row, int dx, int dy, bool signOnly)
    {
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
        return items->ToggleGroup(row, POINT{r.left + dx, r.top + dy}, signOnly);
    }
    std::string Shown() const
    {
        std::string out;
        const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            LVITEMW item{};
            item.mask = LVIF_PARAM;
            item.iItem = i;
            SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
            const auto* rec = reinterpret_cast<const TListViewItemRec*>(item.lParam);
            std::string name = rec->group ? rec->caption : rec->empty ? "_" : rec->columns[0];
            name.erase(0, name.find_first_not_of(' '));
            out += (out.empty() ? "" : " ") + name;
        }
        return out;
    }
    RECT RowRect(int row) const
    {
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&r));
        return r;
    }
};

}  // namespace

TEST(TreeList, GroupsFoldInTheControl)
{
    TPage p;
    p.Fill();
    EXPECT_EQ("G1 a b c _ G2 d G3", p.Shown());
    const auto rows = ui::ListViewRows(p.list);
    ASSERT_EQ(8u, rows.size());
    EXPECT_EQ("a", rows[1][0]);
    EXPECT_EQ("12", rows[1][2]);
    ASSERT_TRUE(p.ToggleAt(0, 0, 0, false));
    EXPECT_EQ("G1 _ G2 d G3", p.Shown());
    ASSERT_TRUE(p.ToggleAt(0, 0, 0, false));
    EXPECT_EQ("G1 a b c _ G2 d G3", p.Shown());
    ASSERT_TRUE(p.ToggleAt(5, 0, 0, false));
    EXPECT_EQ("G1 a b c _ G2", p.Shown());
    ASSERT_TRUE(p.ToggleAt(5, 0, 0, false));
    EXPECT_EQ("G1 a b c _ G2 d G3", p.Shown());
    // The sign of G1 (first of its block) spans x 2..12, y 2..12 of its row.
    EXPECT_FALSE(p.ToggleAt(0, 40, 6, true));
    EXPECT_FALSE(p.ToggleAt(0, 6, 14, true));
    EXPECT_TRUE(p.ToggleAt(0, 6, 6, true));
    EXPECT_EQ("G1 _ G2 d G3", p.Shown());
}

TEST(TreeList, RowsDrawInTheirColours)
{
    TPage p;
    p.Fill();
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED;
    select.state = LVIS_SELECTED;
    ui::Activate(p.list);
    SendMessageW(p.list, LVM_SETITEMSTATE, 2, reinterpret_cast<LPARAM>(&select));  // b
    RedrawWindow(p.list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
    ui::Pump(100);
    const ui::Screenshot shot = ui::Screenshot::Capture(p.list);
    const RECT g1 = p.RowRect(0), a = p.RowRect(1), b = p.RowRect(2), gap = p.RowRect(4), g2 = p.RowRect(5);
    EXPECT_EQ(RGB(123, 164, 224), shot.At(200, g1.bottom - 1)) << "group bottom line";
    EXPECT_EQ(RGB(206, 203, 194), shot.At(200, a.bottom - 1)) << "row line";
    EXPECT_EQ(RGB(255, 255, 255), shot.At(200, a.top + 3)) << "unselected background";
    EXPECT_EQ(RGB(204, 218, 241), shot.At(100, b.top + 3)) << "selected background";
    EXPECT_EQ(RGB(255, 255, 255), shot.At(200, gap.bottom - 1)) << "a separator draws no line";
    // Captions: navy for flag 1, maroon for flag 3, somewhere in the caption's text.
    int navy = 0, maroon = 0;
    for (int x = g1.left + 15; x < g1.left + 60; ++x)
        for (int y = g1.top; y < g1.bottom - 2; ++y) {
            navy += shot.At(x, y) == RGB(0, 0, 128);
            maroon += shot.At(x, y - g1.top + g2.top) == RGB(128, 0, 0);
        }
    EXPECT_GT(navy, 5);
    EXPECT_GT(maroon, 5);
    // The sign: magenta never shows.
    for (int x = g1.left; x < g1.left + 16; ++x)
        for (int y = g1.top; y < g1.bottom; ++y)
            ASSERT_NE(RGB(255, 0, 255), shot.At(x, y)) << x << "," << y;
}

TEST(TreeList, TransparentBitmapLeavesMagentaOut)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 20, 20);
    HGDIOBJ oldTarget = SelectObject(dc, target);
    RECT all{0, 0, 20, 20};
    HBRUSH green = CreateSolidBrush(RGB(0, 128, 0));
    FillRect(dc, &all, green);
    // An 8x8 picture: magenta left half, red right half, one blue pixel in the magenta.
    HDC pdc = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, 8, 8);
    HGDIOBJ oldPicture = SelectObject(pdc, picture);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            SetPixel(pdc, x, y, x < 4 ? RGB(255, 0, 255) : RGB(255, 0, 0));
    SetPixel(pdc, 1, 5, RGB(0, 0, 255));
    SelectObject(pdc, oldPicture);
    DrawTransparentBitmap(dc, picture, 4, 4, 8, 8);
    EXPECT_EQ(RGB(0, 128, 0), GetPixel(dc, 4, 4));
    EXPECT_EQ(RGB(0, 128, 0), GetPixel(dc, 7, 11));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 8, 4));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 11, 11));
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 5, 9));
    EXPECT_EQ(RGB(0, 128, 0), GetPixel(dc, 13, 13));
    SelectObject(pdc, picture);
    EXPECT_EQ(RGB(255, 0, 255), GetPixel(pdc, 0, 0)) << "the picture itself is unchanged";
    SelectObject(pdc, oldPicture);
    DeleteObject(picture);
    DeleteDC(pdc);
    SelectObject(dc, oldTarget);
    DeleteObject(target);
    DeleteObject(green);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

TEST(TreeList, GdiObjectsBalanceOverManyPages)
{
    InstallGdiCounter();
    auto cycle = [] {
        TPage p;
        TDialogFonts fonts;
        CreateDialogFonts(p.page, fonts);
        p.Fill();
        p.ToggleAt(0, 0, 0, false);
        RedrawWindow(p.list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
        FreeDialogFonts(fonts);
    };
    cycle();  // the first one loads what lives for the whole run
    const long before = GdiCounts().Live();
    const long createdBefore = GdiCounts().created;
    for (int i = 0; i < 100; ++i)
        cycle();
    EXPECT_GT(GdiCounts().created - createdBefore, 100 * 15) << "the hooks see the page's objects";
    EXPECT_EQ(before, GdiCounts().Live());
}
