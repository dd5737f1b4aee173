#pragma once
// Receives a control's events (its outgoing dispatch interface) and hands each call, after
// checking the argument count and types against the event's signature, to one handler.
// By-reference arguments are written back through TEventArgs.

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "framework/ole/ComPtr.h"

// Argument types of one event in declaration order; VT_VARIANT accepts any by-value type.
using TEventSignature = std::vector<VARTYPE>;

class TEventArgs {
public:
    explicit TEventArgs(DISPPARAMS* params) : params_(params) {}
    int Count() const { return static_cast<int>(params_->cArgs); }
    // Arguments are numbered in declaration order (DISPPARAMS keeps them reversed).
    VARIANT& Raw(int i) const { return params_->rgvarg[params_->cArgs - 1 - static_cast<UINT>(i)]; }
    // The value behind by-reference VARIANT* links, else the argument itself.
    const VARIANT& Value(int i) const;

    bool Bool(int i) const;
    long Int(int i) const;
    std::wstring Text(int i) const;  // a string or anything convertible to one
    IDispatch* Dispatch(int i) const;

    // Write back into by-reference arguments; ignored for by-value ones.
    void SetBool(int i, bool value) const;
    void SetInt(int i, long value) const;
    void SetDispatch(int i, IDispatch* value) const;

private:
    DISPPARAMS* params_;
};

class TOleEventSink final : public IDispatch {
public:
    using Lookup = std::function<const TEventSignature*(DISPID)>;
    using Handler = std::function<void(DISPID, const TEventArgs&)>;

    // Starts with one reference, owned by the caller.
    static TOleEventSink* Create(REFIID events, Lookup lookup, Handler handler);

    // Connects to the control's connection point for the event interface; raises on failure.
    void Connect(IUnknown* control);
    void Disconnect();
    // Late events answer E_UNEXPECTED.
    void Detach() { handler_ = nullptr; }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetTypeInfoCount(UINT* count) override;
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** out) override;
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override;
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                        UINT* argErr) override;

private:
    TOleEventSink(REFIID events, Lookup lookup, Handler handler);
    ~TOleEventSink() = default;

    std::atomic<LONG> refs_{1};
    IID events_;
    Lookup lookup_;
    Handler handler_;
    TComPtr<IConnectionPoint> point_;
    DWORD cookie_ = 0;
};
