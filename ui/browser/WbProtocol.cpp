#include "ui/browser/WbProtocol.h"

#include "framework/ExceptionBoundary.h"

STDMETHODIMP TWbProtocol::QueryInterface(REFIID riid, void** out)
{
    if (!out)
        return E_POINTER;
    *out = nullptr;
    if (riid != IID_IUnknown && riid != IID_IInternetProtocolRoot && riid != IID_IInternetProtocol)
        return E_NOINTERFACE;
    *out = static_cast<IInternetProtocol*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) TWbProtocol::Release()
{
    const LONG left = --refs_;
    if (left == 0)
        delete this;
    return static_cast<ULONG>(left);
}

STDMETHODIMP TWbProtocol::Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD, HANDLE_PTR)
{
    return GuardedCall(HRESULT(E_FAIL), [&]() -> HRESULT {
        sink_ = sink;
        bindInfo_ = bindInfo;
        if (!sink)
            return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
        TComPtr<IServiceProvider> services;
        sink->QueryInterface(IID_IServiceProvider, reinterpret_cast<void**>(services.Out()));
        TComPtr<IHttpNegotiate> negotiate;
        if (services)
            services->QueryService(IID_IHttpNegotiate, IID_IHttpNegotiate, reinterpret_cast<void**>(negotiate.Out()));
        if (negotiate && url) {
            LPWSTR added = nullptr;
            negotiate->BeginningTransaction(url, nullptr, 0, &added);
            CoTaskMemFree(added);
        }
        return INET_E_USE_DEFAULT_PROTOCOLHANDLER;
    });
}
