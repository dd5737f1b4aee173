#include "crashreport/capture/EInternalWarning.h"

namespace {
TInternalWarningSink warningSink = nullptr;
TDuruvaDodErrorCode lastCode = TDuruvaDodErrorCode::eeNone;
std::string lastText;
}  // namespace

const char* ErrorCodeName(TDuruvaDodErrorCode code)
{
    static const char* const names[] = {
        "eeNone", "eeShowError", "eeLogError", "eeOptionsError", "eeEmailMAPIError", "eeEmailShellError",
        "eeEmailSMTPError", "eeWebHTTPError", "eeWebHTTPSError", "eeWebFTPError", "eeWebTrakerError",
    };
    const auto i = static_cast<size_t>(code);
    return i < sizeof names / sizeof names[0] ? names[i] : "";
}

void SetInternalWarningSink(TInternalWarningSink sink)
{
    warningSink = sink;
}

void ReportInternalWarning(TDuruvaDodErrorCode code, const std::string& message) noexcept
{
    try {
        lastCode = code;
        lastText = message;
        if (warningSink)
            warningSink(code, message);
    } catch (...) {
    }
}

void ClearLastWarning()
{
    lastCode = TDuruvaDodErrorCode::eeNone;
    lastText.clear();
}

TDuruvaDodErrorCode LastWarningCode()
{
    return lastCode;
}

const std::string& LastWarningText()
{
    return lastText;
}
