#pragma once
// A pass-through protocol: it tells the sink's HTTP negotiator a transaction begins, then
// hands the request back to the default handler. Nothing registers it; it is there for a
// host that wants to see requests go by.

#include <windows.h>
#include <urlmon.h>

#include <atomic>
#include <string>

#include "framework/ole/ComPtr.h"

class TWbProtocol final : public IInternetProtocol {
public:
    static TWbProtocol* Create() { return new TWbProtocol(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** out) override;
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++refs_); }
    STDMETHODIMP_(ULONG) Release() override;
    // IInternetProtocolRoot
    STDMETHODIMP Start(LPCWSTR url, IInternetProtocolSink* sink, IInternetBindInfo* bindInfo, DWORD, HANDLE_PTR) override;
    STDMETHODIMP Continue(PROTOCOLDATA*) override { return S_OK; }
    STDMETHODIMP Abort(HRESULT, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Terminate(DWORD) override { return S_OK; }
    STDMETHODIMP Suspend() override { return E_NOTIMPL; }
    STDMETHODIMP Resume() override { return E_NOTIMPL; }
    // IInternetProtocol
    STDMETHODIMP Read(void*, ULONG, ULONG* read) override
    {
        if (read) *read = 0;
        return S_OK;
    }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP LockRequest(DWORD) override { return S_OK; }
    STDMETHODIMP UnlockRequest() override { return S_OK; }

    IInternetProtocolSink* Sink() const { return sink_.Get(); }

private:
    TWbProtocol() = default;
    ~TWbProtocol() = default;
    std::atomic<LONG> refs_{1};
    TComPtr<IInternetProtocolSink> sink_;
    TComPtr<IInternetBindInfo> bindInfo_;
};
