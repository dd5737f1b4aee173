// The browser pane on a framework form: created with the form's windows, navigating, its
// dialog handling on the form, and the wheel fix moving the focus from an edit into it.
#include <gtest/gtest.h>

#include "tests/support/LoopbackHttp.h"

#include "framework/CodePage.h"
#include "framework/Forms.h"
#include "framework/StdCtrls.h"
#include "ui/browser/EmbeddedBrowser.h"
#include "ui/browser/WbControlComponent.h"

namespace {

class TPaneForm : public TForm {
    VIDUDO_CLASS(TPaneForm, TForm)
public:
    TEdit* edit;
    TEmbeddedBrowser* gg;
    explicit TPaneForm(TComponent* owner) : TForm(owner)
    {
        SetName("PaneForm");
        SetBounds(500, 500, 420, 380);
        edit = new TEdit(this);
        edit->SetName("edit");
        edit->SetBounds(8, 8, 120, 21);
        edit->SetParent(this);
        gg = new TEmbeddedBrowser(this);
        gg->SetName("gg");
        gg->SetBounds(8, 40, 390, 290);
        gg->SetParent(this);
        AfterConstruction();
    }
};

INT_PTR CALLBACK PlainDialog(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        DestroyWindow(dialog);
        return TRUE;
    }
    return msg == WM_INITDIALOG;
}

TEST(FormHostingTest, PaneOnAFrameworkForm)
{
    OleInitialize(nullptr);
    {
        TApplication app;
        TLoopbackHttp server;
        auto* form = new TPaneForm(nullptr);
        form->Show();
        TEmbeddedBrowser* gg = form->gg;
        ASSERT_NE(nullptr, gg->ControlWindow());
        EXPECT_EQ(gg->Handle(), GetParent(gg->ControlWindow()));
        EXPECT_EQ(form->Handle(), GetParent(gg->Handle()));

        gg->Navigate(GbkToWide(server.Url("/gg")));
        EXPECT_TRUE(PumpUntil([&] { return server.Saw("GET /gg HTTP/1.1"); }, 10000));

        // A dialog the browser raises over the form is dismissed.
        struct {
            DLGTEMPLATE t;
            WORD menu, cls;
            wchar_t title[32];
        } tpl{};
        tpl.t.style = WS_POPUP | WS_CAPTION | WS_VISIBLE;
        tpl.t.cx = 100;
        tpl.t.cy = 40;
        wcscpy(tpl.title, L"Script error");
        SetActiveWindow(form->Handle());
        HWND dialog = CreateDialogIndirectParamW(nullptr, &tpl.t, form->Handle(), PlainDialog, 0);
        ASSERT_NE(nullptr, dialog);
        PumpUntil([&] { return !IsWindow(dialog); }, 2000);
        EXPECT_FALSE(IsWindow(dialog));

        // A wheel turn over the page takes the focus from the edit into the pane.
        SetForegroundWindow(form->Handle());
        form->SetActiveControl(form->edit);
        ASSERT_EQ(form->edit->Handle(), GetFocus());
        POINT at{200, 150};
        ClientToScreen(gg->Handle(), &at);
        const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
        INPUT in[2] = {};
        in[0].type = INPUT_MOUSE;
        in[0].mi.dx = (at.x * 65535 + w / 2) / (w - 1);
        in[0].mi.dy = (at.y * 65535 + h / 2) / (h - 1);
        in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
        in[1].type = INPUT_MOUSE;
        in[1].mi.mouseData = static_cast<DWORD>(-WHEEL_DELTA);
        in[1].mi.dwFlags = MOUSEEVENTF_WHEEL;
        SendInput(2, in, sizeof(INPUT));
        EXPECT_TRUE(PumpUntil([&] { return IsChild(gg->Handle(), GetFocus()); }, 3000));
        delete form;
    }
    OleUninitialize();
}

}  // namespace
