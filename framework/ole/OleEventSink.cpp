#include "framework/ole/OleEventSink.h"

#include <olectl.h>

#include "framework/ExceptionBoundary.h"
#include "framework/ScopedWin.h"
#include "framework/ole/OleError.h"

namespace {

bool TypeMatches(VARTYPE expected, VARTYPE actual)
{
    if (expected == actual)
        return true;
    if (expected == VT_VARIANT)
        return !(actual & VT_BYREF);
    return false;
}

}  // namespace

const VARIANT& TEventArgs::Value(int i) const
{
    // Post data comes as a reference to a reference.
    const VARIANT* v = &Raw(i);
    while (V_VT(v) == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(v))
        v = V_VARIANTREF(v);
    return *v;
}

bool TEventArgs::Bool(int i) const
{
    const VARIANT& v = Raw(i);
    if (V_VT(&v) == (VT_BYREF | VT_BOOL))
        return V_BOOLREF(&v) && *V_BOOLREF(&v) != VARIANT_FALSE;
    VARIANT r;
    VariantInit(&r);
    if (FAILED(VariantChangeType(&r, const_cast<VARIANT*>(&Value(i)), 0, VT_BOOL)))
        return false;
    return V_BOOL(&r) != VARIANT_FALSE;
}

long TEventArgs::Int(int i) const
{
    const VARIANT& v = Raw(i);
    if (V_VT(&v) == (VT_BYREF | VT_I4))
        return V_I4REF(&v) ? *V_I4REF(&v) : 0;
    VARIANT r;
    VariantInit(&r);
    if (FAILED(VariantChangeType(&r, const_cast<VARIANT*>(&Value(i)), 0, VT_I4)))
        return 0;
    return V_I4(&r);
}

std::wstring TEventArgs::Text(int i) const
{
    const VARIANT& v = Value(i);
    if (V_VT(&v) == VT_BSTR)
        return V_BSTR(&v) ? std::wstring(V_BSTR(&v), SysStringLen(V_BSTR(&v))) : std::wstring();
    ScopedVariant r;
    if (FAILED(VariantChangeType(&r, const_cast<VARIANT*>(&v), 0, VT_BSTR)))
        return {};
    return std::wstring(V_BSTR(&r) ? V_BSTR(&r) : L"", SysStringLen(V_BSTR(&r)));
}

IDispatch* TEventArgs::Dispatch(int i) const
{
    const VARIANT& v = Raw(i);
    if (V_VT(&v) == VT_DISPATCH)
        return V_DISPATCH(&v);
    if (V_VT(&v) == (VT_BYREF | VT_DISPATCH))
        return V_DISPATCHREF(&v) ? *V_DISPATCHREF(&v) : nullptr;
    return nullptr;
}

void TEventArgs::SetBool(int i, bool value) const
{
    VARIANT& v = Raw(i);
    if (V_VT(&v) == (VT_BYREF | VT_BOOL) && V_BOOLREF(&v))
        *V_BOOLREF(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void TEventArgs::SetInt(int i, long value) const
{
    VARIANT& v = Raw(i);
    if (V_VT(&v) == (VT_BYREF | VT_I4) && V_I4REF(&v))
        *V_I4REF(&v) = value;
}

void TEventArgs::SetDispatch(int i, IDispatch* value) const
{
    VARIANT& v = Raw(i);
    if (V_VT(&v) != (VT_BYREF | VT_DISPATCH) || !V_DISPATCHREF(&v))
        return;
    IDispatch*& slot = *V_DISPATCHREF(&v);
    if (value)
        value->AddRef();
    if (slot)
        slot->Release();
    slot = value;
}

TOleEventSink::TOleEventSink(REFIID events, Lookup lookup, Handler handler)
    : events_(events), lookup_(std::move(lookup)), handler_(std::move(handler))
{
}

TOleEventSink* TOleEventSink::Create(REFIID events, Lookup lookup, Handler handler)
{
    return new TOleEventSink(events, std::move(lookup), std::move(handler));
}

void TOleEventSink::Connect(IUnknown* control)
{
    Disconnect();
    TComPtr<IConnectionPointContainer> container;
    OleCheck(control->QueryInterface(IID_IConnectionPointContainer, reinterpret_cast<void**>(container.Out())));
    TComPtr<IConnectionPoint> point;
    OleCheck(container->FindConnectionPoint(events_, point.Out()));
    OleCheck(point->Advise(static_cast<IDispatch*>(this), &cookie_));
    point_ = point;
}

void TOleEventSink::Disconnect()
{
    if (point_)
        point_->Unadvise(cookie_);
    point_.Reset();
    cookie_ = 0;
}

STDMETHODIMP TOleEventSink::QueryInterface(REFIID riid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == events_) {
        *out = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) TOleEventSink::AddRef() { return static_cast<ULONG>(++refs_); }

STDMETHODIMP_(ULONG) TOleEventSink::Release()
{
    const LONG left = --refs_;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP TOleEventSink::GetTypeInfoCount(UINT* count)
{
    if (!count)
        return E_POINTER;
    *count = 0;
    return S_OK;
}

STDMETHODIMP TOleEventSink::GetTypeInfo(UINT, LCID, ITypeInfo** out)
{
    if (out) *out = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP TOleEventSink::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) { return E_NOTIMPL; }

STDMETHODIMP TOleEventSink::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                                   UINT* argErr)
{
    if (result)
        VariantInit(result);
    if (!handler_)
        return E_UNEXPECTED;
    return GuardedCall(HRESULT(E_FAIL), [&]() -> HRESULT {
        const TEventSignature* signature = lookup_ ? lookup_(id) : nullptr;
        if (!signature)
            return DISP_E_MEMBERNOTFOUND;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        DISPPARAMS* p = params ? params : &none;
        if (p->cArgs != signature->size())
            return DISP_E_BADPARAMCOUNT;
        const TEventArgs args(p);
        for (int i = 0; i < args.Count(); ++i) {
            if (!TypeMatches((*signature)[static_cast<size_t>(i)], V_VT(&args.Raw(i)))) {
                if (argErr)
                    *argErr = p->cArgs - 1 - static_cast<UINT>(i);
                return DISP_E_TYPEMISMATCH;
            }
        }
        handler_(id, args);
        return S_OK;
    });
}
