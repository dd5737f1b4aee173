#pragma once
// INI access through the system's profile functions; a write that the system refuses raises
// EIniFileException instead of passing silently.

#include <string>

#include "framework/Exception.h"

class EIniFileException : public Exception {
public:
    using Exception::Exception;
};

class TIniFile {
public:
    explicit TIniFile(std::string fileName) : fileName_(std::move(fileName)) {}
    const std::string& FileName() const { return fileName_; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback) const;
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

private:
    std::string fileName_;
};
