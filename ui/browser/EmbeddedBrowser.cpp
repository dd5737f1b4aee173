#include "ui/browser/EmbeddedBrowser.h"

#include <commctrl.h>
#include <exdispid.h>
#include <shlwapi.h>

#include <algorithm>
#include <cctype>
#include <cstdint>

#include "framework/CodePage.h"
#include "framework/DialogMark.h"
#include "framework/Messages.h"
#include "framework/ScopedWin.h"
#include "framework/ExceptionBoundary.h"
#include "framework/Forms.h"
#include "framework/SysUtils.h"
#include "framework/ole/OleError.h"
#include "ui/browser/WbControlComponent.h"
#include "ui/browser/WbTools.h"

namespace {

constexpr UINT CM_DOCWINDOWACTIVATE = 0xB000 + 60;
constexpr UINT_PTR kOwnerSubclassId = 0x57424F46;  // 'WBOF'
constexpr UINT_PTR kInnerSubclassId = 0x5742494E;  // 'WBIN'
const char kAgentBase[] = "User-agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1; SV1)";
const wchar_t kPostPlatform[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\User Agent\\Post Platform";

void SetFpuControlWord(uint16_t word)
{
    __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word));
}

// Process-wide state of the browser part.
struct TBrowserUnit {
    uint16_t defaultFpu = 0;
    bool proxyApplied = false;
    bool soundsOff = false;
    bool ownerSubclassed = false;
    bool oleStarted = false;

    TBrowserUnit()
    {
        defaultFpu = FpuControlWord();
        oleStarted = SUCCEEDED(OleInitialize(nullptr));
        GlobalWbControl();
    }
    ~TBrowserUnit()
    {
        if (proxyApplied)
            RestoreConnectionProxy();
        if (soundsOff)
            SetNavigationSound(false);
        SetFpuControlWord(defaultFpu);
        GlobalWbControl().MouseWheelFix().SetActive(false);
        GlobalWbControl().FocusControl().SetActive(false);
        if (oleStarted)
            OleUninitialize();
    }
};

TBrowserUnit& Unit()
{
    static TBrowserUnit unit;
    return unit;
}

// Starts with the program, before any window exists.
[[maybe_unused]] const bool g_unitStarted = (Unit(), true);

std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string WithoutLineBreaks(std::string text)
{
    text.erase(std::remove_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }), text.end());
    return text;
}

UINT ShiftState()
{
    UINT shift = 0;
    if (GetKeyState(VK_SHIFT) < 0) shift |= MK_SHIFT;
    if (GetKeyState(VK_CONTROL) < 0) shift |= MK_CONTROL;
    return shift;
}

const UINT kMenuItemCommands[] = {2282, 2283, 2263, 2264, 2265, 2278, 31, 26, 2266,
                                  2261, 2292, 2300, 2139, 28,   27,   2137, 2136};

}  // namespace

// The x87 control word itself (the runtime's _control87 speaks in its own flag values).
uint16_t FpuControlWord()
{
    uint16_t word = 0;
    __asm__ volatile("fnstcw %0" : "=m"(word));
    return word;
}

void TDisableErrors::SetfpExceptions(bool value)
{
    fpExceptions_ = value;
    // Pages with scripts that divide by zero must not bring the program down.
    SetFpuControlWord(value ? Unit().defaultFpu : 0x133F);
}

TEmbeddedBrowser::TEmbeddedBrowser(TComponent* owner)
    : TCustomEmbeddedBrowser(owner),
      disableErrors_(new TDisableErrors),
      dialogBoxes_(new TDialogBoxes),
      visualEffects_(new TVisualEffects),
      proxySettings_(new TProxySettings),
      printOptions_(new TPrintOptions)
{
    printOptions_->HTMLHeader.Add("<HTML></HTML>");
    xpSp2_ = IsXpSp2OrNewer();
    blockLoneMoves_ = !xpSp2_;
    userAgentProvider_ = [this](std::string& agent) {
        if (userAgentMode_ != TUserAgentMode::uaInternal || userAgent_.empty())
            return false;
        agent = userAgent_;
        return true;
    };
    browserWindowNotify_ = [this] { InstallInnerFocusFixes(); };
    TFocusControl::AttachToApplication();
}

