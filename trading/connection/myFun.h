#pragma once
// Utility component of the trading client: INI access, the shell's open call and the
// number tests the dialogs use.

#include <string>

#include "framework/Classes.h"

class TFun : public TComponent {
    VIDUDO_CLASS(TFun, TComponent)
public:
    using TComponent::TComponent;

    // Each call opens the file, reads or writes, and closes it: nothing is cached.
    std::string ReadIniString(const std::string& file, const std::string& section, const std::string& key,
                              const std::string& fallback);
    // Raises EIniFileException when the system refuses the write.
    void WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                        const std::string& value);
    // Default verb, no owner, shown normally; the result is not examined.
    void ShellOpen(const std::string& target);

    bool IsInteger(const std::string& text);
    // Under the user's decimal separator.
    bool IsFloat(const std::string& text);
};

// The user's decimal separator (LOCALE_SDECIMAL), "." when it isn't one byte.
char UserDecimalSeparator();
