#include "tests/crashreport/capture/DialogDriver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "framework/CodePage.h"

namespace dlg {

namespace {

struct TFind {
    const std::vector<HWND>* seen;
    HWND found;
};

BOOL CALLBACK FindDialog(HWND w, LPARAM p)
{
    auto* f = reinterpret_cast<TFind*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    wchar_t cls[16] = {};
    GetClassNameW(w, cls, 16);
    if (pid == GetCurrentProcessId() && lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(w) &&
        std::find(f->seen->begin(), f->seen->end(), w) == f->seen->end()) {
        f->found = w;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

void Drive(const std::function<void()>& show, std::vector<TStep> steps, int timeoutMs)
{
    std::atomic<bool> done{false};
    std::vector<std::string> failures;
    std::thread driver([&] {
        std::vector<HWND> seen;
        for (size_t i = 0; i < steps.size(); ++i) {
            TFind find{&seen, nullptr};
            for (int waited = 0; !find.found && waited < timeoutMs && !done; waited += 10) {
                EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&find));
                if (!find.found)
                    Sleep(10);
            }
            if (!find.found) {
                failures.push_back("no dialog for step " + std::to_string(i));
                return;
            }
            seen.push_back(find.found);
            Sleep(50);  // let it finish its first paint
            steps[i](find.found);
        }
        // A step that failed before closing its dialog must not hang the test.
        for (int waited = 0; !done && waited < 3000; waited += 10)
            Sleep(10);
        for (int tries = 0; !done && tries < 50; ++tries) {
            failures.push_back("a dialog was left open");
            std::vector<HWND> none;
            TFind any{&none, nullptr};
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&any));
            if (any.found)
                PostMessageW(any.found, WM_COMMAND, IDCANCEL, 0);
            Sleep(100);
        }
    });
    show();
    done = true;
    driver.join();
    for (const std::string& f : failures)
        ADD_FAILURE() << f;
}

std::string WindowTitle(HWND w)
{
    wchar_t text[512] = {};
    GetWindowTextW(w, text, 512);
    return WideToGbk(text);
}

std::string Text(HWND dialog, int id) { return WindowTitle(GetDlgItem(dialog, id)); }

bool Visible(HWND dialog, int id)
{
    HWND c = GetDlgItem(dialog, id);
    return c && (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE);
}

bool Checked(HWND dialog, int id) { return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void SetChecked(HWND dialog, int id, bool checked)
{
    SendDlgItemMessageW(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void Command(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void SetText(HWND dialog, int id, const std::string& gbk)
{
    SetWindowTextW(GetDlgItem(dialog, id), GbkToWide(gbk).c_str());
}

RECT Bounds(HWND dialog, int id)
{
    RECT r{};
    GetWindowRect(GetDlgItem(dialog, id), &r);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

bool WaitClosed(HWND dialog, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 10) {
        if (!IsWindow(dialog))
            return true;
        Sleep(10);
    }
    return !IsWindow(dialog);
}

}  // namespace dlg
