// A small program for the driver's own test: one form with named controls, closed by WM_CLOSE.

#include "framework/ComCtrls.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"

int main()
{
    TApplication app;
    TForm form(nullptr);
    form.SetName("ProbeForm");
    form.SetText("探针");
    form.SetBounds(40, 40, 400, 300);
    auto* edit = new TEdit(&form);
    edit->SetName("edit");
    edit->SetText("用户名");
    edit->SetBounds(8, 8, 120, 21);
    edit->SetParent(&form);
    auto* rows = new TListView(&form);
    rows->SetName("rows");
    rows->SetViewStyle(TViewStyle::vsReport);
    rows->SetBounds(8, 40, 360, 200);
    rows->SetParent(&form);
    rows->Columns().Add().SetCaption("合约");
    rows->Columns().Add().SetCaption("价格");
    for (const char* r : {"cu1005", "大豆"}) {
        TListItem* item = rows->Items().Add();
        item->SetCaption(r);
        item->SubItems().Add("3500");
        item->SubItems().Add("beyond the columns");
    }
    form.AfterConstruction();
    app.SetMainForm(&form);
    app.Run();
    return 0;
}
