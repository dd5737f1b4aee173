// The GUI variant: the same modes in a program of the Windows subsystem.
#include <cstdlib>

#include "tests/crashlab/CrashLab.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return RunCrashLab(__argc, __argv);
}
