#pragma once
// Controls over Win32 windows: handle life cycle, parent and children, bounds, visibility,
// colour, font, focus, the replaceable WindowProc, reflection of child notifications and the
// framework's own control notifications.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/Classes.h"
#include "framework/Graphics.h"
#include "framework/Messages.h"
#include "framework/ScopedWin.h"

class TWinControl;
class TCustomForm;
class TPopupMenu;

enum class TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum class TAlignment { taLeftJustify, taRightJustify, taCenter };
enum class TMouseButton { mbLeft, mbRight, mbMiddle };
enum class TBorderStyle { bsNone, bsSingle };
enum class TBiDiMode { bdLeftToRight, bdRightToLeft };
enum TShiftFlag : unsigned { ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32, ssDouble = 64 };
using TShiftState = unsigned;

using TNotifyEvent = std::function<void(TObject* sender)>;
using TKeyEvent = std::function<void(TObject* sender, WORD& key, TShiftState shift)>;
using TKeyPressEvent = std::function<void(TObject* sender, char& key)>;
using TMouseEvent = std::function<void(TObject* sender, TMouseButton button, TShiftState shift, int x, int y)>;
using TMouseMoveEvent = std::function<void(TObject* sender, TShiftState shift, int x, int y)>;

TShiftState KeyboardShiftState();
TShiftState KeysToShiftState(WPARAM keys);

struct TCreateParams {
    std::wstring WinClassName;  // empty: the framework's own window class
    std::wstring Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
};

// A visual component. Every control of this framework owns a window (see TWinControl);
// TControl holds what does not depend on children.
class TControl : public TComponent {
    VIDUDO_CLASS(TControl, TComponent)
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;

    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);

    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int v) { SetBounds(v, top_, width_, height_); }
    void SetTop(int v) { SetBounds(left_, v, width_, height_); }
    void SetWidth(int v) { SetBounds(left_, top_, v, height_); }
    void SetHeight(int v) { SetBounds(left_, top_, width_, v); }
    virtual void SetBounds(int left, int top, int width, int height);
    RECT BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    virtual RECT ClientRect();
    int ClientWidth() { RECT r = ClientRect(); return r.right - r.left; }
    int ClientHeight() { RECT r = ClientRect(); return r.bottom - r.top; }

    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool visible);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible here and in every parent.
    bool Showing() const;

    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool enabled);

    TColor Color() const { return color_; }
    void SetColor(TColor color);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool value);
    TFont& Font() { return font_; }
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool value);

    // Caption and Text are the same window text.
    virtual std::string Text() const { return text_; }
    virtual void SetText(const std::string& text);
    std::string Caption() const { return Text(); }
    void SetCaption(const std::string& text) { SetText(text); }

    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& hint) { hint_ = hint; }
    bool ShowHint = false;
    bool ParentShowHint = true;
    TPopupMenu* PopupMenu = nullptr;
    TBiDiMode BiDiMode = TBiDiMode::bdLeftToRight;

    // Runs the control's current WindowProc, as if the message had been sent to its window.
    LRESULT Perform(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
    TWndMethod WindowProc;

    virtual void Invalidate();
    void Repaint();
    TCustomForm* ParentForm() const;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    TMouseMoveEvent OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TNotifyEvent OnResize;

    virtual void Click();
    virtual void DblClick();

protected:
    friend class TWinControl;
    virtual void WndProc(TMessage& message);
    virtual void DefaultHandler(TMessage& message);
    virtual void FontChanged();
    virtual void ColorChanged();
    // Copies the parent's font or colour when this control follows them.
    void ParentFontChanged();
    void ParentColorChanged();

    TWinControl* parent_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    TAlign align_ = TAlign::alNone;
    bool visible_ = true;
    bool enabled_ = true;
    TColor color_ = clBtnFace;
    bool parentColor_ = true;
    TFont font_;
    bool parentFont_ = true;
    bool followingParent_ = false;
    std::string text_;
    std::string hint_;
};

// A control with a window and children: tab order, focus, and the window's life cycle.
class TWinControl : public TControl {
    VIDUDO_CLASS(TWinControl, TControl)
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;

    HWND Handle();
    bool HandleAllocated() const { return handle_ != nullptr; }
    void HandleNeeded() { Handle(); }
    // Destroys the window and creates it again from the control's properties.
    void RecreateWnd();
    // The window if there is one; never creates it (Handle() does).
    operator HWND() const { return handle_; }

