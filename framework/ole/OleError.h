#pragma once
// A failing HRESULT from a control call, raised as an exception that keeps the code.

#include <windows.h>

#include "framework/Exception.h"

class EOleSysError : public Exception {
public:
    EOleSysError(HRESULT code, std::string message) : Exception(std::move(message)), code_(code) {}
    HRESULT ErrorCode() const noexcept { return code_; }

private:
    HRESULT code_;
};

// Raises EOleSysError for a failing code; answers the code otherwise (S_FALSE included).
HRESULT OleCheck(HRESULT hr);
