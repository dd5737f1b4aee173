#pragma once
// A real wheel turn at a screen point, as one SendInput of a move and a wheel step, without
// pumping messages: tests that watch the wheel hook decide themselves when to pump.

#include <windows.h>

inline void SendWheelAt(POINT at, int delta = -WHEEL_DELTA)
{
    // Absolute coordinates are 0..65535 across the primary screen.
    const int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[2] = {};
    in[0].type = INPUT_MOUSE;
    in[0].mi.dx = (at.x * 65535 + w / 2) / (w - 1);
    in[0].mi.dy = (at.y * 65535 + h / 2) / (h - 1);
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].type = INPUT_MOUSE;
    in[1].mi.mouseData = static_cast<DWORD>(delta);
    in[1].mi.dwFlags = MOUSEEVENTF_WHEEL;
    SendInput(2, in, sizeof(INPUT));
}
