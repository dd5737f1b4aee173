#include "tests/support/UiDriver.h"

#include <commctrl.h>

#include <algorithm>
#include <thread>

#include "framework/CodePage.h"
#include "framework/Forms.h"
#include "framework/Messages.h"
#include "framework/SysUtils.h"
#include "tests/support/PumpUntil.h"

namespace ui {

std::string ComponentName(HWND window)
{
    const auto atom = static_cast<ATOM>(reinterpret_cast<UINT_PTR>(GetPropW(window, kComponentNameProp)));
    if (!atom)
        return {};
    wchar_t buffer[256] = {};
    const UINT n = GlobalGetAtomNameW(atom, buffer, 256);
    const std::wstring_view text(buffer, n);
    const std::wstring_view prefix(kComponentNamePrefix);
    if (text.substr(0, prefix.size()) != prefix)
        return {};
    return WideToGbk(text.substr(prefix.size()));
}

namespace {

struct Search {
    std::string name;
    HWND found = nullptr;
};

BOOL CALLBACK MatchChild(HWND w, LPARAM l)
{
    auto* s = reinterpret_cast<Search*>(l);
    if (SameText(ComponentName(w), s->name)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND FindUnder(HWND root, const std::string& name)
{
    if (SameText(ComponentName(root), name))
        return root;
    Search s{name};
    EnumChildWindows(root, MatchChild, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

struct TopLevel {
    DWORD pid;
    std::wstring cls;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectTopLevel(HWND w, LPARAM l)
{
    auto* t = reinterpret_cast<TopLevel*>(l);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if (pid != t->pid)
        return TRUE;
    if (!t->cls.empty()) {
        wchar_t cls[256] = {};
        GetClassNameW(w, cls, 256);
        if (t->cls != cls)
            return TRUE;
    }
    t->windows.push_back(w);
    return TRUE;
}

// Input reaches the queue asynchronously: pump until none of it is left, so that a check
// right after an action sees its effect even on a busy machine.
void DrainInput()
{
    Pump(30);
    const DWORD end = GetTickCount() + 1000;
    while (HIWORD(GetQueueStatus(QS_INPUT)) != 0 && static_cast<int>(end - GetTickCount()) > 0)
        Pump(10);
    Pump(10);
}

void SendMouse(DWORD flags)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dwFlags = flags;
    SendInput(1, &in, sizeof(in));
}

POINT ScreenPoint(HWND window, int x, int y)
{
    RECT r;
    GetClientRect(window, &r);
    POINT p{x < 0 ? r.right / 2 : x, y < 0 ? r.bottom / 2 : y};
    ClientToScreen(window, &p);
    return p;
}

void MoveTo(POINT p)
{
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = MulDiv(p.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    in.mi.dy = MulDiv(p.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &in, sizeof(in));
    SetCursorPos(p.x, p.y);
}

void SendKey(WORD vk, bool up)
{
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &in, sizeof(in));
}

// A buffer in the process that owns a window, for messages that carry pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HWND window, size_t size) : size_(size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid == GetCurrentProcessId()) {
            local_.resize(size);
            return;
        }
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_)
            remote_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    }
    ~RemoteBuffer()
    {
        if (remote_)
            VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    bool Ok() const { return !local_.empty() || remote_; }
    char* Address() { return remote_ ? static_cast<char*>(remote_) : local_.data(); }
    void Write(size_t offset, const void* data, size_t n)
    {
        if (remote_)
            WriteProcessMemory(process_, Address() + offset, data, n, nullptr);
        else
            memcpy(local_.data() + offset, data, n);
    }
    void Read(size_t offset, void* data, size_t n)
    {
        if (remote_)
            ReadProcessMemory(process_, Address() + offset, data, n, nullptr);
        else
            memcpy(data, local_.data() + offset, n);
    }

private:
    size_t size_;
    std::vector<char> local_;
    HANDLE process_ = nullptr;
    void* remote_ = nullptr;
};

constexpr int kTextChars = 1024;

std::string ListViewCell(HWND lv, RemoteBuffer& buffer, int row, int column)
{
    LVITEMW item{};
    item.iSubItem = column;
    item.cchTextMax = kTextChars;
    item.pszText = reinterpret_cast<LPWSTR>(buffer.Address() + sizeof(LVITEMW));
    buffer.Write(0, &item, sizeof(item));
    const int n = static_cast<int>(SendMessageW(lv, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(buffer.Address())));
    std::wstring text(static_cast<size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0)
        buffer.Read(sizeof(LVITEMW), text.data(), static_cast<size_t>(n) * sizeof(wchar_t));
    return WideToGbk(text);
}

}  // namespace

std::vector<HWND> TopLevelWindows(DWORD pid, const std::wstring& className)
{
    TopLevel t{pid ? pid : GetCurrentProcessId(), className, {}};
    EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&t));
    return t.windows;
}

