#pragma once
// A web server's side of one request to an ISAPI extension: the control block it hands over
// and what the extension sent back through it.
#include <windows.h>
#include <httpext.h>

#include <string>

struct TRecordedRequest {
    std::string status, header, body;
};

inline TRecordedRequest& RecordedRequest()
{
    static TRecordedRequest recorded;
    return recorded;
}

inline BOOL WINAPI RecordWrite(HCONN, LPVOID buffer, LPDWORD size, DWORD)
{
    RecordedRequest().body.append(static_cast<const char*>(buffer), *size);
    return TRUE;
}

inline BOOL WINAPI RecordSupport(HCONN, DWORD request, LPVOID buffer, LPDWORD, LPDWORD dataType)
{
    if (request == HSE_REQ_SEND_RESPONSE_HEADER) {
        RecordedRequest().status = static_cast<const char*>(buffer);
        RecordedRequest().header = reinterpret_cast<const char*>(dataType);
    }
    return TRUE;
}

// A new request, status 500 until the extension sets one, with nothing recorded yet.
inline EXTENSION_CONTROL_BLOCK RecordingRequestBlock()
{
    RecordedRequest() = {};
    EXTENSION_CONTROL_BLOCK block{};
    block.cbSize = sizeof block;
    block.ConnID = reinterpret_cast<HCONN>(1);
    block.dwHttpStatusCode = 500;
    block.WriteClient = RecordWrite;
    block.ServerSupportFunction = RecordSupport;
    return block;
}
