#pragma once
// The screenshot of a handled exception: the application's part of the screen (or its
// foreground window), the focused window framed in red and the cursor drawn in, kept until
// it is saved as a 256-colour PNG and released.

#include <windows.h>

#include <string>

#include "crashreport/capture/EPngWriter.h"

// Send flag: capture the foreground window instead of the application's windows.
constexpr uint16_t ScreenshotForegroundWindowFlag = 0x20;

struct TScreenshotRequest {
    uint16_t SendFlags = 0;
    HWND FocusedWindow = nullptr;  // noted when the exception was taken
    HCURSOR Cursor = nullptr;
};

// The bounding rectangle of this process's visible top-level windows; false without one.
bool ProcessWindowsBounds(DWORD processId, RECT& bounds);

void CaptureScreenshot(const TScreenshotRequest& request);
// The captured pixels as 24-bit rows (top row first); false when nothing is captured.
bool ScreenshotPixels(std::string& bgr, int& width, int& height, size_t& stride);
bool WriteScreenshotPng(std::string& png);
// Nothing for an empty name; a failed save is silent.
void SaveScreenshotFile(const std::string& fileName);
void ReleaseScreenshot();