HWND FindByName(const std::string& name, HWND root, DWORD pid)
{
    if (root)
        return FindUnder(root, name);
    for (HWND w : TopLevelWindows(pid))
        if (HWND found = FindUnder(w, name))
            return found;
    return nullptr;
}

void Pump(int ms)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    do {
        if (Application) {
            Application->ProcessMessages();
        } else {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
        if (ms > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (static_cast<int>(end - GetTickCount()) > 0);
}

bool WaitFor(const std::function<bool()>& done, int timeoutMs)
{
    return PumpUntil(done, static_cast<DWORD>(std::max(0, timeoutMs)), [] { Pump(); });
}

void Activate(HWND window)
{
    HWND top = GetAncestor(window, GA_ROOT);
    SetForegroundWindow(top);
    SetActiveWindow(top);
    if (window != top)
        SetFocus(window);
    Pump(30);
}

void MoveMouse(HWND window, int x, int y)
{
    MoveTo(ScreenPoint(window, x, y));
    Pump(30);
}

void Click(HWND window, int x, int y)
{
    MoveTo(ScreenPoint(window, x, y));
    SendMouse(MOUSEEVENTF_LEFTDOWN);
    SendMouse(MOUSEEVENTF_LEFTUP);
    DrainInput();
}

void RightClick(HWND window, int x, int y)
{
    MoveTo(ScreenPoint(window, x, y));
    SendMouse(MOUSEEVENTF_RIGHTDOWN);
    SendMouse(MOUSEEVENTF_RIGHTUP);
    DrainInput();
}

void DoubleClick(HWND window, int x, int y)
{
    MoveTo(ScreenPoint(window, x, y));
    for (int i = 0; i < 2; ++i) {
        SendMouse(MOUSEEVENTF_LEFTDOWN);
        SendMouse(MOUSEEVENTF_LEFTUP);
    }
    DrainInput();
}

void PressKey(WORD vk, std::initializer_list<WORD> modifiers)
{
    for (WORD m : modifiers)
        SendKey(m, false);
    SendKey(vk, false);
    SendKey(vk, true);
    for (auto it = modifiers.end(); it != modifiers.begin();)
        SendKey(*--it, true);
    DrainInput();
}

void PressKeys(std::initializer_list<WORD> keys)
{
    for (WORD k : keys) {
        SendKey(k, false);
        SendKey(k, true);
    }
    DrainInput();
}

void QueueKeys(std::initializer_list<WORD> keys)
{
    for (WORD k : keys) {
        SendKey(k, false);
        SendKey(k, true);
    }
}

void TypeText(const std::string& text)
{
    for (wchar_t c : GbkToWide(text)) {
        INPUT in[2] = {};
        for (int i = 0; i < 2; ++i) {
            in[i].type = INPUT_KEYBOARD;
            in[i].ki.wScan = c;
            in[i].ki.dwFlags = KEYEVENTF_UNICODE | (i ? KEYEVENTF_KEYUP : 0);
        }
        SendInput(2, in, sizeof(INPUT));
    }
    DrainInput();
}

std::string WindowText(HWND window)
{
    const int n = static_cast<int>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
    std::wstring w(static_cast<size_t>(n) + 1, L'\0');
    const int got = static_cast<int>(SendMessageW(window, WM_GETTEXT, static_cast<WPARAM>(n + 1), reinterpret_cast<LPARAM>(w.data())));
    w.resize(static_cast<size_t>(got > 0 ? got : 0));
    return WideToGbk(w);
}

std::vector<std::vector<std::string>> ListViewRows(HWND lv)
{
    std::vector<std::vector<std::string>> rows;
    RemoteBuffer buffer(lv, sizeof(LVITEMW) + kTextChars * sizeof(wchar_t));
    if (!buffer.Ok())
        return rows;
    HWND header = reinterpret_cast<HWND>(SendMessageW(lv, LVM_GETHEADER, 0, 0));
    const int columns = std::max(1, static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)));
    const int count = static_cast<int>(SendMessageW(lv, LVM_GETITEMCOUNT, 0, 0));
    for (int r = 0; r < count; ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c)
            row.push_back(ListViewCell(lv, buffer, r, c));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> ListViewColumns(HWND lv)
{
    std::vector<std::string> out;
    RemoteBuffer buffer(lv, sizeof(LVCOLUMNW) + kTextChars * sizeof(wchar_t));
    if (!buffer.Ok())
        return out;
    HWND header = reinterpret_cast<HWND>(SendMessageW(lv, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int c = 0; c < columns; ++c) {
        LVCOLUMNW col{};
        col.mask = LVCF_TEXT;
        col.cchTextMax = kTextChars;
        col.pszText = reinterpret_cast<LPWSTR>(buffer.Address() + sizeof(LVCOLUMNW));
        buffer.Write(0, &col, sizeof(col));
        std::vector<wchar_t> zero(kTextChars, 0);
        buffer.Write(sizeof(LVCOLUMNW), zero.data(), zero.size() * sizeof(wchar_t));
        SendMessageW(lv, LVM_GETCOLUMNW, static_cast<WPARAM>(c), reinterpret_cast<LPARAM>(buffer.Address()));
        buffer.Read(sizeof(LVCOLUMNW), zero.data(), zero.size() * sizeof(wchar_t));
        zero.back() = 0;
        out.push_back(WideToGbk(zero.data()));
    }
    return out;
}

MessageBoxRecorder::MessageBoxRecorder()
{
    previous_ = SetMessageBoxHook([this](const TMessageBoxRequest& r) {
        Seen.push_back(r);
        if (!Answers.empty()) {
            const TModalAnswer a = Answers.front();
            Answers.pop_front();
            return a;
        }
        return r.buttons == TMsgDlgButtons::YesNo ? TModalAnswer::Yes : TModalAnswer::Ok;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() { SetMessageBoxHook(previous_); }

HWND FindMessageBox(DWORD pid)
{
    auto boxes = TopLevelWindows(pid, L"#32770");
    for (HWND w : boxes)
        if (IsWindowVisible(w))
            return w;
    return nullptr;
}

std::string MessageBoxText(HWND box)
{
    // The box's text is its static control with id 0xFFFF.
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? WindowText(text) : std::string();
}

void AnswerMessageBox(HWND box, int buttonId)
{
    PostMessageW(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
}

COLORREF Screenshot::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width_ || y >= height_)
        return CLR_INVALID;
    const uint32_t p = pixels_[static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Screenshot::CountNot(const RECT& r, COLORREF colour) const
{
    int n = 0;
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (At(x, y) != colour && At(x, y) != CLR_INVALID)
                ++n;
    return n;
}

Screenshot Screenshot::Capture(HWND window, bool clientOnly)
{
    Screenshot s;
    RECT r;
    if (clientOnly)
        GetClientRect(window, &r);
    else
        GetWindowRect(window, &r);
    s.width_ = r.right - r.left;
    s.height_ = r.bottom - r.top;
    if (s.width_ <= 0 || s.height_ <= 0)
        return s;
    // The window's own pixels, not the screen's: another program's window on top of it (the
    // GUI tests of other programs may run meanwhile) does not show in the picture.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(20);
    HDC src = clientOnly ? GetDC(window) : GetWindowDC(window);
    HDC mem = CreateCompatibleDC(src);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = s.width_;
    bi.bmiHeader.biHeight = -s.height_;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(src, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, s.width_, s.height_, src, 0, 0, SRCCOPY);
    GdiFlush();
    s.pixels_.assign(static_cast<const uint32_t*>(bits), static_cast<const uint32_t*>(bits) + s.width_ * s.height_);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(window, src);
    return s;
}

bool Screenshot::SaveBmp(const std::string& path) const
{
    BITMAPFILEHEADER fh{};
    BITMAPINFOHEADER ih{};
    ih.biSize = sizeof(ih);
    ih.biWidth = width_;
    ih.biHeight = -height_;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    const DWORD bytes = static_cast<DWORD>(pixels_.size() * 4);
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof(fh) + sizeof(ih);
    fh.bfSize = fh.bfOffBits + bytes;
    HANDLE f = CreateFileW(GbkToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(f, &fh, sizeof(fh), &written, nullptr) && WriteFile(f, &ih, sizeof(ih), &written, nullptr) &&
              WriteFile(f, pixels_.data(), bytes, &written, nullptr);
    CloseHandle(f);
    return ok;
}

Program::Program(const std::string& exe, const std::string& arguments, const std::string& folder)
{
    std::wstring command = L"\"" + GbkToWide(exe) + L"\" " + GbkToWide(arguments);
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    const std::wstring dir = GbkToWide(folder);
    CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, dir.empty() ? nullptr : dir.c_str(), &si, &pi_);
    if (pi_.hProcess)
        WaitForInputIdle(pi_.hProcess, 10000);
}

Program::~Program()
{
    if (!pi_.hProcess)
        return;
    if (Running())
        TerminateProcess(pi_.hProcess, 1);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
}

bool Program::Running() const { return pi_.hProcess && WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

int Program::Wait(int timeoutMs)
{
    if (!pi_.hProcess || WaitForSingleObject(pi_.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
        return -1;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return static_cast<int>(code);
}

HWND Program::WaitForWindow(const std::string& name, int timeoutMs)
{
    HWND found = nullptr;
    WaitFor([&] { return (found = FindByName(name, nullptr, Pid())) != nullptr; }, timeoutMs);
    return found;
}

}  // namespace ui
