#pragma once
// What the delivery driver hands the web channel's step (HTTP, HTTPS, FTP upload or a bug
// tracker's dialogue) and how the step reports its progress. The driver asks the events and
// prepares the files; the step reads its addresses, proxy and tracker settings from the options.

#include <cstdint>
#include <functional>
#include <string>

#include "framework/StringList.h"

class TVurazaModuleOptions;

struct TWebStepRequest {
    const TVurazaModuleOptions* Options = nullptr;
    TStringList Files;         // what is sent: the zip, or nothing
    TStringList DisplayNames;  // the names they are sent under, in the same order
    TStringList CustomFields;  // name=value, from the custom web-fields event
    std::string AppVersion;
    std::string OsType;
    std::string OsBuild;
    std::string ReproduceText;
    std::string BugId;
    std::string ExceptionMessage;
    std::string ExceptionClass;
    // The send-progress window; each is a no-op while it isn't open. Any may be empty.
    std::function<void(int state, int percent)> ConnectionStatus;          // a tracker's connection
    std::function<void(int kind, uint64_t total, uint64_t done)> UploadStatus;  // plain uploads
    std::function<void()> EndProgress;
    std::function<bool()> ProgressOpen;
};

// Runs the step of Options->UploadMethod (1 to 6). True on success; messageShown is set when
// the step showed its own box (a closed bug), so the driver shows none.
using TWebStepFunction = bool (*)(const TWebStepRequest& request, bool& messageShown);
