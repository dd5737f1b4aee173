#include "tests/crashreport/capture/GdiCounter.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<long> created{0}, deleted{0};

#define COUNTED(result, name, params, args, counter)                             \
    using name##Fn = result(WINAPI*) params;                                     \
    name##Fn real##name = nullptr;                                               \
    result WINAPI Hook##name params                                              \
    {                                                                            \
        result r = real##name args;                                              \
        if (r)                                                                   \
            ++counter;                                                           \
        return r;                                                                \
    }

COUNTED(HFONT, CreateFontIndirectW, (const LOGFONTW* lf), (lf), created)
COUNTED(HFONT, CreateFontIndirectA, (const LOGFONTA* lf), (lf), created)
COUNTED(HBRUSH, CreateSolidBrush, (COLORREF c), (c), created)
COUNTED(HPEN, CreatePen, (int s, int w, COLORREF c), (s, w, c), created)
COUNTED(HBITMAP, CreateBitmap, (int w, int h, UINT p, UINT b, const void* bits), (w, h, p, b, bits), created)
COUNTED(HBITMAP, CreateCompatibleBitmap, (HDC dc, int w, int h), (dc, w, h), created)
COUNTED(HDC, CreateCompatibleDC, (HDC dc), (dc), created)
COUNTED(HRGN, CreateRectRgn, (int a, int b, int c, int d), (a, b, c, d), created)
COUNTED(BOOL, DeleteObject, (HGDIOBJ o), (o), deleted)
COUNTED(BOOL, DeleteDC, (HDC dc), (dc), deleted)
COUNTED(HDC, GetDC, (HWND w), (w), created)
COUNTED(HDC, GetWindowDC, (HWND w), (w), created)
COUNTED(int, ReleaseDC, (HWND w, HDC dc), (w, dc), deleted)

using LoadImageWFn = HANDLE(WINAPI*)(HINSTANCE, LPCWSTR, UINT, int, int, UINT);
LoadImageWFn realLoadImageW = nullptr;
HANDLE WINAPI HookLoadImageW(HINSTANCE i, LPCWSTR n, UINT t, int w, int h, UINT f)
{
    HANDLE r = realLoadImageW(i, n, t, w, h, f);
    if (r && t == IMAGE_BITMAP)
        ++created;
    return r;
}

struct THook {
    const char* dll;
    const char* name;
    void* hook;
    void** real;
};

void Patch(const THook& h)
{
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const auto& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    void* target = reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA(h.dll), h.name));
    *h.real = target;
    for (auto* imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); imp->Name; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), h.dll) != 0)
            continue;
        for (auto* thunk = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk); thunk->u1.Function; ++thunk) {
            if (reinterpret_cast<void*>(thunk->u1.Function) != target)
                continue;
            DWORD old;
            VirtualProtect(&thunk->u1.Function, sizeof(void*), PAGE_READWRITE, &old);
            thunk->u1.Function = reinterpret_cast<uintptr_t>(h.hook);
            VirtualProtect(&thunk->u1.Function, sizeof(void*), old, &old);
        }
    }
}

}  // namespace

#define HOOK(dll, name) THook{dll, #name, reinterpret_cast<void*>(&Hook##name), reinterpret_cast<void**>(&real##name)}

void InstallGdiCounter()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    const THook hooks[] = {
        HOOK("gdi32.dll", CreateFontIndirectW), HOOK("gdi32.dll", CreateFontIndirectA),
        HOOK("gdi32.dll", CreateSolidBrush),    HOOK("gdi32.dll", CreatePen),
        HOOK("gdi32.dll", CreateBitmap),        HOOK("gdi32.dll", CreateCompatibleBitmap),
        HOOK("gdi32.dll", CreateCompatibleDC),  HOOK("gdi32.dll", CreateRectRgn),
        HOOK("gdi32.dll", DeleteObject),        HOOK("gdi32.dll", DeleteDC),
        HOOK("user32.dll", GetDC),              HOOK("user32.dll", GetWindowDC),
        HOOK("user32.dll", ReleaseDC),          HOOK("user32.dll", LoadImageW),
    };
    for (const THook& h : hooks)
        Patch(h);
}

void* PatchImport(const char* dll, const char* name, void* hook)
{
    void* real = nullptr;
    Patch(THook{dll, name, hook, &real});
    return real;
}

TGdiCounts& GdiCounts()
{
    static TGdiCounts counts;
    counts.created = created;
    counts.deleted = deleted;
    return counts;
}
