// TWinControl's message handling: reflection of child notifications, keys, focus, mouse
// tracking and the framework's own notifications.

#include <windowsx.h>

#include "framework/Controls.h"
#include "framework/Forms.h"
#include "framework/Menus.h"

namespace {

bool IsFrameworkMessage(UINT msg) { return msg >= CM_BASE && msg < 0xC000; }

}  // namespace

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

void TWinControl::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_COMMAND:
        if (m.LParam) {
            TWinControl* child = FromHandle(reinterpret_cast<HWND>(m.LParam));
            if (child && child != this) {
                m.Result = child->Perform(CN_COMMAND, m.WParam, m.LParam);
                return;
            }
        } else if (HIWORD(m.WParam) == 0 && HandleMenuCommand(LOWORD(m.WParam))) {
            return;
        }
        break;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(m.LParam);
        TWinControl* child = hdr ? FromHandle(hdr->hwndFrom) : nullptr;
        if (child && child != this) {
            m.Result = child->Perform(CN_NOTIFY, m.WParam, m.LParam);
            return;
        }
        break;
    }
    case WM_DRAWITEM: {
        auto* dis = reinterpret_cast<DRAWITEMSTRUCT*>(m.LParam);
        if (dis->CtlType == ODT_MENU) {
            if (HandleMenuDrawItem(*dis)) {
                m.Result = 1;
                return;
            }
            break;
        }
        TWinControl* child = FromHandle(dis->hwndItem);
        if (child && child != this) {
            m.Result = child->Perform(CN_DRAWITEM, m.WParam, m.LParam);
            return;
        }
        break;
    }
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(m.LParam);
        if (mis->CtlType == ODT_MENU) {
            if (HandleMenuMeasureItem(*mis)) {
                m.Result = 1;
                return;
            }
            break;
        }
        TWinControl* child = handle_ ? FromHandle(GetDlgItem(handle_, static_cast<int>(mis->CtlID))) : nullptr;
        if (child && child != this) {
            m.Result = child->Perform(CN_MEASUREITEM, m.WParam, m.LParam);
            return;
        }
        break;
    }
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORSTATIC: {
        TWinControl* child = FindOwningControl(reinterpret_cast<HWND>(m.LParam));
        if (child && child != this) {
            m.Result = child->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
            return;
        }
        break;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
        if (m.LParam) {
            TWinControl* child = FromHandle(reinterpret_cast<HWND>(m.LParam));
            if (child && child != this) {
                m.Result = child->Perform(CN_BASE + m.Msg, m.WParam, m.LParam);
                return;
            }
        }
        break;
    case CN_CTLCOLORBTN:
    case CN_CTLCOLOREDIT:
    case CN_CTLCOLORLISTBOX:
    case CN_CTLCOLORSTATIC:
        m.Result = CtlColor(reinterpret_cast<HDC>(m.WParam));
        return;
    case CN_KEYDOWN:
    case CN_SYSKEYDOWN:
    case CN_KEYUP:
    case CN_SYSKEYUP:
    case CN_CHAR:
        KeyNotification(m);
        return;
    case CM_ENTER:
        DoEnter();
        return;
    case CM_EXIT:
        DoExit();
        return;
    case WM_SETFOCUS:
        DefaultHandler(m);
        if (TCustomForm* form = ParentForm(); form && form != this)
            form->SetFocusedControl(this);
        return;
    case WM_SETTEXT:
        DefaultHandler(m);
        Perform(CM_TEXTCHANGED);
        return;
    case WM_ERASEBKGND:
        if (defWndProc_ == DefWindowProcW) {
            RECT r;
            GetClientRect(handle_, &r);
            ::FillRect(reinterpret_cast<HDC>(m.WParam), &r, BackgroundBrush());
            m.Result = 1;
            return;
        }
        break;
    case WM_PAINT:
        if (HasOwnPaint()) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(handle_, &ps);
            TCanvas canvas;
            canvas.SetHandle(dc);
            canvas.Font().Assign(font_);
            Paint(canvas);
            canvas.SetHandle(nullptr);
            EndPaint(handle_, &ps);
            return;
        }
        break;
    case WM_MOUSEMOVE:
        // Enter and leave come from the application's loop, which sees inner windows too.
        DefaultHandler(m);
        if (OnMouseMove)
            OnMouseMove(this, KeysToShiftState(m.WParam), GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam));
        return;
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
        if (m.Msg == WM_LBUTTONUP && defWndProc_ == DefWindowProcW && handle_) {
            RECT r;
            GetClientRect(handle_, &r);
            if (x >= 0 && y >= 0 && x < r.right && y < r.bottom)
                Click();
        }
        return;
    }
    case WM_LBUTTONDBLCLK:
        DefaultHandler(m);
        if (defWndProc_ == DefWindowProcW)
            DblClick();
        return;
    case WM_INITMENUPOPUP:
        HandleInitMenuPopup(reinterpret_cast<HMENU>(m.WParam));
        break;
    case WM_CONTEXTMENU:
        if (PopupMenu) {
            POINT pt{GET_X_LPARAM(m.LParam), GET_Y_LPARAM(m.LParam)};
            if (pt.x == -1 && pt.y == -1)
                GetCursorPos(&pt);
            PopupMenu->Popup(pt.x, pt.y);
            return;
        }
        break;
    case WM_SIZE:
        DefaultHandler(m);
        UpdateBounds();
        AlignControls();
        if (OnResize)
            OnResize(this);
        return;
    case WM_MOVE:
        DefaultHandler(m);
        UpdateBounds();
        return;
    case WM_DESTROY:
        text_ = Text();  // a recreated window shows what the user left in it
        DestroyingHandle();
        DefaultHandler(m);
        if (nameAtom_) {
            RemovePropW(handle_, kComponentNameProp);
            GlobalDeleteAtom(nameAtom_);
            nameAtom_ = 0;
        }
        return;
    case WM_NCDESTROY: {
        HWND h = handle_;
        DefaultHandler(m);
        WindowDestroyed(h);
        return;
    }
    default:
        break;
    }
    TControl::WndProc(m);
}

void TWinControl::DefaultHandler(TMessage& m)
{
    if (!handle_ || !defWndProc_ || IsFrameworkMessage(m.Msg))
        return;
    m.Result = CallWindowProcW(defWndProc_, handle_, m.Msg, m.WParam, m.LParam);
}