    int ControlCount() const { return static_cast<int>(controls_.size()); }
    TControl* Controls(int index) const { return controls_.at(static_cast<size_t>(index)); }
    bool ContainsControl(const TControl* control) const;

    int TabOrder() const;
    void SetTabOrder(int order);
    bool TabStop() const { return tabStop_; }
    void SetTabStop(bool value);

    bool CanFocus() const;
    bool Focused();
    virtual void SetFocus();
    // The next control in tab order inside this container after current (wrapping).
    TWinControl* FindNextControl(TWinControl* current, bool forward, bool checkTabStop);
    void SelectNext(TWinControl* current, bool forward, bool checkTabStop);

    bool Ctl3D() const { return ctl3D_; }
    void SetCtl3D(bool value);

    void SetName(const std::string& name) override;
    void SetBounds(int left, int top, int width, int height) override;
    void SetVisible(bool visible) override;
    void SetEnabled(bool enabled) override;
    // The window's text while there is a window, the stored text otherwise (see README).
    std::string Text() const override;
    void SetText(const std::string& text) override;
    RECT ClientRect() override;
    void Invalidate() override;
    void AlignControls();

    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;
    TKeyPressEvent OnKeyPress;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

    // The control whose window this is, or nullptr.
    static TWinControl* FromHandle(HWND window);
    // The control that owns a window: the window's own, else that of its nearest ancestor.
    static TWinControl* FindOwningControl(HWND window);

    // Calls the form's key preview and then OnKeyDown; true when the key was eaten.
    bool DoKeyDown(WORD& key, TShiftState shift);

protected:
    friend class TControl;
    friend LRESULT CALLBACK ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
    // Ties the window to this control (see FromHandle); Unbind unties it.
    void Bind(HWND window);
    void Unbind(HWND window);
    virtual void CreateParams(TCreateParams& params);
    virtual void CreateWnd();
    // After the window exists: push the model (items, state) into it.
    virtual void CreateHandleDone() {}
    virtual void DestroyWnd();
    // Hands the window out of the control without destroying it (a window kept alive while the
    // control has none, e.g. a parked browser); its messages then go to its own class again.
    HWND DetachHandle();
    // Takes such a window back as this control's window.
    void AttachHandle(HWND window);
    // Before the window goes: pull state the window holds into the model.
    virtual void DestroyingHandle() {}
    void WndProc(TMessage& message) override;
    void DefaultHandler(TMessage& message) override;
    virtual void DoEnter();
    virtual void DoExit();
    // Text, background and brush for WM_CTLCOLORxxx of this control.
    virtual LRESULT CtlColor(HDC dc);
    HBRUSH BackgroundBrush();
    virtual void Paint(TCanvas& canvas) {}
    virtual bool HasOwnPaint() const { return false; }
    // Dialog codes (DLGC_) the control wants beyond what its window class says.
    virtual UINT DialogCode() const { return 0; }
    void FontChanged() override;
    void ColorChanged() override;
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    void UpdateBounds();

    HWND handle_ = nullptr;
    bool ownClass_ = false;  // the framework's own window class, not a subclassed system control
    std::vector<TControl*> controls_;
    std::vector<TWinControl*> tabList_;
    bool tabStop_ = false;
    bool ctl3D_ = true;
    ScopedBrush brush_;  // the background for WM_CTLCOLOR..., made on first use
    ATOM nameAtom_ = 0;
    bool destroying_ = false;

private:
    void SetNameProperty();
    // The families of WndProc; each returns true when it has dealt with the message.
    bool ReflectToChild(TMessage& message);
    bool Reflect(TMessage& message, TWinControl* child, UINT reflected);
    bool MenuMessage(TMessage& message);
    bool PaintMessage(TMessage& message);
    bool KeyOrFocusMessage(TMessage& message);
    bool MouseMessage(TMessage& message);
    bool WindowMessage(TMessage& message);
    void KeyNotification(TMessage& message);
};

// A canvas over a control's client area, for painting outside WM_PAINT.
class TControlCanvas : public TCanvas {
public:
    ~TControlCanvas() override { FreeHandle(); }
    TWinControl* Control() const { return control_; }
    void SetControl(TWinControl* control);
    // Releases the device context; the next drawing gets a fresh one.
    void FreeHandle();

protected:
    void CreateHandle() override;

private:
    TWinControl* control_ = nullptr;
    HWND window_ = nullptr;
};

// The framework's own window class.
const wchar_t* FrameworkWindowClass();
