#include "framework/ole/OleError.h"

#include "framework/CodePage.h"

HRESULT OleCheck(HRESULT hr)
{
    if (SUCCEEDED(hr))
        return hr;
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text ? WideToGbk(text) : std::string();
    if (text)
        LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    if (message.empty())
        message = Format("OLE error %08lX", static_cast<unsigned long>(hr));
    throw EOleSysError(hr, message);
}
