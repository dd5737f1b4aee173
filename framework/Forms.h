#pragma once
// Forms, the application object and the screen: showing and modal loops, focus tracking with
// OnEnter/OnExit, the key preview and shortcuts, and the hidden application window.

#include <windows.h>

#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "framework/Controls.h"

class TMainMenu;

using TModalResult = int;
constexpr TModalResult mrNone = 0, mrOk = IDOK, mrCancel = IDCANCEL, mrAbort = IDABORT, mrRetry = IDRETRY,
                       mrIgnore = IDIGNORE, mrYes = IDYES, mrNo = IDNO;

enum class TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
enum class TPosition { poDesigned, poDefault, poScreenCenter, poMainFormCenter, poOwnerFormCenter };
enum class TCloseAction { caNone, caHide, caFree, caMinimize };
enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

using TCloseEvent = std::function<void(TObject* sender, TCloseAction& action)>;
using TCloseQueryEvent = std::function<void(TObject* sender, bool& canClose)>;
using TShortCutEvent = std::function<void(WORD key, TShiftState shift, bool& handled)>;

class TCustomForm : public TWinControl {
    VIDUDO_CLASS(TCustomForm, TWinControl)
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;

    // Builders end with this: Loaded() on every component, then OnCreate.
    void AfterConstruction();

    void Show();
    TModalResult ShowModal();
    void Close();
    void Release();  // frees the form once the current message is done
    bool Modal() const { return modal_; }
    TModalResult ModalResult() const { return modalResult_; }
    void SetModalResult(TModalResult value) { modalResult_ = value; }
    void SetVisible(bool visible) override;

    TFormBorderStyle BorderStyle = TFormBorderStyle::bsSizeable;
    TPosition Position = TPosition::poDesigned;
    TWindowState WindowState = TWindowState::wsNormal;
    bool KeyPreview = false;
    void SetClientSize(int width, int height);

    TWinControl* ActiveControl() const { return activeControl_; }
    void SetActiveControl(TWinControl* control);
    // Called when a control of this form gets the focus: fires OnExit and OnEnter along the
    // containers between the old and the new control.
    void SetFocusedControl(TWinControl* control);
    bool Active() const;
    // Forgets a control that is going away (and its children) as the focused one.
    void ControlDestroyed(TWinControl* control);

    TMainMenu* Menu() const { return menu_; }
    void SetMenu(TMainMenu* menu);

    // OnShortCut, then true when it handled the key.
    bool IsShortCut(WORD key, TShiftState shift);
    // Tab moves the focus; Enter and Escape click the default and cancel buttons.
    bool DialogKey(WORD key, TShiftState shift);

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnActivate;
    TNotifyEvent OnDeactivate;
    TNotifyEvent OnDestroy;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TShortCutEvent OnShortCut;

protected:
    void CreateParams(TCreateParams& params) override;
    void CreateHandleDone() override;
    void WndProc(TMessage& message) override;
    virtual bool CloseQuery();
    void PlaceOnShow();

    TModalResult modalResult_ = mrNone;
    bool modal_ = false;
    TWinControl* activeControl_ = nullptr;
    TWinControl* focusedControl_ = nullptr;
    TWinControl* lastFocusedControl_ = nullptr;
    int focusCount_ = 0;
    TMainMenu* menu_ = nullptr;
    bool shownOnce_ = false;
};

class TForm : public TCustomForm {
    VIDUDO_CLASS(TForm, TCustomForm)
public:
    using TCustomForm::TCustomForm;
};

using TExceptionEvent = std::function<void(std::exception_ptr error)>;
using TMessageEvent = std::function<void(MSG& msg, bool& handled)>;
// Returns true when it handled the message of the application window.
using TWindowHook = std::function<bool(TMessage& message)>;

class TApplication : public TComponent {
    VIDUDO_CLASS(TApplication, TComponent)
public:
    TApplication();
    ~TApplication() override;

    HWND Handle() const { return handle_; }
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& title);
    TCustomForm* MainForm() const { return mainForm_; }
    void SetMainForm(TCustomForm* form) { mainForm_ = form; }

    // Shows the main form and runs the message loop until Terminate or WM_QUIT.
    void Run();
    void ProcessMessages();
    // Waits for a message and processes it.
    void HandleMessage();
    void Terminate();
    bool Terminated() const { return terminated_; }
    int ExitCode() const { return exitCode_; }

    // Shows the message of an exception caught at a callback boundary.
    void HandleException(std::exception_ptr error);
    void ShowException(std::exception_ptr error);

    void HookMainWindow(const TWindowHook* hook);
    void UnhookMainWindow(const TWindowHook* hook);

    TExceptionEvent OnException;
    TMessageEvent OnMessage;
    TNotifyEvent OnIdle;

private:
    friend LRESULT CALLBACK ApplicationWindowProc(HWND, UINT, WPARAM, LPARAM);
    bool ProcessMessage(MSG& msg);
    bool IsKeyMsg(MSG& msg);

    HWND handle_ = nullptr;
    std::string title_;
    TCustomForm* mainForm_ = nullptr;
    bool terminated_ = false;
    int exitCode_ = 0;
    std::vector<const TWindowHook*> hooks_;
};

// The one application object of the process, created by the program's start-up (or a test).
extern TApplication* Application;

class TScreen {
public:
    // The framework form that holds the active window of this thread, or nullptr.
    TCustomForm* ActiveForm() const;
    TWinControl* ActiveControl() const;
    int FormCount() const { return static_cast<int>(forms_.size()); }
    TCustomForm* Forms(int index) const { return forms_.at(static_cast<size_t>(index)); }

private:
    friend class TCustomForm;
    std::vector<TCustomForm*> forms_;
};

extern TScreen Screen;
