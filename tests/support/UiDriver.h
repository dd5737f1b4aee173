#pragma once
// Test-side driver of real windows under Xvfb: finds controls by component name, sends mouse
// and keyboard input with SendInput, reads texts and list-view rows, records and answers
// message boxes, and takes screenshots. Texts are GBK like everywhere else.

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "framework/Dialogs.h"

namespace ui {

// The component name a framework window carries, or "".
std::string ComponentName(HWND window);
// The first window named name under root (itself included); with no root, under every
// top-level window of this process (or of process pid when given).
HWND FindByName(const std::string& name, HWND root = nullptr, DWORD pid = 0);
// Top-level windows of a process whose class is className (any class when empty).
std::vector<HWND> TopLevelWindows(DWORD pid, const std::wstring& className = L"");

// Processes this thread's messages (through the application's loop when there is one) for ms.
void Pump(int ms = 0);
// Pumps until done() holds or timeoutMs passes; returns done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 3000);

// Makes window's top-level window the foreground window and gives window the focus.
void Activate(HWND window);
// Mouse input at a client point of window (the centre when x, y are -1).
void Click(HWND window, int x = -1, int y = -1);
void RightClick(HWND window, int x = -1, int y = -1);
void DoubleClick(HWND window, int x = -1, int y = -1);
void MoveMouse(HWND window, int x, int y);
// Presses and releases a key; modifiers are VK_SHIFT, VK_CONTROL, VK_MENU held around it.
void PressKey(WORD vk, std::initializer_list<WORD> modifiers = {});
// Presses and releases each key in turn before processing any message (a key that starts a
// modal loop, like F10 entering the menu, then has the next keys waiting for it).
void PressKeys(std::initializer_list<WORD> keys);
// Types a GBK text as Unicode characters.
void TypeText(const std::string& text);

std::string WindowText(HWND window);
// The texts of every row of a report list view (caption, then sub-items per column),
// also of a list view in another process.
std::vector<std::vector<std::string>> ListViewRows(HWND listView);
// The caption texts of a list view's columns.
std::vector<std::string> ListViewColumns(HWND listView);

// Installs a message-box hook for its lifetime: records every box and answers from Answers
// (Ok, or Yes for a question, when the queue is empty).
class MessageBoxRecorder {
public:
    MessageBoxRecorder();
    ~MessageBoxRecorder();
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;
    std::vector<TMessageBoxRequest> Seen;
    std::deque<TModalAnswer> Answers;

private:
    MessageBoxHook previous_;
};

// A real message box of another process: its text, and an answer by button id (IDOK ...).
HWND FindMessageBox(DWORD pid);
std::string MessageBoxText(HWND box);
void AnswerMessageBox(HWND box, int buttonId);

// Pixels of a window as the screen shows them.
class Screenshot {
public:
    int Width() const { return width_; }
    int Height() const { return height_; }
    // 0x00BBGGRR, like GetPixel.
    COLORREF At(int x, int y) const;
    bool SaveBmp(const std::string& path) const;
    // Count of pixels in a rectangle that differ from colour.
    int CountNot(const RECT& r, COLORREF colour) const;
    static Screenshot Capture(HWND window, bool clientOnly = true);

private:
    int width_ = 0, height_ = 0;
    std::vector<uint32_t> pixels_;
};

// A program started for a test; killed when the object goes unless it ended.
class Program {
public:
    Program(const std::string& exe, const std::string& arguments, const std::string& folder = "");
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    DWORD Pid() const { return pi_.dwProcessId; }
    bool Running() const;
    // Waits for the process to end; its exit code, or -1 on timeout.
    int Wait(int timeoutMs);
    // Waits for a top-level window of the program whose component name is name.
    HWND WaitForWindow(const std::string& name, int timeoutMs = 10000);

private:
    PROCESS_INFORMATION pi_{};
};

}  // namespace ui
