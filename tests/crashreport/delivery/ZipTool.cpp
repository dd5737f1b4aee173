// Writes a zip archive for the zip test: "zip ARCHIVE PASSWORD FILE NAME [FILE NAME ...]" adds each
// file under its name and prints "added NAME" or "failed NAME"; "hold FILE MS" keeps FILE open
// for writing for MS milliseconds, as another program writing it would, and creates FILE.holding
// once it does.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "crashreport/delivery/EZip.h"
#include "framework/CodePage.h"

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "hold" && argc == 4) {
        HANDLE file = CreateFileW(GbkToWide(argv[2]).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        // The caller's output arrives only at the end: a marker file tells it the hold began.
        CloseHandle(CreateFileW(GbkToWide(std::string(argv[2]) + ".holding").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
        Sleep(static_cast<DWORD>(std::atoi(argv[3])));
        CloseHandle(file);
        return 0;
    }
    if (command == "zip" && argc >= 4 && argc % 2 == 0) {
        TZipWriter zip(argv[2], argv[3]);
        if (!zip.IsOpen()) return 1;
        for (int i = 4; i + 1 < argc; i += 2)
            std::printf("%s %s\n", zip.AddFile(argv[i], argv[i + 1]) ? "added" : "failed", argv[i + 1]);
        return zip.Close() ? 0 : 1;
    }
    std::fprintf(stderr, "usage: zip_tool zip ARCHIVE PASSWORD FILE NAME ... | hold FILE MS\n");
    return 2;
}
