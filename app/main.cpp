// Program entry of the trading client.

#include <windows.h>

#include "app/Program.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return RunTradingClient(); }
