// The browser pane on a framework form: created with the form's windows, navigating, its
// dialog handling on the form, and the wheel fix moving the focus from an edit into it.
#include <gtest/gtest.h>

#include "tests/support/LoopbackHttp.h"

#include "framework/CodePage.h"
#include "framework/Forms.h"
#include "framework/Messages.h"
#include "framework/StdCtrls.h"
#include "ui/browser/EmbeddedBrowser.h"
#include "ui/browser/WbControlComponent.h"
#include "tests/support/WheelInput.h"

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

        // The control's own events pass the sink's argument checks.
        int downloads = 0, statusTexts = 0, commandStates = 0;
        gg->OnDownloadBegin = [&](TObject*) { ++downloads; };
        gg->OnStatusTextChange = [&](TObject*, const std::wstring&) { ++statusTexts; };
        gg->OnCommandStateChange = [&](TObject*, long, bool) { ++commandStates; };
        gg->Navigate(GbkToWide(server.Url("/gg")));
        EXPECT_TRUE(PumpUntil([&] { return server.Saw("GET /gg HTTP/1.1"); }, 10000));
        PumpUntil([&] { return downloads && statusTexts && commandStates; }, 3000);
        EXPECT_GT(downloads, 0);
        EXPECT_GT(statusTexts, 0);
        EXPECT_GT(commandStates, 0);

        // Enter reaches the page as not handled; OnMessage has the last word.
        EXPECT_EQ(0, gg->Perform(CN_KEYDOWN, VK_RETURN, 0));
        gg->OnMessage = [](TObject*, MSG& msg, bool& handled) { handled = msg.message == CN_KEYDOWN; };
        EXPECT_EQ(1, gg->Perform(CN_KEYDOWN, VK_RETURN, 0));
        gg->OnMessage = nullptr;
        bool closeAsked = false;
        gg->OnCloseQuery = [&](TObject*, bool& canClose) {
            closeAsked = true;
            canClose = false;
        };
        gg->Perform(WM_CLOSE);
        EXPECT_TRUE(closeAsked);
        EXPECT_TRUE(IsWindow(gg->Handle()));
        EXPECT_EQ(DLGC_WANTCHARS, gg->Perform(WM_GETDLGCODE));

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
        SendWheelAt(at);
        EXPECT_TRUE(PumpUntil([&] { return IsChild(gg->Handle(), GetFocus()); }, 3000));
        delete form;
    }
    OleUninitialize();
}

// The focus control switched on by the browser part itself, on the application's window.
TEST(FormHostingTest, ActivatingTheFormGivesThePaneTheFocusBack)
{
    OleInitialize(nullptr);
    {
        TApplication app;
        auto* other = new TForm(nullptr);
        other->SetBounds(20, 20, 200, 120);
        auto* otherEdit = new TEdit(other);
        otherEdit->SetParent(other);
        auto* form = new TPaneForm(nullptr);
        form->Show();
        other->Show();
        const struct {
            bool paneActive;
            bool posts;
        } cases[] = {{false, false}, {true, true}};
        for (const auto& c : cases) {
            SCOPED_TRACE(c.paneActive ? "pane is the active control" : "edit is the active control");
            SetForegroundWindow(other->Handle());
            other->SetActiveControl(otherEdit);
            ASSERT_EQ(otherEdit->Handle(), GetFocus());
            // The pane form's active control, without giving it the focus now.
            form->SetActiveControl(c.paneActive ? static_cast<TWinControl*>(form->gg) : form->edit);
            SetForegroundWindow(other->Handle());
            MSG msg;
            while (PeekMessageW(&msg, form->gg->Handle(), WM_WB_REACTIVATE, WM_WB_REACTIVATE, PM_REMOVE)) {
            }
            SetActiveWindow(form->Handle());
            ASSERT_EQ(form->Handle(), GetActiveWindow());
            const bool posted = PeekMessageW(&msg, form->gg->Handle(), WM_WB_REACTIVATE, WM_WB_REACTIVATE, PM_REMOVE);
            EXPECT_EQ(c.posts, posted);
            if (posted)
                EXPECT_EQ(reinterpret_cast<WPARAM>(form->gg), msg.wParam);
        }
        delete form;
        delete other;
    }
    OleUninitialize();
}

TEST(FormHostingTest, AFreedPaneLeavesNoEntryBehind)
{
    OleInitialize(nullptr);
    {
        TApplication app;
        auto* form = new TPaneForm(nullptr);
        form->Show();
        const HWND formWindow = form->Handle();
        form->gg->Perform(WM_WB_REACTIVATE);
        ASSERT_EQ(form->gg, FormActiveBrowser(formWindow));
        delete form;  // the form's window goes before its components
        EXPECT_EQ(nullptr, FormActiveBrowser(formWindow));

        // Activating another form runs the focus control, which must find nothing stale.
        auto* next = new TPaneForm(nullptr);
        next->Show();
        SetActiveWindow(next->Handle());
        SendMessageW(app.Handle(), CM_ACTIVATE, 0, 0);
        PumpUntil([] { return false; }, 100);
        EXPECT_EQ(nullptr, FormActiveBrowser(formWindow));
        delete next;
    }
    OleUninitialize();
}

}  // namespace
