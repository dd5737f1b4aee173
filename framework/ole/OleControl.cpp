#include "framework/ole/OleControl.h"

#include <olectl.h>

#include "framework/LockedValue.h"
#include "framework/ScopedWin.h"
#include "framework/ole/OleError.h"

namespace {

TLockedValue<OleControlFactory>& Factory()
{
    static TLockedValue<OleControlFactory> factory;
    return factory;
}

}  // namespace

OleControlFactory SetOleControlFactory(OleControlFactory factory) { return Factory().Exchange(std::move(factory)); }

HRESULT CreateOleControl(REFCLSID clsid, IUnknown** control)
{
    const OleControlFactory factory = Factory().Get();
    if (factory)
        return factory(clsid, control);
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(control));
}

TOleControlHost::TOleControlHost(TOleSiteHandler* handler) : handler_(handler), site_(TOleSite::Create(handler)) {}

TOleControlHost::~TOleControlHost()
{
    Destroy();
    site_->Detach();
    site_->Release();
}

void TOleControlHost::Create(REFCLSID clsid)
{
    TComPtr<IUnknown> control;
    OleCheck(CreateOleControl(clsid, control.Out()));
    if (!control)
        OleCheck(E_NOINTERFACE);
    TComPtr<IOleObject> object = control.As<IOleObject>(IID_IOleObject);
    if (!object)
        OleCheck(E_NOINTERFACE);
    dispatch_ = control.As<IDispatch>(IID_IDispatch);
    object_ = object;
    OleCheck(object_->SetClientSite(site_));
    HWND parent = nullptr;
    site_->GetWindow(&parent);
    RECT bounds{};
    IOleInPlaceFrame* frame = nullptr;
    IOleInPlaceUIWindow* doc = nullptr;
    RECT clip{};
    OLEINPLACEFRAMEINFO info{};
    if (site_->GetWindowContext(&frame, &doc, &bounds, &clip, &info) == S_OK && frame)
        frame->Release();
    OleCheck(object_->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, site_, 0, parent, &bounds));
    inplace_ = control.As<IOleInPlaceObject>(IID_IOleInPlaceObject);
    if (inplace_)
        inplace_->GetWindow(&window_);
}

void TOleControlHost::Advise(TOleEventSink* sink)
{
    if (!object_)
        OleCheck(E_UNEXPECTED);
    sink->Connect(object_.Get());
    sink->AddRef();
    if (sink_)
        sink_->Release();
    sink_ = sink;
}

void TOleControlHost::Destroy() noexcept
{
    if (sink_) {
        sink_->Disconnect();
        sink_->Release();
        sink_ = nullptr;
    }
    if (inplace_)
        inplace_->InPlaceDeactivate();
    inplace_.Reset();
    if (object_) {
        object_->Close(OLECLOSE_NOSAVE);
        object_->SetClientSite(nullptr);
    }
    const bool hadControl = static_cast<bool>(object_);
    object_.Reset();
    dispatch_.Reset();
    window_ = nullptr;
    if (!hadControl)
        return;
    // The closed control may still hold the old site: it answers E_UNEXPECTED from now on,
    // and a control created later gets a fresh one.
    site_->Detach();
    site_->Release();
    site_ = TOleSite::Create(handler_);
}

void TOleControlHost::SetBounds(const RECT& bounds)
{
    if (inplace_)
        inplace_->SetObjectRects(&bounds, &bounds);
}

void TOleControlHost::AmbientChanged(DISPID id)
{
    if (!object_)
        return;
    TComPtr<IOleControl> control = object_.As<IOleControl>(IID_IOleControl);
    if (control)
        control->OnAmbientPropertyChange(id);
}

void TOleControlHost::GetProperty(DISPID id, VARIANT* value) const
{
    VariantInit(value);
    if (!dispatch_)
        OleCheck(E_NOINTERFACE);
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    OleCheck(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, value, nullptr, nullptr));
}

void TOleControlHost::SetProperty(DISPID id, const VARIANT& value)
{
    if (!dispatch_)
        OleCheck(E_NOINTERFACE);
    VARIANT arg = value;
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{&arg, &named, 1, 1};
    OleCheck(dispatch_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr,
                               nullptr));
}

namespace {

// Converts a property value in place; raises when it doesn't convert.
void Coerce(VARIANT* v, VARTYPE type)
{
    if (V_VT(v) != type)
        OleCheck(VariantChangeType(v, v, 0, type));
}

}  // namespace

bool TOleControlHost::GetBoolProp(DISPID id) const
{
    ScopedVariant v;
    GetProperty(id, &v);
    Coerce(&v, VT_BOOL);
    return V_BOOL(&v) != VARIANT_FALSE;
}

void TOleControlHost::SetBoolProp(DISPID id, bool value)
{
    VARIANT v;
    V_VT(&v) = VT_BOOL;
    V_BOOL(&v) = value ? VARIANT_TRUE : VARIANT_FALSE;
    SetProperty(id, v);
}

long TOleControlHost::GetIntProp(DISPID id) const
{
    ScopedVariant v;
    GetProperty(id, &v);
    Coerce(&v, VT_I4);
    return V_I4(&v);
}

void TOleControlHost::SetIntProp(DISPID id, long value)
{
    VARIANT v;
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    SetProperty(id, v);
}

std::wstring TOleControlHost::GetWideStrProp(DISPID id) const
{
    ScopedVariant v;
    GetProperty(id, &v);
    Coerce(&v, VT_BSTR);
    return std::wstring(V_BSTR(&v) ? V_BSTR(&v) : L"", SysStringLen(V_BSTR(&v)));
}

void TOleControlHost::SetWideStrProp(DISPID id, const std::wstring& value)
{
    ScopedVariant v;
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = SysAllocStringLen(value.data(), static_cast<UINT>(value.size()));
    SetProperty(id, v);
}

TComPtr<IDispatch> TOleControlHost::GetDispatchProp(DISPID id) const
{
    ScopedVariant v;
    GetProperty(id, &v);
    TComPtr<IDispatch> result;
    if (V_VT(&v) == VT_DISPATCH)
        result = V_DISPATCH(&v);
    return result;
}
