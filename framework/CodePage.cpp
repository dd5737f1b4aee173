#include "framework/CodePage.h"

#include <cstdint>
#include <memory>

#include "framework/CodePageTables.h"
#include "framework/Exception.h"
#include "framework/NeverDestroyed.h"

namespace {

// Both directions of code page 936, built once from the platform's own converter, so the
// conversions below are table lookups instead of a system call per text.
struct GbkTables {
    uint16_t toUnicode[65536] = {};    // by lead << 8 | trail, or by the single byte; 0: none
    uint16_t fromUnicode[65536] = {};  // GBK code (a byte below 0x100); 0: none
};

const GbkTables& Tables()
{
    // In static storage, never destroyed: conversions still run in the leak report at exit.
    static TNeverDestroyed<GbkTables> storage;
    static const bool built = [] {
        GbkTables* t = &storage.Get();
        for (unsigned c = 0; c < 0x80; ++c) {
            t->toUnicode[c] = static_cast<uint16_t>(c);
            t->fromUnicode[c] = static_cast<uint16_t>(c);
        }
        ForEachGbkCharacter([&](unsigned code, unsigned unicode) {
            if (unicode == 0 || unicode > 0xFFFF)
                return;
            t->toUnicode[code] = static_cast<uint16_t>(unicode);
            if (t->fromUnicode[unicode] == 0)
                t->fromUnicode[unicode] = static_cast<uint16_t>(code);
        });
        return true;
    }();
    (void)built;
    return storage.Get();
}

void AppendUtf8(std::string& out, uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF. Returns the code
// point and advances i, or returns -1.
long DecodeUtf8(std::string_view s, size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    int extra;
    uint32_t cp;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1;
        cp = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2;
        cp = b0 & 0x0F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3;
        cp = b0 & 0x07;
    } else {
        return -1;
    }
    if (i + static_cast<size_t>(extra) >= s.size())
        return -1;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
        if ((b & 0xC0) != 0x80)
            return -1;
        cp = (cp << 6) | (b & 0x3F);
    }
    static const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (cp < minimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return -1;
    i += static_cast<size_t>(extra) + 1;
    return static_cast<long>(cp);
}

bool IsAscii(std::string_view text)
{
    for (unsigned char c : text)
        if (c >= 0x80)
            return false;
    return true;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk)
{
    if (IsAscii(gbk))
        return std::string(gbk);
    const GbkTables& t = Tables();
    std::string out;
    out.reserve(gbk.size() * 3 / 2 + 4);
    for (size_t i = 0; i < gbk.size();) {
        const auto c = static_cast<unsigned char>(gbk[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        if (i + 1 < gbk.size()) {
            const unsigned code = (c << 8) | static_cast<unsigned char>(gbk[i + 1]);
            if (t.toUnicode[code]) {
                AppendUtf8(out, t.toUnicode[code]);
                i += 2;
                continue;
            }
        }
        if (t.toUnicode[c])
            AppendUtf8(out, t.toUnicode[c]);
        else
            out += '?';
        ++i;
    }
    return out;
}

void AppendUtf8AsGbk(std::string& out, std::string_view utf8)
{
    const GbkTables* t = nullptr;
    for (size_t i = 0; i < utf8.size();) {
        size_t run = i;
        while (run < utf8.size() && static_cast<unsigned char>(utf8[run]) < 0x80)
            ++run;
        if (run > i) {
            out.append(utf8.data() + i, run - i);
            i = run;
            continue;
        }
        const long cp = DecodeUtf8(utf8, i);
        if (cp < 0)
            throw EConvertError("Invalid UTF-8 text");
        if (!t)
            t = &Tables();
        const unsigned code = cp <= 0xFFFF ? t->fromUnicode[cp] : 0;
        if (code == 0) {
            out += '?';
        } else if (code < 0x100) {
            out += static_cast<char>(code);
        } else {
            out += static_cast<char>(code >> 8);
            out += static_cast<char>(code & 0xFF);
        }
    }
}

std::string Utf8ToGbk(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    AppendUtf8AsGbk(out, utf8);
    return out;
}
