// TWinControl's message handling: a short dispatcher and one handler per family of messages
// (reflection to the child, menus, painting, keys and focus, mouse, the window's own changes).
// Each handler returns true when it has dealt with the message; what none takes goes on to
// TControl::WndProc and the window's default procedure.

#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include "framework/Controls.h"
#include "framework/Forms.h"
#include "framework/Menus.h"

namespace {

bool IsFrameworkMessage(UINT msg) { return msg >= CM_BASE && msg < 0xC000; }

}  // namespace

void TWinControl::WndProc(TMessage& m)
{
    if (MenuMessage(m) || ReflectToChild(m) || PaintMessage(m) || KeyOrFocusMessage(m) || MouseMessage(m) ||
        WindowMessage(m))
        return;
    TControl::WndProc(m);
}

void TWinControl::KeyNotification(TMessage& m)
{
    m.Result = 0;
    WORD key = static_cast<WORD>(m.WParam);
    const TShiftState shift = KeyboardShiftState();
    TCustomForm* form = ParentForm();
    switch (m.Msg) {
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN: {
        if (form && form->IsShortCut(key, shift)) {
            m.Result = 1;
            return;
        }
        UINT mask = 0;
        if (key == VK_TAB) mask = DLGC_WANTTAB;
        else if (key == VK_RETURN || key == VK_ESCAPE) mask = DLGC_WANTALLKEYS;
        if (mask && handle_) {
            const UINT code = static_cast<UINT>(SendMessageW(GetFocus(), WM_GETDLGCODE, key, 0)) | DialogCode();
            if (!(code & mask) && form && form->DialogKey(key, shift)) {
                m.Result = 1;
                return;
            }
        }
        if (DoKeyDown(key, shift))
            m.Result = 1;
        return;
    }
    case CN_KEYUP:
    case CN_SYSKEYUP: {
        TCustomForm* f = form;
        if (f && f != this && f->KeyPreview && f->OnKeyUp) {
            f->OnKeyUp(f, key, shift);
            if (!key) { m.Result = 1; return; }
        }
        if (OnKeyUp) {
            OnKeyUp(this, key, shift);
            if (!key) m.Result = 1;
        }
        return;
    }
    case CN_CHAR: {
        if (m.WParam >= 0x80)
            return;  // the handlers take single-byte characters
        char c = static_cast<char>(m.WParam);
        if (form && form != this && form->KeyPreview && form->OnKeyPress) {
            form->OnKeyPress(form, c);
            if (!c) { m.Result = 1; return; }
        }
        if (OnKeyPress) {
            OnKeyPress(this, c);
            if (!c) m.Result = 1;
        }
        return;
    }
    default:
        return;
    }
}

bool TWinControl::Reflect(TMessage& m, TWinControl* child, UINT reflected)
{
    if (!child || child == this)
        return false;
    m.Result = child->Perform(reflected, m.WParam, m.LParam);
    return true;
}

// Notifications a child window sends its parent come back to the child's control as CN_...
bool TWinControl::ReflectToChild(TMessage& m)
{
    switch (m.Msg) {
    case WM_COMMAND:
        return m.LParam && Reflect(m, FromHandle(reinterpret_cast<HWND>(m.LParam)), CN_COMMAND);
    case WM_NOTIFY: {
        const auto* hdr = reinterpret_cast<const NMHDR*>(m.LParam);
        return hdr && Reflect(m, FromHandle(hdr->hwndFrom), CN_NOTIFY);
    }
    case WM_DRAWITEM: {
        const auto* dis = reinterpret_cast<const DRAWITEMSTRUCT*>(m.LParam);
        return dis->CtlType != ODT_MENU && Reflect(m, FromHandle(dis->hwndItem), CN_DRAWITEM);
    }
    case WM_MEASUREITEM: {
        const auto* mis = reinterpret_cast<const MEASUREITEMSTRUCT*>(m.LParam);
        return mis->CtlType != ODT_MENU && handle_ &&
               Reflect(m, FromHandle(GetDlgItem(handle_, static_cast<int>(mis->CtlID))), CN_MEASUREITEM);
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC:
        // The edit inside a combo box asks too: its combo box answers.
        return Reflect(m, FindOwningControl(reinterpret_cast<HWND>(m.LParam)), CN_BASE + m.Msg);
    case WM_HSCROLL:
    case WM_VSCROLL:
        return m.LParam && Reflect(m, FromHandle(reinterpret_cast<HWND>(m.LParam)), CN_BASE + m.Msg);
    default:
        return false;
    }
}

bool TWinControl::MenuMessage(TMessage& m)
{
    switch (m.Msg) {
    case WM_COMMAND:
        return !m.LParam && HIWORD(m.WParam) == 0 && HandleMenuCommand(LOWORD(m.WParam));
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        if (dis->CtlType != ODT_MENU || !HandleMenuDrawItem(*dis))
            return false;
        m.Result = 1;
        return true;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
        if (mis->CtlType != ODT_MENU || !HandleMenuMeasureItem(*mis))
            return false;
        m.Result = 1;
        return true;
    }
    case WM_INITMENUPOPUP:
        HandleInitMenuPopup(reinterpret_cast<HMENU>(m.WParam));
        return false;  // the default procedure still sees it
    case WM_CONTEXTMENU: {
        if (!PopupMenu)
            return false;
        POINT pt{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
        if (pt.x == -1 && pt.y == -1)
            GetCursorPos(&pt);
        PopupMenu->Popup(pt.x, pt.y);
        return true;
    }
    default:
        return false;
    }
}

bool TWinControl::PaintMessage(TMessage& m)
{
    switch (m.Msg) {
    case CN_CTLCOLORBTN:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORSTATIC:
        m.Result = CtlColor(reinterpret_cast<HDC>(m.WParam));
        return true;
    case WM_ERASEBKGND: {
        if (!ownClass_)
            return false;
        RECT r;
        GetClientRect(handle_, &r);
        ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, BackgroundBrush());
        m.Result = 1;
        return true;
    }
    case WM_PAINT: {
        if (!HasOwnPaint())
            return false;
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(handle_, &ps);
        TCanvas canvas;
        canvas.SetHandle(dc);
        canvas.Font().Assign(font_);
        Paint(canvas);
        canvas.SetHandle(nullptr);
        EndPaint(handle_, &ps);
        return true;
    }
    default:
        return false;
    }
}

