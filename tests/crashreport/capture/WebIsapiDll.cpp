// An ISAPI extension that fails its request: the error page goes out through the server's
// control block, as the web output of a web-server build sends it.
#include <windows.h>
#include <httpext.h>

#include "crashreport/capture/EOptions.h"
#include "crashreport/capture/EUtilsWin.h"
#include "crashreport/capture/EWebOutputWin.h"

extern "C" __declspec(dllexport) DWORD WINAPI HttpExtensionProc(EXTENSION_CONTROL_BLOCK* block)
{
    SetServerExtensionControlBlock(block);
    TVurazaModuleOptions options(CurrentModuleFileName());
    const bool ok = IsIsapiExtension() && IsWebServerApplication() && !IsCgiApplication() &&
                    ShowWebOutput("Header\r\n\r\nReport <1> & \"2\"", options);
    SetServerExtensionControlBlock(nullptr);
    return ok ? HSE_STATUS_SUCCESS : HSE_STATUS_ERROR;
}

// The same output outside a request: there is no control block to write to.
extern "C" __declspec(dllexport) BOOL WINAPI ShowOutsideRequest()
{
    TVurazaModuleOptions options(CurrentModuleFileName());
    return ShowWebOutput("Report", options);
}
