#include "crashreport/capture/EInternalWarning.h"

#include "framework/NeverDestroyed.h"

namespace {
TInternalWarningSink warningSink = nullptr;
TDuruvaDodErrorCode lastCode = TDuruvaDodErrorCode::eeNone;
// Warnings may still come from the leak report, after every static destructor.
std::string& LastText()
{
    static TNeverDestroyed<std::string> text;
    return text.Get();
}
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
        LastText() = message;
        if (warningSink)
            warningSink(code, message);
    } catch (...) {
    }
}

void ClearLastWarning()
{
    lastCode = TDuruvaDodErrorCode::eeNone;
    LastText().clear();
}

TDuruvaDodErrorCode LastWarningCode()
{
    return lastCode;
}

const std::string& LastWarningText()
{
    return LastText();
}
