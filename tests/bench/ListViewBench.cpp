// Filling and sorting TMyListView beside a plain list view filled by direct messages.
// Target: the fill within 1.5x of the plain list view; sorting 10,000 rows well under a second.

#include <windows.h>

#include <commctrl.h>

#include <thread>  // clocks and durations; <chrono> itself has a literal CP936 lacks
#include <cstdio>
#include <string>
#include <vector>

#include "framework/CodePage.h"
#include "framework/Forms.h"
#include "ui/components/MyListView.h"
#include "tests/bench/BenchHost.h"

#ifndef ROWS
#define ROWS 10000
#endif

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRows = ROWS;
constexpr int kColumns = 8;

template <class F>
double Seconds(F f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<std::vector<std::string>> SampleRows()
{
    static const char* codes[] = {"cu1205", "al1206", "IF1203", "m1209", "SR209", "ru1205", "au1206", "rb1210"};
    static const char* states[] = {"全部成交", "未成交", "部分成交", "已撤单"};
    std::vector<std::vector<std::string>> rows;
    uint32_t seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (int i = 0; i < kRows; ++i) {
        char price[32], time[32];
        std::snprintf(price, sizeof price, "%u.%u", 2000 + next() % 60000, next() % 10);
        std::snprintf(time, sizeof time, "%02u:%02u:%02u", 9 + next() % 6, next() % 60, next() % 60);
        rows.push_back({std::to_string(100000 + next() % 900000), codes[next() % 8], next() % 2 ? "开仓" : "平仓",
                        next() % 2 ? "买入" : "卖出", price, std::to_string(1 + next() % 50), states[next() % 4], time});
    }
    return rows;
}

}  // namespace

int main()
{
    PrintBenchHost();
    TApplication app;
    const auto rows = SampleRows();

    TForm form(nullptr);
    form.SetBounds(0, 0, 900, 700);
    auto* list = new TMyListView(&form);
    list->SetBounds(0, 0, 880, 330);
    list->SetViewStyle(TViewStyle::vsReport);
    list->ReadOnly = true;
    list->SetRowSelect(true);
    list->SetParent(&form);
    static const char* captions[kColumns] = {"委托号", "合约", "开/平", "买/卖", "委托价格", "数量", "状态", "委托时间"};
    for (const char* c : captions)
        list->Columns().Add().SetCaption(c);
    form.AfterConstruction();
    form.Show();

    // The plain list view: the same columns and rows by LVM_INSERTITEMW and LVM_SETITEMTEXTW.
    HWND plain = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 340, 880, 330,
                                 form.Handle(), nullptr, GetModuleHandleW(nullptr), nullptr);
    for (int c = 0; c < kColumns; ++c) {
        std::wstring text = GbkToWide(captions[c]);
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT | LVCF_WIDTH;
        col.cx = 100;
        col.pszText = text.data();
        SendMessageW(plain, LVM_INSERTCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(&col));
    }
    app.ProcessMessages();

    // Both fills run with drawing switched off, as a window fills a list; painting follows.
    const double plainFill = Seconds([&] {
        SendMessageW(plain, WM_SETREDRAW, FALSE, 0);
        for (int r = 0; r < kRows; ++r) {
            const auto& row = rows[static_cast<size_t>(r)];
            std::wstring text = GbkToWide(row[0]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = r;
            item.pszText = text.data();
            SendMessageW(plain, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
            for (int c = 1; c < kColumns; ++c) {
                std::wstring sub = GbkToWide(row[static_cast<size_t>(c)]);
                LVITEMW si{};
                si.iSubItem = c;
                si.pszText = sub.data();
                SendMessageW(plain, LVM_SETITEMTEXTW, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&si));
            }
        }
        SendMessageW(plain, WM_SETREDRAW, TRUE, 0);
        InvalidateRect(plain, nullptr, TRUE);
        UpdateWindow(plain);
    });

    const double ourFill = Seconds([&] {
        list->Items().BeginUpdate();
        for (const auto& row : rows) {
            TListItem* item = list->Items().Add();
            item->SetCaption(row[0]);
            for (int c = 1; c < kColumns; ++c)
                item->SubItems().Add(row[static_cast<size_t>(c)]);
        }
        list->Items().EndUpdate();
        UpdateWindow(list->Handle());
    });

    const double numericSort = Seconds([&] { list->SortByColumn(4); });   // prices
    const double textSort = Seconds([&] { list->SortByColumn(6); });      // states, Chinese
    const double reverseSort = Seconds([&] { list->SortByColumn(6); });   // the same column again
    list->SetCaptionAsLineNum(true);
    const double numberedSort = Seconds([&] { list->SortByColumn(5); });  // quantities, then renumbering

    // Row by row on visible lists, as replies arrive: the plain list repaints at every insert.
    constexpr int kVisibleRows = 300;
    SendMessageW(plain, LVM_DELETEALLITEMS, 0, 0);
    list->Items().Clear();
    app.ProcessMessages();
    const double plainVisible = Seconds([&] {
        for (int r = 0; r < kVisibleRows; ++r) {
            std::wstring text = GbkToWide(rows[static_cast<size_t>(r)][0]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = r;
            item.pszText = text.data();
            SendMessageW(plain, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        }
        UpdateWindow(plain);
    });
    const double ourVisible = Seconds([&] {
        for (int r = 0; r < kVisibleRows; ++r)
            list->Items().Add()->SetCaption(rows[static_cast<size_t>(r)][0]);
        app.ProcessMessages();  // the deferred repaint
        UpdateWindow(list->Handle());
    });

    std::printf("rows %d x %d columns\n", kRows, kColumns);
    std::printf("fill    plain list view %.3f s   TMyListView %.3f s   ratio %.2f (target <= 1.5)\n", plainFill, ourFill,
                ourFill / plainFill);
    std::printf("sort    numeric column  %.3f s\n", numericSort);
    std::printf("sort    text column     %.3f s\n", textSort);
    std::printf("sort    text reversed   %.3f s\n", reverseSort);
    std::printf("sort    with line numbers %.3f s   (target: well under 1 s each)\n", numberedSort);
    std::printf("visible plain list view %.3f s   TMyListView %.3f s   (%d rows added one by one)\n", plainVisible,
                ourVisible, kVisibleRows);
    DestroyWindow(plain);
    return 0;
}
