#pragma once
// The crash reporter's record of its own last failure. Steps that fail quietly record it here;
// the delivery tells the user why it failed from it, and the reporter's start-up installs the
// sink that also sends it to the debugger.

#include <string>

enum class TDuruvaDodErrorCode {
    eeNone,
    eeShowError,
    eeLogError,
    eeOptionsError,
    eeEmailMAPIError,
    eeEmailShellError,
    eeEmailSMTPError,
    eeWebHTTPError,
    eeWebHTTPSError,
    eeWebFTPError,
    eeWebTrakerError,
};

const char* ErrorCodeName(TDuruvaDodErrorCode code);

using TInternalWarningSink = void (*)(TDuruvaDodErrorCode code, const std::string& message);
void SetInternalWarningSink(TInternalWarningSink sink);

void ReportInternalWarning(TDuruvaDodErrorCode code, const std::string& message) noexcept;
void ClearLastWarning();
TDuruvaDodErrorCode LastWarningCode();
const std::string& LastWarningText();
