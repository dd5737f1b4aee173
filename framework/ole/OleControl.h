#pragma once
// Hosts one ActiveX control in place inside a parent window: creation through a factory
// that tests may replace, in-place activation adopting the control's own window, the event
// connection, and typed property access by dispatch ID. Failing calls raise EOleSysError.

#include <windows.h>
#include <ole2.h>

#include <functional>
#include <string>

#include "framework/ole/ComPtr.h"
#include "framework/ole/OleEventSink.h"
#include "framework/ole/OleSite.h"

using OleControlFactory = std::function<HRESULT(REFCLSID clsid, IUnknown** control)>;

// Replaces the factory (an empty one restores CoCreateInstance) and returns the previous one.
OleControlFactory SetOleControlFactory(OleControlFactory factory);
HRESULT CreateOleControl(REFCLSID clsid, IUnknown** control);

class TOleControlHost {
public:
    explicit TOleControlHost(TOleSiteHandler* handler);
    ~TOleControlHost();
    TOleControlHost(const TOleControlHost&) = delete;
    TOleControlHost& operator=(const TOleControlHost&) = delete;

    // Creates the control and activates it in place in the site's parent window.
    void Create(REFCLSID clsid);
    // Connects the event sink to the control's event interface.
    void Advise(TOleEventSink* sink);
    // Disconnects events, deactivates and closes the control and detaches its site (the
    // sink's owner detaches the sink); a later Create starts with a fresh site.
    void Destroy() noexcept;

    bool Created() const { return static_cast<bool>(object_); }
    HWND ControlWindow() const { return window_; }
    IOleObject* OleObject() const { return object_.Get(); }
    IDispatch* Dispatch() const { return dispatch_.Get(); }
    TOleSite* Site() const { return site_; }
    void SetBounds(const RECT& bounds);
    // Tells the control an ambient property changed (IOleControl).
    void AmbientChanged(DISPID id);

    void GetProperty(DISPID id, VARIANT* value) const;
    void SetProperty(DISPID id, const VARIANT& value);
    bool GetBoolProp(DISPID id) const;
    void SetBoolProp(DISPID id, bool value);
    long GetIntProp(DISPID id) const;
    void SetIntProp(DISPID id, long value);
    std::wstring GetWideStrProp(DISPID id) const;
    void SetWideStrProp(DISPID id, const std::wstring& value);
    TComPtr<IDispatch> GetDispatchProp(DISPID id) const;

private:
    TOleSiteHandler* handler_;
    TOleSite* site_;
    TComPtr<IOleObject> object_;
    TComPtr<IDispatch> dispatch_;
    TComPtr<IOleInPlaceObject> inplace_;
    TOleEventSink* sink_ = nullptr;
    HWND window_ = nullptr;
};
