// crashreport_lookup_image IMAGE RVA...: maps IMAGE into this process without running it and
// prints the address lookup of each code RVA (hex) as "RVA<TAB>kind<TAB>unit<TAB>class<TAB>
// procedure<TAB>line<TAB>distance". The build's checks hold programs as built against it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "crashreport/capture/EAddressLookup.h"
#include "crashreport/capture/EStack.h"
#include "framework/CodePage.h"

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fputs("usage: crashreport_lookup_image IMAGE RVA...\n", stderr);
        return 2;
    }
    HMODULE image = LoadLibraryExW(GbkToWide(argv[1]).c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    if (!image) {
        std::fprintf(stderr, "cannot map %s: %lu\n", argv[1], GetLastError());
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        uintptr_t rva = std::strtoul(argv[i], nullptr, 16);
        TVurazaStackItem item;
        LookupAddressInfo(reinterpret_cast<uintptr_t>(image) + rva, 0, item, false, 1);
        std::printf("%lX\t%d\t%s\t%s\t%s\t%d\t%d\n", static_cast<unsigned long>(rva), item.Kind, item.UnitName.text,
                    item.ClassName.text, item.ProcedureName.text, item.Line, item.LineDistance);
    }
    return 0;
}