TEmbeddedBrowser::~TEmbeddedBrowser()
{
    // Nothing may read the options once they go: the owner form's subclass first, then the
    // control's calls into this object, then the options themselves.
    GuardedCall([&] {
        RemoveOwnerSubclass();
        RemoveInnerFocusFixes();
        if (visualEffects_->TextSize != 2 && HasHtmlDocument())
            SetZoom(2);
    });
    zoneManager_.Reset();
    securityManager_.Reset();
    BeginDestroy();
    GuardedCall([&] { RemoveRegistryUserAgent(); });
    ForgetActiveBrowser(this);
    delete printOptions_;
    delete dialogBoxes_;
    delete disableErrors_;
    delete proxySettings_;
    delete visualEffects_;
    protocol_->Release();
}

std::string TEmbeddedBrowser::About() const { return "TEmbeddedBrowser - Vidudo browser pane"; }

void TEmbeddedBrowser::Loaded()
{
    TCustomEmbeddedBrowser::Loaded();
    EnableMessageHandler = true;
    IServiceProvider* site = static_cast<IServiceProvider*>(Host().Site());
    if (!securityManager_)
        CoInternetCreateSecurityManager(site, securityManager_.Out(), 0);
    if (!zoneManager_)
        CoInternetCreateZoneManager(site, zoneManager_.Out(), 0);
    if (disableErrors_->ScriptErrorsSuppressed)
        ScriptErrorAction = TScriptErrorAction::eaContinue;
    disableErrors_->SetfpExceptions(disableErrors_->fpExceptions());
    InstallOwnerSubclass();
    if (proxySettings_->AutoLoadProxy) {
        const TProxySettings& p = *proxySettings_;
        Unit().proxyApplied = p.UserName.empty()
                                  ? ApplyConnectionProxy(p.UserAgent, p.Address + ":" + std::to_string(p.Port))
                                  : ApplyConnectionProxyWithLogin(p.UserAgent, p.Address, p.UserName, p.Password, p.Port);
    }
    if (visualEffects_->DisableSounds) {
        const std::string major = BrowserMajorVersion();
        const bool number = !major.empty() && major.find_first_not_of("0123456789") == std::string::npos;
        if (!number || std::stoi(major) < 7)
            SetNavigationSound(true);
        else
            SetInternetFeature(21, 2, true);
        Unit().soundsOff = true;
    }
}

void TEmbeddedBrowser::SetVisible(bool visible)
{
    if (visible == Visible())
        return;
    TCustomEmbeddedBrowser::SetVisible(visible);
    if (OnVisible)
        OnVisible(this, visible);
}

void TEmbeddedBrowser::SetFocus()
{
    if (CanFocus())
        TCustomEmbeddedBrowser::SetFocus();
}

void TEmbeddedBrowser::CreateWnd()
{
    TCustomEmbeddedBrowser::CreateWnd();
    // The owner form may get its window only now, after loading.
    if (!loading_)
        InstallOwnerSubclass();
}

// --- navigation and waiting ---

bool TEmbeddedBrowser::HasHtmlDocument()
{
    if (!Host().Created())
        return false;
    TComPtr<IDispatch> document = Host().GetDispatchProp(203);
    if (!document)
        return false;
    IDispatch* fromBrowser = nullptr;
    if (FAILED(DefaultInterface()->get_Document(&fromBrowser)) || !fromBrowser)
        return false;
    TComPtr<IDispatch> held = TComPtr<IDispatch>::Adopt(fromBrowser);
    return static_cast<bool>(held.As<IHTMLDocument2>(IID_IHTMLDocument2));
}

bool TEmbeddedBrowser::GoAboutBlank(bool wait)
{
    Navigate(L"about:blank");
    return wait ? WaitWhileBusy() : true;
}

bool TEmbeddedBrowser::NavigateTo(const std::string& text, DWORD timeout)
{
    const std::wstring wide = GbkToWide(text);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (!text.empty() && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Navigate(L"file:///" + wide);
        return true;
    }
    if (Trim(text).empty())
        return true;
    ScopedVariant url;
    V_VT(&url) = VT_BSTR;
    V_BSTR(&url) = SysAllocString(wide.c_str());
    VARIANT zero[4];
    for (VARIANT& v : zero) {
        V_VT(&v) = VT_I4;
        V_I4(&v) = 0;
    }
    Navigate2(&url, &zero[0], &zero[1], &zero[2], &zero[3]);
    return timeout ? WaitWhileBusy(timeout) : true;
}

