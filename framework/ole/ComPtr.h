#pragma once
// Owning COM interface pointer: Release in the destructor, AddRef on copy.

#include <unknwn.h>

#include <utility>

template <class T>
class TComPtr {
public:
    TComPtr() = default;
    TComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
    TComPtr(const TComPtr& o) : TComPtr(o.p_) {}
    TComPtr(TComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ~TComPtr() { Reset(); }
    TComPtr& operator=(TComPtr o) noexcept { std::swap(p_, o.p_); return *this; }

    // Takes a reference the caller already owns.
    static TComPtr Adopt(T* p) { TComPtr r; r.p_ = p; return r; }
    void Reset() { if (T* p = std::exchange(p_, nullptr)) p->Release(); }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // For out-parameters: releases the current pointer first.
    T** Out() { Reset(); return &p_; }
    // Hands the reference to the caller.
    T* Detach() { return std::exchange(p_, nullptr); }

    template <class U>
    TComPtr<U> As(REFIID iid) const
    {
        TComPtr<U> r;
        if (p_) p_->QueryInterface(iid, reinterpret_cast<void**>(r.Out()));
        return r;
    }

private:
    T* p_ = nullptr;
};
