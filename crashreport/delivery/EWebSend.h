#pragma once
// The web steps of the delivery: a plain upload by HTTP, HTTPS or FTP, or a report filed in a
// bug tracker, with the options' addresses, credentials and proxy. A failure becomes the
// reporter's internal warning; nothing raises out of here.

#include <cstdint>
#include <functional>
#include <string>

#include "crashreport/delivery/EDelivery.h"
#include "crashreport/delivery/EHttpForm.h"
#include "crashreport/delivery/EWebUpload.h"
#include "framework/StringList.h"

class TVurazaModuleOptions;

// The web step's input is the driver's request itself.
using TWebSendInput = TWebStepRequest;

struct TWebSendHooks {
    TUploadStatusEvent UploadStatus;          // the plain uploads' progress
    THTTPConnectionClass TrackerConnection;   // empty: a WinInet connection that shows nothing
    std::function<void()> CloseProgress;
    std::function<bool()> ProgressOpen;
};

enum : int {
    wsmHttp = 1, wsmHttps = 2, wsmFtp = 3, wsmBugzilla = 4, wsmFogBugz = 5, wsmMantis = 6,
};

// One web step by method; true on success (a tracker's "bug closed" included). messageShown is
// set when the step showed the "bug closed" box itself.
bool SendWebReport(int method, const TWebSendInput& input, const TWebSendHooks& hooks, bool& messageShown);

// The options' proxy as the plain uploads and the trackers use it.
TWebProxySettings ProxySettingsOf(const TVurazaModuleOptions& options);
std::string TrackerProxyAddress(const TVurazaModuleOptions& options);
std::string TrackerAddress(const TVurazaModuleOptions& options);