static bool ProcessPendingMessages()
{
    // The application's own processing: key preview, F-keys, Tab, mouse enter and leave all
    // keep working while a page is awaited.
    if (Application) {
        MSG peek;
        if (!PeekMessageW(&peek, nullptr, 0, 0, PM_NOREMOVE)) {
            if (Application->OnIdle)
                GuardedCall([] { Application->OnIdle(Application); });
            return !Application->Terminated();
        }
        Application->ProcessMessages();
        return !Application->Terminated();
    }
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));  // the loop above ours still ends
            return false;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return true;
}

bool TEmbeddedBrowser::PumpUntil(const std::function<bool()>& done, DWORD timeout, bool askHandler)
{
    DWORD limit = timeout ? timeout : kDefaultWait;
    const DWORD start = GetTickCount();
    waitEnded_ = false;
    for (;;) {
        if (Destroying() || !Host().Created())
            return false;
        if (done())
            return true;
        bool cancel = false;
        if (askHandler && OnBusyWait)
            OnBusyWait(this, start, cancel, limit);
        if (!limit)
            limit = kDefaultWait;  // a handler can move the bound, not remove it
        const DWORD passed = GetTickCount() - start;
        if (cancel || waitEnded_ || passed >= limit)
            return false;
        if (!ProcessPendingMessages())
            return false;
        if (waitEnded_ || Destroying())
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(50, limit - passed), QS_ALLINPUT);
    }
}

bool TEmbeddedBrowser::WaitWhileBusy(DWORD timeout)
{
    if (!HandleAllocated())
        return true;
    return PumpUntil(
        [&] {
            READYSTATE state = READYSTATE_UNINITIALIZED;
            return SUCCEEDED(DefaultInterface()->get_ReadyState(&state)) && state == READYSTATE_COMPLETE;
        },
        timeout, true);
}

bool TEmbeddedBrowser::WaitForHtmlDocument(DWORD timeout)
{
    if (!HandleAllocated())
        return false;
    return PumpUntil([&] { return HasHtmlDocument(); }, timeout, false);
}

void TEmbeddedBrowser::DispatchEvent(DISPID id, const TEventArgs& args)
{
    if (id == DISPID_NAVIGATEERROR || id == DISPID_ONQUIT)
        waitEnded_ = true;
    TCustomEmbeddedBrowser::DispatchEvent(id, args);
}

int TEmbeddedBrowser::LoadFromStrings(const TStringList& lines)
{
    try {
        const std::string text = lines.Text();
        TComPtr<IStream> stream = TComPtr<IStream>::Adopt(
            SHCreateMemStream(reinterpret_cast<const BYTE*>(text.data()), static_cast<UINT>(text.size())));
        if (!stream)
            return 1;
        return static_cast<int>(LoadFromStream(stream.Get()));
    } catch (...) {
        return 1;
    }
}

HRESULT TEmbeddedBrowser::LoadFromStream(IStream* stream)
{
    if (!HasHtmlDocument()) {
        Navigate(L"about:blank");
        // A fresh control needs a document before it can take text.
        WaitForHtmlDocument();
    }
    TComPtr<IHTMLDocument2> document = DocumentAsHtml();
    if (!document)
        OleCheck(E_UNEXPECTED);
    TComPtr<IPersistStreamInit> persist = document.As<IPersistStreamInit>(IID_IPersistStreamInit);
    if (!persist)
        OleCheck(E_NOINTERFACE);
    LARGE_INTEGER zero{};
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return persist->Load(stream);
}

void TEmbeddedBrowser::SetHTMLCode(const TStringList& lines)
{
    htmlCode_ = lines;
    if (htmlCode_.Count() != 1) {
        LoadFromStrings(htmlCode_);
        return;
    }
    const std::string head = Lower(htmlCode_[0].substr(0, 6));
    const std::string four = head.substr(0, 4);
    if (four == "http" || four == "www." || four == "ftp:" || four == "file" || head == "about:")
        NavigateTo(htmlCode_[0]);
    else
        LoadFromStrings(htmlCode_);
}

HRESULT TEmbeddedBrowser::GetHostInfo(DOCHOSTUIINFO* info)
{
    const HRESULT hr = TCustomEmbeddedBrowser::GetHostInfo(info);
    if (!info->pchHostCss && !HostCSS.empty())
        info->pchHostCss = TaskMemWideCopy(HostCSS);
    if (!info->pchHostNS && !HostNS.empty())
        info->pchHostNS = TaskMemWideCopy(HostNS);
    return hr;
}

