// crashlab_launch PROGRAM [ARGS]: runs the program with this console and prints its 32-bit
// exit code, so a test sees 0xC0000005 and friends exactly.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2) {
        fputs("usage: crashlab_launch PROGRAM [ARGS]\n", stderr);
        return 2;
    }
    std::wstring commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            commandLine += L' ';
        commandLine += L'"' + std::wstring(argv[i]) + L'"';
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        fprintf(stderr, "cannot start: error %lu\n", GetLastError());
        return 2;
    }
    CloseHandle(info.hThread);
    if (WaitForSingleObject(info.hProcess, 120000) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 0xDEAD);
        WaitForSingleObject(info.hProcess, 5000);
        fputs("timed out\n", stdout);
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    fflush(stdout);
    printf("exit code 0x%08lX\n", code);
    return 0;
}
