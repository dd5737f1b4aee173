// A library without reporter data, for the lookups that fall back to debug files and exports.
extern "C" __declspec(dllexport) __attribute__((noinline)) int LookupDllFunction(int x)
{
    volatile int y = x * 3;
    return y + 1;
}

extern "C" __declspec(dllexport) int LookupDllData = 42;