// --- user agent ---

void TEmbeddedBrowser::SetUserAgent(const std::string& agent)
{
    const std::string clean = WithoutLineBreaks(agent);  // a header value holds no line breaks
    if (clean == userAgent_)
        return;
    userAgent_ = clean;
    ApplyUserAgentMode();
}

void TEmbeddedBrowser::SetUserAgentMode(TUserAgentMode mode)
{
    if (mode == userAgentMode_)
        return;
    userAgentMode_ = mode;
    ApplyUserAgentMode();
}

void TEmbeddedBrowser::ApplyUserAgentMode()
{
    switch (userAgentMode_) {
    case TUserAgentMode::uaDefault: RemoveRegistryUserAgent(); break;
    case TUserAgentMode::uaInternal:
        if (userAgent_ != internalAgent_) {
            RemoveRegistryUserAgent();
            internalAgent_ = userAgent_;
            Host().AmbientChanged(-5513);
        }
        break;
    case TUserAgentMode::uaRegistry: {
        const std::string name = std::string(kAgentBase) + "(" + userAgent_ + ")";
        if (name == registryAgent_)
            break;
        RemoveRegistryUserAgent();
        ScopedRegKey key;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kPostPlatform, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.Receive(),
                            nullptr) != ERROR_SUCCESS)
            break;
        const std::wstring wide = GbkToWide(name);
        if (RegSetValueExW(key, wide.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L""), sizeof(wchar_t)) ==
            ERROR_SUCCESS)
            registryAgent_ = name;
        break;
    }
    }
}

void TEmbeddedBrowser::RemoveRegistryUserAgent()
{
    if (registryAgent_.empty())
        return;
    // Only the value this component wrote goes; whatever else the key holds stays.
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kPostPlatform, 0, KEY_SET_VALUE, key.Receive()) == ERROR_SUCCESS)
        RegDeleteValueW(key, GbkToWide(registryAgent_).c_str());
    registryAgent_.clear();
}

// --- context menu ---

bool TEmbeddedBrowser::HasPopupMenuFilter() const
{
    return TCustomEmbeddedBrowser::HasPopupMenuFilter() || !DisabledPopupMenuItems.Empty();
}

void TEmbeddedBrowser::FilterPopupMenu(DWORD id, HMENU menu)
{
    TCustomEmbeddedBrowser::FilterPopupMenu(id, menu);
    for (size_t i = 0; i < std::size(kMenuItemCommands); ++i)
        if (DisabledPopupMenuItems.Contains(static_cast<TIEPopupMenuItem>(i)))
            DeleteMenu(menu, kMenuItemCommands[i], MF_BYCOMMAND);
}

// --- window procedure and keys ---

