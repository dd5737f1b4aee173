#pragma once
// The trading client's start-up and message loop, apart from WinMain so tests can run it.

// Creates the application (title "Vidudo模拟交易系统"), the connection module and the main
// window, runs the message loop and returns the exit code the quit message carried.
int RunTradingClient();