bool TWinControl::KeyOrFocusMessage(TMessage& m)
{
    switch (m.Msg) {
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
    case CN_KEYUP:
    case CN_SYSKEYUP:
    case CN_CHAR:
        KeyNotification(m);
        return true;
    case CM_ENTER:
        DoEnter();
        return true;
    case CM_EXIT:
        DoExit();
        return true;
    case WM_SETFOCUS:
        DefaultHandler(m);
        if (TCustomForm* form = ParentForm(); form && form != this)
            form->SetFocusedControl(this);
        return true;
    default:
        return false;
    }
}

bool TWinControl::MouseMessage(TMessage& m)
{
    switch (m.Msg) {
    case WM_MOUSEMOVE:
        // Enter and leave come from the application's loop, which sees inner windows too.
        DefaultHandler(m);
        if (OnMouseMove)
            OnMouseMove(this, KeysToShiftState(m.WParam), GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
        return true;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        DefaultHandler(m);
        const bool down = m.Msg == WM_LBUTTONDOWN || m.Msg == WM_RBUTTONDOWN || m.Msg == WM_MBUTTONDOWN;
        const TMouseButton b = (m.Msg == WM_LBUTTONDOWN || m.Msg == WM_LBUTTONUP) ? TMouseButton::mbLeft
                               : (m.Msg == WM_RBUTTONDOWN || m.Msg == WM_RBUTTONUP) ? TMouseButton::mbRight
                                                                                    : TMouseButton::mbMiddle;
        const int x = GET_X_LPARAM(m.LParam), y = GET_Y_LPARAM(m.LParam);
        auto& handler = down ? OnMouseDown : OnMouseUp;
        if (handler)
            handler(this, b, KeysToShiftState(m.WParam), x, y);
        // Our own windows have no click notification of their own.
        if (m.Msg == WM_LBUTTONUP && ownClass_ && handle_) {
            RECT r;
            GetClientRect(handle_, &r);
            if (x >= 0 && y >= 0 && x < r.right && y < r.bottom)
                Click();
        }
        return true;
    }
    case WM_LBUTTONDBLCLK:
        DefaultHandler(m);
        if (ownClass_)
            DblClick();
        return true;
    default:
        return false;
    }
}

// The window's own changes: text, size, position and its end.
bool TWinControl::WindowMessage(TMessage& m)
{
    switch (m.Msg) {
    case WM_SETTEXT:
        DefaultHandler(m);
        Perform(CM_TEXTCHANGED);
        return true;
    case WM_SIZE:
        DefaultHandler(m);
        UpdateBounds();
        AlignControls();
        if (OnResize)
            OnResize(this);
        return true;
    case WM_MOVE:
        DefaultHandler(m);
        UpdateBounds();
        return true;
    case WM_DESTROY:
        // The one place the window's text goes back to the control: a recreated window shows
        // what the user left in it.
        text_ = Text();
        DestroyingHandle();
        DefaultHandler(m);
        if (nameAtom_) {
            RemovePropW(handle_, kComponentNameProp);
            GlobalDeleteAtom(nameAtom_);
            nameAtom_ = 0;
        }
        return true;
    case WM_NCDESTROY: {
        HWND h = handle_;
        DefaultHandler(m);
        Unbind(h);
        return true;
    }
    default:
        return false;
    }
}

void TWinControl::DefaultHandler(TMessage& m)
{
    if (!handle_ || IsFrameworkMessage(m.Msg))
        return;
    m.Result = ownClass_ ? DefWindowProcW(handle_, m.Msg, m.WParam, m.LParam)
                         : DefSubclassProc(handle_, m.Msg, m.WParam, m.LParam);
}
