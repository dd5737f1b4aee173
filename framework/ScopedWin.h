#pragma once
// Scoped holders of Win32 handles: each frees what it holds when it goes out of scope, so a
// handle is released on every path out, exceptions included, in reverse order of acquisition.

#include <windows.h>
#include <oleauto.h>

#include <utility>

// A GDI object made by this code (bitmap, font, brush, pen, region); DeleteObject at the end.
template <typename T>
class ScopedGdiObj {
public:
    explicit ScopedGdiObj(T h = nullptr) : h_(h) {}
    ~ScopedGdiObj() { Reset(); }
    ScopedGdiObj(const ScopedGdiObj&) = delete;
    ScopedGdiObj& operator=(const ScopedGdiObj&) = delete;
    T Get() const { return h_; }
    operator T() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
    void Reset(T h = nullptr)
    {
        if (h_)
            DeleteObject(h_);
        h_ = h;
    }
    T Release() { return std::exchange(h_, nullptr); }
private:
    T h_;
};
using ScopedBitmap = ScopedGdiObj<HBITMAP>;
using ScopedFont = ScopedGdiObj<HFONT>;
using ScopedBrush = ScopedGdiObj<HBRUSH>;
using ScopedPen = ScopedGdiObj<HPEN>;

// A memory DC compatible with another; DeleteDC at the end.
class ScopedMemDC {
public:
    explicit ScopedMemDC(HDC compatible) : dc_(CreateCompatibleDC(compatible)) {}
    ~ScopedMemDC()
    {
        if (dc_)
            DeleteDC(dc_);
    }
    ScopedMemDC(const ScopedMemDC&) = delete;
    ScopedMemDC& operator=(const ScopedMemDC&) = delete;
    operator HDC() const { return dc_; }
private:
    HDC dc_;
};

// The DC of a window (null: the screen); ReleaseDC at the end.
class ScopedGetDC {
public:
    explicit ScopedGetDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~ScopedGetDC()
    {
        if (dc_)
            ReleaseDC(window_, dc_);
    }
    ScopedGetDC(const ScopedGetDC&) = delete;
    ScopedGetDC& operator=(const ScopedGetDC&) = delete;
    operator HDC() const { return dc_; }
private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a DC and the previous one back at the end; a null object selects nothing.
class ScopedSelectObject {
public:
    ScopedSelectObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(object ? SelectObject(dc, object) : nullptr) {}
    ~ScopedSelectObject()
    {
        if (old_)
            SelectObject(dc_, old_);
    }
    ScopedSelectObject(const ScopedSelectObject&) = delete;
    ScopedSelectObject& operator=(const ScopedSelectObject&) = delete;
private:
    HDC dc_;
    HGDIOBJ old_;
};

// A kernel handle; CloseHandle at the end. INVALID_HANDLE_VALUE (CreateFile's failure) holds nothing.
class ScopedHandle {
public:
    explicit ScopedHandle(HANDLE h = nullptr) : h_(h == INVALID_HANDLE_VALUE ? nullptr : h) {}
    ~ScopedHandle()
    {
        if (h_)
            CloseHandle(h_);
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    HANDLE Get() const { return h_; }
    operator HANDLE() const { return h_; }
    explicit operator bool() const { return h_ != nullptr; }
private:
    HANDLE h_;
};

// A registry key opened by RegOpenKeyEx/RegCreateKeyEx into Receive(); RegCloseKey at the end.
class ScopedRegKey {
public:
    ScopedRegKey() = default;
    ~ScopedRegKey()
    {
        if (key_)
            RegCloseKey(key_);
    }
    ScopedRegKey(const ScopedRegKey&) = delete;
    ScopedRegKey& operator=(const ScopedRegKey&) = delete;
    HKEY* Receive() { return &key_; }
    operator HKEY() const { return key_; }
    explicit operator bool() const { return key_ != nullptr; }
private:
    HKEY key_ = nullptr;
};

// A VARIANT that starts empty and is cleared at the end (a BSTR or interface it holds is freed).
class ScopedVariant : public VARIANT {
public:
    ScopedVariant() { VariantInit(this); }
    ~ScopedVariant() { VariantClear(this); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
};