bool TEmbeddedBrowser::HandleKeyDown(WORD& key, LPARAM keyData)
{
    if (key == VK_LEFT || key == VK_UP || key == VK_RIGHT || key == VK_DOWN) {
        if (HWND list = FindChildWindow(L"SysListView32")) {
            const int focused = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
            const UINT direction = key == VK_LEFT ? LVNI_TOLEFT : key == VK_UP ? LVNI_ABOVE
                                 : key == VK_RIGHT ? LVNI_TORIGHT : LVNI_BELOW;
            const int next = focused < 0 ? -1 : ListView_GetNextItem(list, focused, direction);
            // Some list views answer a neighbour past the last item.
            if (next >= 0 && next != focused && next < ListView_GetItemCount(list)) {
                if (GetKeyState(VK_SHIFT) >= 0)
                    ListView_SetItemState(list, focused, 0, LVIS_SELECTED | LVIS_FOCUSED);
                ListView_SetItemState(list, next, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
                ListView_EnsureVisible(list, next, FALSE);
                SendMessageW(list, WM_SETFOCUS, 0, 0);
            }
            return true;  // also at the last item: nothing else moves
        }
    }
    (void)keyData;
    return false;
}

void TEmbeddedBrowser::WndProc(TMessage& m)
{
    switch (m.Msg) {
    case WM_CLOSE: {
        waitEnded_ = true;
        bool canClose = true;
        if (OnCloseQuery)
            OnCloseQuery(this, canClose);
        if (!canClose)
            return;
        break;
    }
    case CN_KEYDOWN: {
        WORD key = static_cast<WORD>(m.WParam);
        if (HandleKeyDown(key, m.LParam)) {
            m.Result = 1;
            return;
        }
        break;
    }
    case WM_WB_REACTIVATE:
        Reactivate();
        return;
    case WM_GETDLGCODE:
        m.Result = DLGC_WANTCHARS;
        return;
    case WM_SIZE:
        blockLoneMoves_ = !xpSp2_;
        break;
    case WM_WINDOWPOSCHANGING:
        if (blockLoneMoves_) {
            auto* pos = reinterpret_cast<WINDOWPOS*>(m.LParam);
            const UINT both = SWP_NOSIZE | SWP_NOMOVE;
            if ((pos->flags & both) == SWP_NOSIZE) {
                pos->flags |= SWP_NOMOVE;
                if (OnMove)
                    OnMove(this, pos->x, pos->y);
            } else if ((pos->flags & both) == SWP_NOMOVE) {
                pos->flags |= SWP_NOSIZE;
                if (OnResize)
                    OnResize(this, pos->cx, pos->cy);
            }
        }
        break;
    default: break;
    }
    if (!(m.Msg == CM_DOCWINDOWACTIVATE && Destroying()))
        TCustomEmbeddedBrowser::WndProc(m);
    if (EnableMessageHandler && m.Msg == CN_KEYDOWN && m.WParam == VK_RETURN)
        m.Result = 0;
    if (OnMessage) {
        MSG msg{handle_, m.Msg, m.WParam, m.LParam, static_cast<DWORD>(GetMessageTime()), {}};
        bool handled = (m.Result & 0xFF) != 0;
        OnMessage(this, msg, handled);
        m.Result = handled ? 1 : 0;
    }
    // A click in the page reaches the pane as a parent notification of the button press.
    if (m.Msg == WM_PARENTNOTIFY && (LOWORD(m.WParam) == WM_LBUTTONDOWN || LOWORD(m.WParam) == WM_RBUTTONDOWN) &&
        OnClick)
        OnClick(this, LOWORD(m.WParam) == WM_RBUTTONDOWN, ShiftState(), static_cast<short>(LOWORD(m.LParam)),
                static_cast<short>(HIWORD(m.LParam)));
}

// --- owner form and dialogs ---

void TEmbeddedBrowser::InstallOwnerSubclass()
{
    if (Unit().ownerSubclassed || !handle_)
        return;
    owner_ = FormHandle();
    if (!owner_ || !SetWindowSubclass(owner_, OwnerProc, kOwnerSubclassId, reinterpret_cast<DWORD_PTR>(this)))
        return;
    Unit().ownerSubclassed = true;
    ownsOwnerSubclass_ = true;
}

void TEmbeddedBrowser::RemoveOwnerSubclass()
{
    if (!ownsOwnerSubclass_)
        return;
    if (IsWindow(owner_))
        RemoveWindowSubclass(owner_, OwnerProc, kOwnerSubclassId);
    ownsOwnerSubclass_ = false;
    Unit().ownerSubclassed = false;
    owner_ = nullptr;
}

LRESULT CALLBACK TEmbeddedBrowser::OwnerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR data)
{
    auto* self = reinterpret_cast<TEmbeddedBrowser*>(data);
    if (msg == WM_ACTIVATE && LOWORD(wParam) == WA_INACTIVE && lParam)
        GuardedCall([&] { self->HandleDialog(reinterpret_cast<HWND>(lParam)); });
    if (msg == CM_DIALOGCHAR)
        return 0;
    if (msg == WM_NCDESTROY) {
        RemoveWindowSubclass(window, OwnerProc, kOwnerSubclassId);
        self->ownsOwnerSubclass_ = false;
        Unit().ownerSubclassed = false;
    }
    return DefSubclassProc(window, msg, wParam, lParam);
}

