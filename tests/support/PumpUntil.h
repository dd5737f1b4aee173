#pragma once
// The tests' one message-pumping wait: it runs the thread's messages (never a busy spin) until
// a condition holds, as any message loop of the program would meanwhile.

#include <windows.h>

#include <algorithm>
#include <functional>

// Dispatches every message waiting for this thread.
inline void DispatchPendingMessages()
{
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

// Pumps until done() holds; false when timeoutMs passed first. pump runs the waiting messages
// (ui::WaitFor passes the application's own loop).
inline bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 10000,
                      const std::function<void()>& pump = DispatchPendingMessages)
{
    const DWORD start = GetTickCount();
    for (;;) {
        pump();
        if (done())
            return true;
        const DWORD passed = GetTickCount() - start;
        if (passed >= timeoutMs)
            return false;
        // Wakes for new messages at once, and every few milliseconds for conditions that
        // another thread makes true.
        MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min<DWORD>(10, timeoutMs - passed), QS_ALLINPUT);
    }
}
