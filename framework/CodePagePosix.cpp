#include <iconv.h>

#include "framework/CodePageTables.h"

// glibc's CP936 is the same table as Windows' code page 936.
void ForEachGbkCharacter(const std::function<void(unsigned, unsigned)>& f)
{
    iconv_t cd = iconv_open("UTF-32LE", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return;
    auto convert = [&](unsigned code, char* bytes, size_t length) {
        unsigned char out[8];
        char* in = bytes;
        char* dst = reinterpret_cast<char*>(out);
        size_t inLeft = length, outLeft = sizeof out;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (iconv(cd, &in, &inLeft, &dst, &outLeft) != static_cast<size_t>(-1) && inLeft == 0 && outLeft == 4)
            f(code, out[0] | out[1] << 8 | out[2] << 16 | static_cast<unsigned>(out[3]) << 24);
    };
    for (unsigned c = 0x80; c <= 0xFF; ++c) {
        char b = static_cast<char>(c);
        convert(c, &b, 1);
    }
    for (unsigned lead = 0x81; lead <= 0xFE; ++lead)
        for (unsigned trail = 0x40; trail <= 0xFE; ++trail) {
            char b[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            convert(lead << 8 | trail, b, 2);
        }
    iconv_close(cd);
}