void TEmbeddedBrowser::HandleDialog(HWND dialog)
{
    // The browser raises its dialogs in this process; the program marks its own.
    DWORD process = 0;
    GetWindowThreadProcessId(dialog, &process);
    if (!IsWindow(dialog) || process != GetCurrentProcessId() || IsProgramDialog(dialog))
        return;
    const std::wstring cls = WindowClassNameW(dialog);
    if (cls != L"#32770" && cls != L"Internet Explorer_TridentDlgFrame")
        return;
    const int length = GetWindowTextLengthW(dialog);
    std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
    caption.resize(static_cast<size_t>(std::max(0, GetWindowTextW(dialog, caption.data(), length + 1))));
    const LONG exStyle = GetWindowLongW(dialog, GWL_EXSTYLE);
    TDialogBoxes& boxes = *dialogBoxes_;
    if (OnShowDialog)
        OnShowDialog(this, dialog, exStyle, caption, boxes.NewCaption, boxes.DisableAll);
    if (boxes.DisableAll)
        SendMessageW(dialog, WM_CLOSE, 0, 0);
    if (!IsWindow(dialog))
        return;
    if (boxes.ReplaceIcon) {
        HICON icon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        if (!icon)
            icon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
        SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    }
    if (boxes.ReplaceCaption) {
        std::wstring text = caption;
        const size_t ms = text.find(L"Microsoft ");
        if (ms != std::wstring::npos)
            text.erase(ms, 10);
        const size_t ie = text.find(L"Internet Explorer");
        if (ie != std::wstring::npos)
            text.replace(ie, 17, boxes.NewCaption);
        SetWindowTextW(dialog, text.c_str());
    }
    if (disableErrors_->ScriptErrorsSuppressed) {
        std::wstring upper = caption;
        CharUpperBuffW(upper.data(), static_cast<DWORD>(upper.size()));
        if (upper.find(L"SCRIPT") != std::wstring::npos) {
            PostMessageW(dialog, WM_LBUTTONDOWN, MK_LBUTTON, 0);
            PostMessageW(dialog, WM_LBUTTONUP, 0, 0);
            SendMessageW(dialog, WM_CLOSE, 0, 0);
            ProcessPendingMessages();
        } else if (upper.find(L"ERROR") != std::wstring::npos || exStyle == 0x410101) {
            DestroyWindow(dialog);
        }
    }
}

// --- focus fixes of the inner windows ---

void TEmbeddedBrowser::InstallInnerFocusFixes()
{
    if (inner_[0] || inner_[1] || !ControlWindow())
        return;
    if (HWND list = FindChildWindow(L"SysListView32")) {
        inner_[0] = list;
    } else {
        inner_[1] = GetWindow(ControlWindow(), GW_CHILD);
        inner_[2] = inner_[1] ? GetWindow(inner_[1], GW_CHILD) : nullptr;
    }
    for (HWND w : inner_)
        if (w)
            SetWindowSubclass(w, InnerProc, kInnerSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void TEmbeddedBrowser::RemoveInnerFocusFixes()
{
    for (HWND& w : inner_) {
        if (w && IsWindow(w))
            RemoveWindowSubclass(w, InnerProc, kInnerSubclassId);
        w = nullptr;
    }
}

LRESULT CALLBACK TEmbeddedBrowser::InnerProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                             DWORD_PTR data)
{
    auto* self = reinterpret_cast<TEmbeddedBrowser*>(data);
    const LRESULT result = DefSubclassProc(window, msg, wParam, lParam);
    GuardedCall([&] {
        if (msg == WM_DESTROY) {
            self->RemoveInnerFocusFixes();
        } else if (msg == WM_SETFOCUS) {
            SetFormActiveBrowser(self->FormHandle(), self);
            if (window != self->inner_[0])
                self->UIActivate();
        }
    });
    return result;
}

void TEmbeddedBrowser::Reactivate()
{
    if (!handle_ || !IsWindowVisible(handle_) || !IsWindowEnabled(handle_))
        return;
    SetFormActiveBrowser(FormHandle(), this);
    UIActivate();
}

bool LoadPrintOptionsFromRegistry(TPrintOptions& options)
{
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\PageSetup", 0, KEY_READ,
                      key.Receive()) != ERROR_SUCCESS)
        return false;
    auto read = [&](const wchar_t* name, const std::string& fallback) {
        wchar_t data[512] = {};
        DWORD size = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
            (type != REG_SZ && type != REG_EXPAND_SZ))
            return fallback;
        return WideToGbk(data);
    };
    auto margin = [&](const wchar_t* name) {
        std::string text = read(name, "0.750000");
        text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
        double inches = 0.75;
        if (!TryStrToFloat(text, inches, '.'))
            inches = 0.75;
        return options.Inches ? inches : inches * 25.4;
    };
    options.Header = read(L"header", "");
    options.Footer = read(L"footer", "");
    options.Margins.Left = margin(L"margin_left");
    options.Margins.Right = margin(L"margin_right");
    options.Margins.Top = margin(L"margin_top");
    options.Margins.Bottom = margin(L"margin_bottom");
    return true;
}
