// The console variant: crashlab MODE [ARGS].
#include "tests/crashlab/CrashLab.h"

int main(int argc, char** argv)
{
    return RunCrashLab(argc, argv);
}
